#include "sys/ClsFile.h"

#include "sys/Handle.h"
#include "sys/PathText.h"
#include "sys/SpecialFolder.h"
#include "sys/Win32.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <string>
#include <utility>

namespace {

constexpr DWORD kNoShare = 0;

// Files of 2 GiB or more do not fit the signed 32-bit results.
int32_t SizeOf(HANDLE file)
{
    LARGE_INTEGER size {};
    if (!GetFileSizeEx(file, &size) || size.QuadPart > INT32_MAX)
        return ClsFile::kNoSize;
    return static_cast<int32_t>(size.QuadPart);
}

sys::UniqueFile OpenExclusive(const char* path, DWORD access, DWORD disposition)
{
    if (path == nullptr || path[0] == 0)
        return sys::UniqueFile();
    return sys::UniqueFile(CreateFileA(path, access, kNoShare, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool IsDotEntry(const char* name)
{
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// Opens a listing of folder; invalid when the pattern does not fit or the
// folder cannot be listed.
sys::UniqueFind FindFirst(const char* folder, WIN32_FIND_DATAA& entry)
{
    char pattern[MAX_PATH];
    if (!sys::JoinPath(pattern, folder, "*.*"))
        return sys::UniqueFind();
    return sys::UniqueFind(FindFirstFileA(pattern, &entry));
}

// Keeps the first failure of a walk: the path and the error just set.
void Lost(ClsFile::Failure& failure, bool& whole, const char* path)
{
    const DWORD error = GetLastError();
    if (whole) {
        failure.path = path;
        failure.error = error != 0 ? error : ERROR_GEN_FAILURE;
    }
    whole = false;
}

// The walk behind CopyFolder, once the arguments have been checked; false
// when anything below could not be copied.
bool CopyTree(const char* source, const char* destination, ClsFile::Failure& failure)
{
    // Listed first, so that a source that cannot be listed leaves nothing
    // behind (some systems create the folder without its template).
    bool whole = true;
    WIN32_FIND_DATAA entry;
    sys::UniqueFind find = FindFirst(source, entry);
    if (!find) {
        Lost(failure, whole, source);
        return false;
    }
    // An existing destination is used as it is.
    if (!CreateDirectoryExA(source, destination, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        Lost(failure, whole, destination);
        return false;
    }
    do {
        if (IsDotEntry(entry.cFileName))
            continue;
        char childSource[MAX_PATH];
        char childDestination[MAX_PATH];
        if (!sys::JoinPath(childSource, source, entry.cFileName)
            || !sys::JoinPath(childDestination, destination, entry.cFileName)) {
            // would not fit: passed over rather than cut into another path
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            Lost(failure, whole, (std::string(destination) + "\\" + entry.cFileName).c_str());
            continue;
        }
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            (void)CreateDirectoryExA(childSource, childDestination, nullptr); // the walk below tells
            ClsFile::Failure below;
            if (!CopyTree(childSource, childDestination, below)) {
                if (whole)
                    failure = below;
                whole = false;
            }
        } else if (!CopyFileA(childSource, childDestination, FALSE)) {
            Lost(failure, whole, childDestination);
        }
    } while (FindNextFileA(find.Get(), &entry));
    if (GetLastError() != ERROR_NO_MORE_FILES)
        Lost(failure, whole, source); // the listing broke off
    return whole;
}

// Removes a junction or symbolic link itself, never what it points to.
void RemoveLink(const char* path, DWORD attributes)
{
    sys::ClearReadOnly(path, attributes);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        (void)RemoveDirectoryA(path);
    else
        (void)DeleteFileA(path);
}

bool DeleteTree(const char* folder)
{
    {
        WIN32_FIND_DATAA entry;
        sys::UniqueFind find = FindFirst(folder, entry);
        if (!find)
            return false;
        do {
            if (IsDotEntry(entry.cFileName))
                continue;
            char child[MAX_PATH];
            if (!sys::JoinPath(child, folder, entry.cFileName))
                continue;
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
                RemoveLink(child, entry.dwFileAttributes);
            } else if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                (void)DeleteTree(child);
            } else {
                sys::ClearReadOnly(child, entry.dwFileAttributes);
                (void)DeleteFileA(child);
            }
        } while (FindNextFileA(find.Get(), &entry));
    } // the listing is closed before the folder is removed
    sys::ClearReadOnly(folder);
    return RemoveDirectoryA(folder) != 0;
}

} // namespace

void sys::GetSpecialFolder(int csidl, char* result)
{
    if (result == nullptr)
        return;
    result[0] = 0;
    sys::UniqueIdList idList;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, idList.Put())) || !idList)
        return;
    if (!SHGetPathFromIDListA(idList.Get(), result)) {
        result[0] = 0; // never leave a partial or stale text behind
        return;
    }
    // Some shells give a folder with a trailing backslash; callers append "\"
    // and names. A drive root ("C:\") keeps its backslash.
    const std::size_t length = std::strlen(result);
    const bool driveRoot = length == 3 && result[1] == ':';
    if (length > 1 && !driveRoot && sys::LastSeparator(result) == static_cast<std::ptrdiff_t>(length) - 1)
        result[length - 1] = 0;
}

