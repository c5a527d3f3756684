#include "sys/PathText.h"

#include <windows.h>

#include <cstring>
#include <cwchar>

namespace sys {

namespace {

// Length of path and whether its last character is a separator.
std::size_t Scan(const char* path, std::ptrdiff_t* lastSeparator)
{
    std::ptrdiff_t last = -1;
    const char* p = path;
    while (*p != 0) {
        if (IsDBCSLeadByte(static_cast<BYTE>(*p)) && p[1] != 0) {
            p += 2;
            continue;
        }
        if (*p == '\\')
            last = p - path;
        ++p;
    }
    if (lastSeparator != nullptr)
        *lastSeparator = last;
    return static_cast<std::size_t>(p - path);
}

// Full path of path in UTF-16 without a trailing separator; false when it
// cannot be made or does not fit.
bool FullWidePath(const char* path, wchar_t (&out)[kPathCapacity])
{
    char full[kPathCapacity];
    const DWORD length = GetFullPathNameA(path, sizeof full, full, nullptr);
    if (length == 0 || length >= sizeof full)
        return false;
    const int units = MultiByteToWideChar(CP_ACP, 0, full, -1, out, kPathCapacity);
    if (units <= 0)
        return false;
    std::size_t n = std::wcslen(out);
    if (n > 0 && out[n - 1] == L'\\')
        out[n - 1] = 0;
    return true;
}

} // namespace

std::ptrdiff_t LastSeparator(const char* path)
{
    std::ptrdiff_t last = -1;
    (void)Scan(path, &last);
    return last;
}

bool JoinPath(char* out, const char* folder, const char* name)
{
    out[0] = 0;
    std::ptrdiff_t last = -1;
    std::size_t folderLength = Scan(folder, &last);
    if (folderLength > 0 && last == static_cast<std::ptrdiff_t>(folderLength) - 1)
        --folderLength;
    const std::size_t nameLength = std::strlen(name);
    if (folderLength + 1 + nameLength + 1 > kPathCapacity)
        return false;
    std::memcpy(out, folder, folderLength);
    out[folderLength] = '\\';
    std::memcpy(out + folderLength + 1, name, nameLength + 1);
    return true;
}

bool LiesWithin(const char* inner, const char* outer)
{
    wchar_t fullInner[kPathCapacity];
    wchar_t fullOuter[kPathCapacity];
    if (!FullWidePath(inner, fullInner) || !FullWidePath(outer, fullOuter))
        return true;
    const int innerLength = static_cast<int>(std::wcslen(fullInner));
    const int outerLength = static_cast<int>(std::wcslen(fullOuter));
    if (innerLength < outerLength)
        return false;
    if (CompareStringOrdinal(fullInner, outerLength, fullOuter, outerLength, TRUE) != CSTR_EQUAL)
        return false;
    // "C:\" trimmed to "C:" still ends at a component boundary.
    return innerLength == outerLength || fullInner[outerLength] == L'\\';
}

} // namespace sys
