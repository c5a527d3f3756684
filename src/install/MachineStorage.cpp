#include "install/MachineStorage.h"

#include <windows.h>

#include <cwchar>

#include "sys/ClsFile.h"
#include "sys/FileSecurity.h"
#include "sys/Handle.h"
#include "sys/TestSeam.h"
#include "sys/Text.h"
#include "sys/Win32.h"

namespace install {

namespace {

// Before every change: the tests' builds end the process at the change the
// cut seam names (sys/TestSeam.h); the shipped programs never do.
void Changing()
{
    static const long cutAt = [] {
        const std::wstring value = sys::SeamValue(sys::TestSeam::Cut);
        return value.empty() ? 0L : std::wcstol(value.c_str(), nullptr, 10);
    }();
    static long changes = 0;
    if (cutAt > 0 && ++changes >= cutAt)
        TerminateProcess(GetCurrentProcess(), 99);
}

uint32_t Result(BOOL done)
{
    return done ? ERROR_SUCCESS : GetLastError();
}

HKEY RootOf(Scope scope)
{
    return scope == Scope::User ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

uint32_t WriteAndFlush(HANDLE file, const std::string& bytes)
{
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
        return GetLastError();
    if (written != bytes.size())
        return ERROR_WRITE_FAULT;
    return Result(FlushFileBuffers(file));
}

// "\??\C:\x" as the session manager keeps it, to "C:\x".
std::string FromNtPath(const std::wstring& path)
{
    const std::wstring prefix = L"\\??\\";
    const std::wstring plain = path.compare(0, prefix.size(), prefix) == 0 ? path.substr(prefix.size()) : path;
    return sys::ToAnsi(plain.c_str());
}

std::vector<PendingRename> ReadPendingRenames()
{
    std::vector<PendingRename> renames;
    sys::UniqueKey key;
    if (RegOpenKeyExW(
            HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_QUERY_VALUE, key.Put())
        != ERROR_SUCCESS)
        return renames;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key.Get(), L"PendingFileRenameOperations", nullptr, &type, nullptr, &size) != ERROR_SUCCESS
        || type != REG_MULTI_SZ || size == 0)
        return renames;
    std::wstring text(size / sizeof(wchar_t) + 2, L'\0');
    if (RegQueryValueExW(
            key.Get(), L"PendingFileRenameOperations", nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size)
        != ERROR_SUCCESS)
        return renames;
    text.resize(size / sizeof(wchar_t));
    // Pairs of strings: the source, then the target ("!" first: replacing),
    // empty for a deletion.
    std::vector<std::wstring> strings;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find(L'\0', at);
        const std::size_t stop = end == std::wstring::npos ? text.size() : end;
        strings.push_back(text.substr(at, stop - at));
        at = stop + 1;
    }
    for (std::size_t i = 0; i + 1 < strings.size(); i += 2) {
        if (strings[i].empty())
            break; // the list's end
        std::wstring target = strings[i + 1];
        if (!target.empty() && target.front() == L'!')
            target.erase(0, 1);
        renames.push_back({ FromNtPath(strings[i]), target.empty() ? std::string() : FromNtPath(target) });
    }
    return renames;
}

RegistryKey ReadKey(Scope scope, const std::string& path)
{
    RegistryKey key;
    sys::UniqueKey open;
    if (RegOpenKeyExW(RootOf(scope), sys::FromAnsi(path.c_str()).c_str(), 0, KEY_QUERY_VALUE, open.Put())
        != ERROR_SUCCESS)
        return key;
    key.exists = true;
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];
        DWORD nameLength = static_cast<DWORD>(std::size(name));
        DWORD type = 0;
        DWORD size = 0;
        LONG status = RegEnumValueW(open.Get(), index, name, &nameLength, nullptr, &type, nullptr, &size);
        if (status != ERROR_SUCCESS)
            break;
        std::string data(size, '\0');
        nameLength = static_cast<DWORD>(std::size(name));
        status = RegEnumValueW(
            open.Get(), index, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
        if (status != ERROR_SUCCESS)
            break;
        data.resize(size);
        key.values.push_back({ sys::ToAnsi(std::wstring(name, nameLength).c_str()), type, data });
    }
    return key;
}

uint32_t WriteKey(
    Scope scope, const std::string& path, const std::vector<RegistryValue>& set, const std::vector<std::string>& remove)
{
    sys::UniqueKey key;
    LONG status = RegCreateKeyExW(RootOf(scope), sys::FromAnsi(path.c_str()).c_str(), 0, nullptr,
        REG_OPTION_NON_VOLATILE, KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, key.Put(), nullptr);
    if (status != ERROR_SUCCESS)
        return static_cast<uint32_t>(status);
    for (const RegistryValue& value : set) {
        status = RegSetValueExW(key.Get(), sys::FromAnsi(value.name.c_str()).c_str(), 0, value.type,
            reinterpret_cast<const BYTE*>(value.data.data()), static_cast<DWORD>(value.data.size()));
        if (status != ERROR_SUCCESS)
            return static_cast<uint32_t>(status);
    }
    for (const std::string& name : remove) {
        status = RegDeleteValueW(key.Get(), sys::FromAnsi(name.c_str()).c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            return static_cast<uint32_t>(status);
    }
    return ERROR_SUCCESS;
}

} // namespace

PathKind KindOf(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return PathKind::None;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::Folder : PathKind::File;
}

uint32_t FlushFile(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError();
    const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly)
        sys::ClearReadOnly(path, attributes);
    uint32_t error = ERROR_SUCCESS;
    {
        sys::UniqueFile file(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        error = file ? Result(FlushFileBuffers(file.Get())) : GetLastError();
    }
    if (readOnly)
        (void)SetFileAttributesA(path, attributes);
    return error;
}

