// Registry keys and string values over the Win32 registry calls. Remembers the
// last key created or written under (the current key).
#pragma once

#include <cstdint>

#include <windows.h>

class ClsRegist {
public:
    ClsRegist() = default;

    bool KeyExists(int32_t root, const char* subKey);
    // On success Key is left open for the caller to close.
    bool OpenKey(int32_t root, const char* subKey);
    bool CreateKey(int32_t root, const char* subKey);
    bool WriteString(int32_t root, const char* subKey, const char* name, const char* text);
    // Writes into the current key; false, writing nothing, when there is none.
    bool SetString(const char* name, const char* text);

    int32_t Root = 0;
    char SubKey[260] = {};
    HKEY Key = nullptr;

private:
    bool hasCurrentKey_ = false;
};
