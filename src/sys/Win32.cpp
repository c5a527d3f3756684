#include "sys/Win32.h"

#include <cstring>
#include <string_view>

#include "sys/Names.h"
#include "sys/PathWalk.h"
#include "sys/Text.h"

namespace sys {

std::string CurrentDirectory()
{
    char path[kPathSize] = {};
    const DWORD length = GetCurrentDirectoryA(sizeof path, path);
    return length > 0 && length < sizeof path ? std::string(path, length) : std::string();
}

std::wstring TempFolder()
{
    wchar_t folder[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    return length > 0 && length <= MAX_PATH ? std::wstring(folder, length) : std::wstring();
}

std::wstring ModulePath()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(path, length) : std::wstring();
}

bool CreateFolderTree(const char* folder, std::vector<std::string>* created)
{
    const std::size_t length = folder != nullptr ? std::strlen(folder) : 0;
    if (length == 0 || length >= kPathSize)
        return false;
    const std::string_view text(folder, length);
    // The root is never created: "C:\", "\" or "\\server\share\".
    std::size_t at = 0;
    if (length >= 2 && folder[1] == ':') {
        at = folder[2] == '\\' ? 3 : 2;
    } else if (length >= 2 && folder[0] == '\\' && folder[1] == '\\') {
        int separators = 0;
        for (at = 2; at < length && separators < 2; at += CharacterSize(text, at, AnsiLead))
            separators += folder[at] == '\\' ? 1 : 0;
    } else if (folder[0] == '\\') {
        at = 1;
    }
    DWORD refused = ERROR_PATH_NOT_FOUND; // the error of the last folder that could not be made
    auto make = [created, &refused](const char* path) {
        if (CreateDirectoryA(path, nullptr)) {
            if (created != nullptr)
                created->emplace_back(path);
        } else if (GetLastError() != ERROR_ALREADY_EXISTS) {
            refused = GetLastError();
        }
    };
    // By characters: a Shift-JIS trail byte may equal a backslash.
    char prefix[kPathSize] = {};
    for (; at < length; at += CharacterSize(text, at, AnsiLead)) {
        if (folder[at] == '\\' && at + 1 < length) {
            std::memcpy(prefix, folder, at);
            prefix[at] = '\0';
            make(prefix); // an existing folder is passed over; the last call tells
        }
    }
    make(folder);
    const DWORD attributes = GetFileAttributesA(folder);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return true;
    SetLastError(attributes == INVALID_FILE_ATTRIBUTES ? refused : ERROR_ALREADY_EXISTS); // a file of that name
    return false;
}

void ClearReadOnly(const char* path, DWORD attributes)
{
    if (attributes == INVALID_FILE_ATTRIBUTES)
        attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        (void)SetFileAttributesA(path, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
}

bool TakeLock(const std::wstring& name, UniqueHandle& held)
{
    held.Reset(CreateMutexW(nullptr, FALSE, (L"Global\\" + name).c_str()));
    // A lock another account made (an elevated setup, or another user's
    // own) may not be opened: it is held all the same.
    if (!held && GetLastError() == ERROR_ACCESS_DENIED)
        return false;
    if (!held)
        held.Reset(CreateMutexW(nullptr, FALSE, (L"Local\\" + name).c_str()));
    if (held && GetLastError() == ERROR_ALREADY_EXISTS) {
        held.Reset();
        return false;
    }
    return true; // a lock that cannot be made at all stops nobody
}

} // namespace sys
