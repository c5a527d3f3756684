// Resource ids of setup.exe; the pictures come from the product's art folder.
#pragma once

#define IDI_PROGRAM 1
#define IDB_IMAGE1 101
#define IDI_IMAGE2 102
