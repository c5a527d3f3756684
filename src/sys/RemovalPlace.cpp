#include "sys/RemovalPlace.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "sys/FileSecurity.h"
#include "sys/TestSeam.h"
#include "sys/Win32.h"

namespace sys {

namespace {

constexpr wchar_t kProgramName[] = L"uninstall.exe";

std::wstring RandomName(const wchar_t* prefix)
{
    unsigned char random[8];
    if (!RandomBytes(random, sizeof random))
        return {};
    std::wstring name = prefix;
    for (unsigned char byte : random) {
        name += L"0123456789abcdef"[byte >> 4];
        name += L"0123456789abcdef"[byte & 15];
    }
    return name;
}

std::wstring ParentOf(const std::wstring& path)
{
    const std::size_t separator = path.find_last_of(L'\\');
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

// The folder the place is made in: the Windows folder's Temp for the
// machine (GetSystemWindowsDirectory: the system's, whatever the
// environment says), the user's temporary folder for the user.
std::wstring ParentFolder(TrustScope scope)
{
    if (scope == TrustScope::User) {
        std::wstring temp = TempFolder();
        if (!temp.empty() && temp.back() == L'\\')
            temp.pop_back();
        return temp;
    }
    wchar_t windows[MAX_PATH] = {};
    const UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH - 16)
        return {};
    std::wstring folder(windows, length);
    if (folder.back() == L'\\')
        folder.pop_back();
    return folder + L"\\Temp";
}

bool Descriptor(const std::wstring& path, bool own, std::vector<std::uint8_t>& descriptor, DWORD* attributes = nullptr)
{
    UniqueFile object(CreateFileW(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | (own ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!object || !GetFileInformationByHandle(object.Get(), &info))
        return false;
    if (attributes != nullptr)
        *attributes = info.dwFileAttributes;
    return ReadOwnerAndDacl(object.Get(), descriptor);
}

bool CopyThrough(HANDLE from, HANDLE to)
{
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(from, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr))
            return false;
        if (read == 0)
            return true;
        DWORD written = 0;
        if (!WriteFile(to, buffer.data(), read, &written, nullptr) || written != read)
            return false;
    }
}

} // namespace

bool RemovalPlace::Fail(const std::wstring& why)
{
    why_ = why + L" (error " + std::to_wstring(GetLastError()) + L")";
    Remove();
    return false;
}

bool RemovalPlace::Make(const std::wstring& program, TrustScope scope)
{
    if (!SeamValue(TestSeam::NoCopy).empty()) {
        why_ = L"the tests asked for no copy";
        return false;
    }
    const std::wstring parent = ParentFolder(scope);
    if (parent.empty())
        return Fail(L"no folder to make the place in");
    ExplicitList list(scope == TrustScope::Machine ? ExplicitList::Kind::RemovalPlace : ExplicitList::Kind::Profile);
    SECURITY_DESCRIPTOR made;
    if (!list.Describe(made))
        return Fail(L"no access list for the place");
    SECURITY_ATTRIBUTES attributes { sizeof attributes, &made, FALSE };
    // A name someone made first is never taken: another is tried.
    for (int attempt = 0; attempt < 8 && folder_.empty(); ++attempt) {
        const std::wstring name = RandomName(L"ynb-");
        if (name.empty())
            return Fail(L"no random name");
        if (CreateDirectoryW((parent + L"\\" + name).c_str(), &attributes))
            folder_ = parent + L"\\" + name;
        else if (GetLastError() != ERROR_ALREADY_EXISTS)
            return Fail(L"the folder could not be made in " + parent);
    }
    if (folder_.empty())
        return Fail(L"no free name in " + parent);
    // Open from now on, without delete sharing: it cannot be renamed or replaced.
    open_.Reset(
        CreateFileW(folder_.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE,
            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    std::vector<std::uint8_t> own;
    std::vector<std::uint8_t> above;
    BY_HANDLE_FILE_INFORMATION info;
    if (!open_ || !GetFileInformationByHandle(open_.Get(), &info)
        || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || !ReadOwnerAndDacl(open_.Get(), own)
        || !Descriptor(parent, false, above))
        return Fail(L"the place " + folder_ + L" cannot be read back");
    const Account account = RunningAccount();
    const bool safe = scope == TrustScope::Machine
        ? RemovalPlaceIsSafe(own, above, account)
        : JudgeProtection(own, TrustScope::User, account, true) == Protection::Protected;
    if (!safe)
        return Fail(L"the place " + folder_ + L" could be changed by others");

    UniqueFile source(CreateFileW(
        program.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!source)
        return Fail(L"the program " + program + L" cannot be read");
    program_ = folder_ + L"\\" + kProgramName;
    UniqueFile target(
        CreateFileW(program_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!target || !CopyThrough(source.Get(), target.Get()) || !target.Reset())
        return Fail(L"the copy could not be written into " + folder_);
    return true;
}

void RemovalPlace::Remove()
{
    open_.Reset();
    if (!program_.empty())
        (void)DeleteFileW(program_.c_str());
    if (!folder_.empty())
        (void)RemoveDirectoryW(folder_.c_str());
    program_.clear();
    folder_.clear();
}

// Renames the file `handle` is open to (with DELETE access): through the
// handle itself, so that its delete-on-close follows it (Wine deletes the
// name a handle was opened or renamed with, not the file).
bool RenameThrough(HANDLE handle, const std::wstring& to)
{
    std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) + (to.size() + 1) * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(to.size() * sizeof(wchar_t));
    std::copy(to.begin(), to.end(), rename->FileName);
    return SetFileInformationByHandle(handle, FileRenameInfo, rename, static_cast<DWORD>(buffer.size())) != 0;
}

std::wstring LeaveRemovalPlace(HANDLE ownFile)
{
    const std::wstring program = ModulePath();
    const std::wstring folder = ParentOf(program);
    const std::wstring parent = ParentOf(folder);
    if (program.empty() || folder.empty() || parent.empty())
        return L"the temporary copy's folder is not known";
    // A running program may be renamed; its delete-on-close handle deletes it under its new name.
    bool moved = false;
    for (int attempt = 0; attempt < 8 && !moved; ++attempt) {
        const std::wstring name = RandomName(L"ynb-");
        moved = !name.empty() && ownFile != nullptr && RenameThrough(ownFile, parent + L"\\" + name + L".tmp");
    }
    if (moved && RemoveDirectoryW(folder.c_str()))
        return L"the temporary copy's folder " + folder + L" is removed; the copy goes when it ends";
    const bool scheduled = MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return L"the temporary copy's folder " + folder
        + (scheduled ? L" is removed when Windows restarts" : L" could not be removed");
}

} // namespace sys
