// The small Win32 queries and steps that the setup program, the uninstaller
// and their windows all make, written once.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "sys/Handle.h"

namespace sys {

// The current directory; empty when the system cannot give it or it does not
// fit a path buffer.
std::string CurrentDirectory();

// The temporary folder, ending in a backslash; empty when the system names
// none that fits.
std::wstring TempFolder();

// The full path of the running program; empty when it does not fit.
std::wstring ModulePath();

// Creates the folder and its missing parents (never a drive or share root),
// stepping over double-byte characters; true when the folder exists
// afterwards, else false with the Win32 error of the folder that could not be
// made left set. Each folder this call created is appended to `created`,
// parents first.
bool CreateFolderTree(const char* folder, std::vector<std::string>* created = nullptr);

// Clears the read-only attribute of path and keeps the others; `attributes`
// as just read, or INVALID_FILE_ATTRIBUTES to have them read here.
void ClearReadOnly(const char* path, DWORD attributes = INVALID_FILE_ATTRIBUTES);

// Starts `program` with `commandLine` (its own name first) in `folder`,
// handing it exactly `handles` (each made inheritable here) and nothing
// else this process could pass on. The new process's handles are closed;
// false with the Win32 error set when it did not start.
bool StartInheriting(const std::wstring& program, std::wstring commandLine, const std::wstring& folder,
    const std::vector<HANDLE>& handles);

// A lock that one process at a time holds, machine-wide (a named mutex in
// the global namespace; the session's when the global one may not be made).
// False when another process holds it, also one of another account whose
// lock this one may not open. The lock is `held`'s: closing it, or
// the process's end, lets it go.
bool TakeLock(const std::wstring& name, UniqueHandle& held);

} // namespace sys
