#include "sys/PathText.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "sys/CaseFold.h"
#include "sys/PathWalk.h"
#include "sys/Text.h"

namespace sys {

namespace {

// Full path of path in UTF-16 without a trailing separator; empty when it
// cannot be made or does not fit.
std::wstring FullWidePath(const char* path)
{
    char full[kPathSize];
    const DWORD length = GetFullPathNameA(path, sizeof full, full, nullptr);
    if (length == 0 || length >= sizeof full)
        return std::wstring();
    std::wstring wide = FromAnsi(full);
    if (!wide.empty() && wide.back() == L'\\')
        wide.pop_back();
    return wide;
}

} // namespace

std::ptrdiff_t LastSeparator(const char* path)
{
    return LastSeparatorIn(path, AnsiLead);
}

bool JoinPath(char* out, const char* folder, const char* name)
{
    out[0] = 0;
    const std::ptrdiff_t last = LastSeparator(folder);
    std::size_t folderLength = std::strlen(folder);
    if (folderLength > 0 && last == static_cast<std::ptrdiff_t>(folderLength) - 1)
        --folderLength;
    const std::size_t nameLength = std::strlen(name);
    if (folderLength + 1 + nameLength + 1 > kPathSize)
        return false;
    std::memcpy(out, folder, folderLength);
    out[folderLength] = '\\';
    std::memcpy(out + folderLength + 1, name, nameLength + 1);
    return true;
}

bool LiesWithin(const char* inner, const char* outer)
{
    const std::wstring fullInner = FullWidePath(inner);
    const std::wstring fullOuter = FullWidePath(outer);
    if (fullInner.empty() || fullOuter.empty())
        return true;
    if (fullInner.size() < fullOuter.size())
        return false;
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    const auto* innerUnits = reinterpret_cast<const char16_t*>(fullInner.data());
    const auto* outerUnits = reinterpret_cast<const char16_t*>(fullOuter.data());
    if (!SameName({ innerUnits, fullOuter.size() }, { outerUnits, fullOuter.size() }))
        return false;
    // "C:\" trimmed to "C:" still ends at a component boundary.
    return fullInner.size() == fullOuter.size() || fullInner[fullOuter.size()] == L'\\';
}

} // namespace sys
