// Registry keys and string values over the Win32 registry calls. Remembers the
// last key created or written under (the current key).
#pragma once

#include <cstdint>

#include <windows.h>

class ClsRegist {
public:
    ClsRegist() = default;
    // Closes a key that a caller of OpenKey left open.
    ~ClsRegist();
    ClsRegist(const ClsRegist&) = delete;
    ClsRegist& operator=(const ClsRegist&) = delete;

    // Selectors are masked with 3: HKCR, HKCU, HKLM, HKU.
    bool KeyExists(int32_t root, const char* subKey);
    // On success Key is left open for the caller to close.
    bool OpenKey(int32_t root, const char* subKey);
    // On success the key becomes the current key. A sub-key that does not fit
    // SubKey is refused before anything is created.
    bool CreateKey(int32_t root, const char* subKey);
    bool WriteString(int32_t root, const char* subKey, const char* name, const char* text);
    // Writes into the current key; false, writing nothing, when there is none.
    bool SetString(const char* name, const char* text);
    // A REG_DWORD into the current key; false, writing nothing, when there is none.
    bool SetDword(const char* name, uint32_t value);
    // Removes a value of the current key; true when it is gone afterwards
    // (also when it never was), false when there is no current key.
    bool DeleteValue(const char* name);
    // A string value into text (capacity bytes, always terminated); false,
    // with text empty, when the key or value is missing, is no string or
    // does not fit.
    static bool ReadString(int32_t root, const char* subKey, const char* name, char* text, uint32_t capacity);
    // Deletes a key that has no sub-keys; true when it is gone afterwards
    // (also when it never existed). An empty sub-key is refused.
    static bool DeleteKey(int32_t root, const char* subKey);

    int32_t Root = 0; // as the caller gave it, unmasked
    char SubKey[260] = {};
    HKEY Key = nullptr; // open only inside an operation, or after OpenKey

private:
    bool hasCurrentKey_ = false;
};