int32_t ClsFile::WriteAll(const char* path, const void* data, int32_t length)
{
    // Refused before the file is truncated: nothing sensible can be written.
    if (length < 0 || (data == nullptr && length > 0))
        return kReadWriteFailed;
    sys::UniqueFile file = OpenExclusive(path, GENERIC_WRITE, CREATE_ALWAYS);
    if (!file)
        return kCannotOpen;
    // On after a short write, so that a volume that fills fails with its cause.
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (int32_t done = 0; done < length;) {
        DWORD written = 0;
        if (!WriteFile(file.Get(), bytes + done, static_cast<DWORD>(length - done), &written, nullptr))
            return kReadWriteFailed;
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return kReadWriteFailed;
        }
        done += static_cast<int32_t>(written);
    }
    return length;
}

int32_t ClsFile::GetSize(const char* path)
{
    sys::UniqueFile file = OpenExclusive(path, GENERIC_READ, OPEN_EXISTING);
    if (!file)
        return kCannotOpen;
    return SizeOf(file.Get());
}

int32_t ClsFile::ReadAll(const char* path, void* buffer, int32_t capacity)
{
    sys::UniqueFile file = OpenExclusive(path, GENERIC_READ, OPEN_EXISTING);
    if (!file)
        return kCannotOpen;
    const int32_t size = SizeOf(file.Get());
    if (size < 0)
        return size;
    if (size > capacity || (buffer == nullptr && size > 0))
        return kReadWriteFailed; // nothing is written past the caller's buffer
    DWORD read = 0;
    if (!ReadFile(file.Get(), buffer, static_cast<DWORD>(size), &read, nullptr))
        return kReadWriteFailed;
    return static_cast<int32_t>(read);
}

bool ClsFile::SaveFile(const char* path, const void* data, int32_t length)
{
    return WriteAll(path, data, length) == length;
}

bool ClsFile::LoadFile(const char* path, void* buffer, int32_t capacity)
{
    (void)ReadAll(path, buffer, capacity);
    return true;
}

bool ClsFile::GetStartupFolder(char* result)
{
    sys::GetSpecialFolder(CSIDL_STARTUP, result);
    return true;
}

bool ClsFile::GetWindowsFolder(char* result)
{
    sys::GetSpecialFolder(CSIDL_WINDOWS, result);
    return true;
}

bool ClsFile::GetMyDocumentsFolder(char* result)
{
    sys::GetSpecialFolder(CSIDL_PERSONAL, result);
    return true;
}

bool ClsFile::GetDesktopFolder(char* result)
{
    sys::GetSpecialFolder(CSIDL_DESKTOPDIRECTORY, result);
    return true;
}

bool ClsFile::GetProgramFilesFolder(char* result)
{
    sys::GetSpecialFolder(CSIDL_PROGRAM_FILES, result);
    return true;
}

bool ClsFile::RemoveFile(const char* path)
{
    if (path == nullptr || path[0] == 0)
        return false;
    return DeleteFileA(path) != 0;
}

bool ClsFile::CopyFolder(const char* source, const char* destination, Failure* failed)
{
    // An empty path would name the current drive's root or folder.
    if (source == nullptr || source[0] == 0 || destination == nullptr || destination[0] == 0)
        return false;
    // A destination inside the source would be listed again and again.
    if (sys::LiesWithin(destination, source))
        return false;
    Failure failure;
    const bool whole = CopyTree(source, destination, failure);
    if (!whole && failed != nullptr)
        *failed = std::move(failure);
    return whole;
}

bool ClsFile::DeleteFolder(const char* folder)
{
    if (folder == nullptr || folder[0] == 0)
        return false;
    const DWORD attributes = GetFileAttributesA(folder);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        // A link given as the folder: remove the link, leave its target alone.
        sys::ClearReadOnly(folder);
        return RemoveDirectoryA(folder) != 0;
    }
    return DeleteTree(folder);
}
