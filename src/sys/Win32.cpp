#include "sys/Win32.h"

#include <cstdint>
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
    DWORD refused = ERROR_PATH_NOT_FOUND; // the error of the last folder that could not be made
    // The root is never created: "C:\", "\" or "\\server\share\". By
    // characters: a Shift-JIS trail byte may equal a backslash.
    for (const std::string& path : FoldersBelowRoot(std::string_view(folder, length), AnsiLead)) {
        if (CreateDirectoryA(path.c_str(), nullptr)) {
            if (created != nullptr)
                created->push_back(path);
        } else if (GetLastError() != ERROR_ALREADY_EXISTS) {
            refused = GetLastError(); // an existing folder is passed over; the last call tells
        }
    }
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

bool StartInheriting(const std::wstring& program, std::wstring commandLine, const std::wstring& folder,
    const std::vector<HANDLE>& handles)
{
    std::vector<HANDLE> list;
    for (HANDLE handle : handles)
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
            if (!SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT))
                return false;
            list.push_back(handle);
        }
    SIZE_T size = 0;
    (void)InitializeProcThreadAttributeList(nullptr, 1, 0, &size); // tells the size
    std::vector<std::uint64_t> buffer((size + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t) + 1);
    const auto attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer.data());
    if (!InitializeProcThreadAttributeList(attributes, 1, 0, &size))
        return false;
    STARTUPINFOEXW startup {};
    startup.StartupInfo.cb = sizeof startup;
    startup.lpAttributeList = attributes;
    PROCESS_INFORMATION process {};
    const bool listed = list.empty()
        || UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, list.data(),
            list.size() * sizeof(HANDLE), nullptr, nullptr);
    const bool started = listed
        && CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, !list.empty(),
            EXTENDED_STARTUPINFO_PRESENT, nullptr, folder.empty() ? nullptr : folder.c_str(), &startup.StartupInfo,
            &process);
    const DWORD error = GetLastError();
    DeleteProcThreadAttributeList(attributes);
    if (!started) {
        SetLastError(error);
        return false;
    }
    UniqueHandle thread(process.hThread);
    UniqueHandle child(process.hProcess);
    return true;
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
