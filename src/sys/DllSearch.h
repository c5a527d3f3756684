// Keeps DLLs planted beside the program (a download folder) from being loaded.
#pragma once

#include "sys/Handle.h"

namespace sys {

// Restricts the search for DLLs loaded at run time to the system folder.
// Called first thing at program start.
void HardenDllSearch();

// Loads the DLL of that name from the system folder by its full path, for the
// DLLs that are no known ones (mpr.dll, cabinet.dll): whatever the search
// order, nothing of that name beside the program or in the current folder is
// taken. Invalid with the Win32 error left set when it cannot.
UniqueModule LoadSystemLibrary(const wchar_t* name);

} // namespace sys