Storage MachineStorage(bool protectFolders)
{
    Storage s;
    s.codePage = sys::kAnsiPaths;
    s.kind = KindOf;
    s.names = [](const std::string& folder) {
        std::vector<std::string> names;
        WIN32_FIND_DATAA entry;
        sys::UniqueFind find(FindFirstFileA((folder + "\\*").c_str(), &entry));
        if (!find)
            return names;
        do {
            const std::string name = entry.cFileName;
            if (name != "." && name != "..")
                names.push_back(name);
        } while (FindNextFileA(find.Get(), &entry));
        return names;
    };
    s.makeFolder = [protectFolders](const std::string& path, bool hidden) {
        Changing();
        if (!(protectFolders ? sys::CreateProtectedFolder(path.c_str()) : CreateDirectoryA(path.c_str(), nullptr)))
            return static_cast<uint32_t>(GetLastError());
        if (hidden)
            (void)SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN);
        return static_cast<uint32_t>(ERROR_SUCCESS);
    };
    s.removeFolder = [](const std::string& path) {
        Changing();
        sys::ClearReadOnly(path.c_str());
        return Result(RemoveDirectoryA(path.c_str()));
    };
    s.removeFile = [](const std::string& path) {
        Changing();
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return static_cast<uint32_t>(GetLastError());
        sys::ClearReadOnly(path.c_str(), attributes);
        // A link to a folder is removed as a folder: what it names stays.
        const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const uint32_t error = Result(folder ? RemoveDirectoryA(path.c_str()) : DeleteFileA(path.c_str()));
        if (error != ERROR_SUCCESS && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
            (void)SetFileAttributesA(path.c_str(), attributes);
        return error;
    };
    s.removeTree = [](const std::string& path) {
        Changing();
        return Result(ClsFile::DeleteFolder(path.c_str()));
    };
    s.rename = [](const std::string& from, const std::string& to) {
        Changing();
        return Result(MoveFileExA(from.c_str(), to.c_str(), 0));
    };
    s.replaceDurably = [](const std::string& from, const std::string& to) {
        Changing();
        // A scanner or an indexer may hold the file it replaces for a moment.
        uint32_t error = ERROR_SUCCESS;
        for (int attempt = 0; attempt < 50; ++attempt) {
            error = Result(MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
            if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED && error != ERROR_LOCK_VIOLATION)
                break;
            Sleep(100);
        }
        return error != ERROR_SUCCESS ? error : FlushFile(to.c_str());
    };
    s.copyDurably = [](const std::string& from, const std::string& to) {
        Changing();
        const uint32_t error = Result(CopyFileA(from.c_str(), to.c_str(), TRUE));
        return error != ERROR_SUCCESS ? error : FlushFile(to.c_str());
    };
    s.createDurably = [](const std::string& path, const std::string& bytes) {
        Changing();
        sys::UniqueFile file(
            CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            return static_cast<uint32_t>(GetLastError());
        const uint32_t error = WriteAndFlush(file.Get(), bytes);
        if (error != ERROR_SUCCESS) {
            file.Reset();
            (void)DeleteFileA(path.c_str());
        }
        return error;
    };
    s.appendDurably = [](const std::string& path, const std::string& bytes) {
        Changing();
        sys::UniqueFile file(CreateFileA(path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        return file ? WriteAndFlush(file.Get(), bytes) : static_cast<uint32_t>(GetLastError());
    };
    s.read = [](const std::string& path, std::string& bytes, uint64_t limit) {
        sys::UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
            FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        LARGE_INTEGER size {};
        if (!file || !GetFileSizeEx(file.Get(), &size))
            return static_cast<uint32_t>(GetLastError());
        if (static_cast<uint64_t>(size.QuadPart) > limit)
            return static_cast<uint32_t>(ERROR_INVALID_DATA);
        bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
        DWORD read = 0;
        if (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
            return static_cast<uint32_t>(GetLastError());
        return read == bytes.size() ? static_cast<uint32_t>(ERROR_SUCCESS) : static_cast<uint32_t>(ERROR_READ_FAULT);
    };
    s.barrier = [](const std::string& folder) {
        Changing();
        sys::UniqueFile handle(CreateFileA(folder.c_str(), GENERIC_READ | GENERIC_WRITE,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        return handle ? Result(FlushFileBuffers(handle.Get())) : static_cast<uint32_t>(GetLastError());
    };
    s.renameAtRestart = [](const PendingRename& rename) {
        Changing();
        return Result(MoveFileExA(rename.source.c_str(), rename.target.empty() ? nullptr : rename.target.c_str(),
            MOVEFILE_DELAY_UNTIL_REBOOT | (rename.target.empty() ? 0 : MOVEFILE_REPLACE_EXISTING)));
    };
    s.pendingRenames = ReadPendingRenames;
    s.readKey = ReadKey;
    s.writeKey = [](Scope scope, const std::string& key, const std::vector<RegistryValue>& set,
                     const std::vector<std::string>& remove) {
        Changing();
        return WriteKey(scope, key, set, remove);
    };
    s.deleteKey = [](Scope scope, const std::string& key) {
        Changing();
        const LONG status = RegDeleteKeyW(RootOf(scope), sys::FromAnsi(key.c_str()).c_str());
        return status == ERROR_FILE_NOT_FOUND ? static_cast<uint32_t>(ERROR_SUCCESS) : static_cast<uint32_t>(status);
    };
    s.flushKeys = [](Scope scope) {
        Changing();
        return static_cast<uint32_t>(RegFlushKey(RootOf(scope)));
    };
    return s;
}

} // namespace install
