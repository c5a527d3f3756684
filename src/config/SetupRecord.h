// The product's settings and the user's choices, one record per run, held by
// the wizard window. Texts are zero-terminated ANSI bytes of fixed width.
#pragma once

#include <cstddef>

constexpr std::size_t kTextFieldSize = 260;

struct SetupRecord {
    char ProductName[kTextFieldSize] = {};
    char ProductFolder[kTextFieldSize] = {};
    char ProgramPath[kTextFieldSize] = {};
    char BaseFolder[kTextFieldSize] = {};
    unsigned char DesktopShortcut = 0;
    unsigned char StartMenuEntry = 0;
    char DefaultFolder[kTextFieldSize] = {};
};
