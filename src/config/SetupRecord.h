// The product's settings and the user's choices, one record per run, held by
// the wizard window. Texts are zero-terminated ANSI bytes of fixed width.
#pragma once

#include "sys/Names.h"

struct SetupRecord {
    char ProductName[sys::kPathSize] = {};
    char ProductFolder[sys::kPathSize] = {};
    char ProgramPath[sys::kPathSize] = {};
    char BaseFolder[sys::kPathSize] = {};
    unsigned char DesktopShortcut = 0;
    unsigned char StartMenuEntry = 0;
    char DefaultFolder[sys::kPathSize] = {};
};
