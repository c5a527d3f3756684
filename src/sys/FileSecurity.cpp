#include "sys/FileSecurity.h"

#include <aclapi.h>

#include <algorithm>
#include <initializer_list>

#include "sys/Handle.h"

namespace sys {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The object itself, a final link not followed; folders need backup semantics.
UniqueFile OpenObject(const char* path, DWORD access)
{
    return UniqueFile(CreateFileA(path, access, kShareAll, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

bool AttributesOf(HANDLE handle, DWORD& attributes)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info))
        return false;
    attributes = info.dwFileAttributes;
    return true;
}

// Enables those of the named privileges that the token holds and puts each
// back as it was when the scope ends. A privilege the token lacks is left
// out: the work then succeeds or fails on the token's groups alone.
class PrivilegeScope {
public:
    explicit PrivilegeScope(std::initializer_list<const char*> names)
    {
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token_.Put()))
            return;
        for (const char* name : names) {
            TOKEN_PRIVILEGES wanted {};
            wanted.PrivilegeCount = 1;
            wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
            if (!LookupPrivilegeValueA(nullptr, name, &wanted.Privileges[0].Luid))
                continue;
            TOKEN_PRIVILEGES before {};
            DWORD size = 0;
            // Succeeds with ERROR_NOT_ALL_ASSIGNED when the token lacks it.
            if (AdjustTokenPrivileges(token_.Get(), FALSE, &wanted, sizeof before, &before, &size)
                && GetLastError() == ERROR_SUCCESS && before.PrivilegeCount == 1)
                restore_.push_back(before);
        }
    }
    ~PrivilegeScope()
    {
        for (TOKEN_PRIVILEGES& before : restore_)
            (void)AdjustTokenPrivileges(token_.Get(), FALSE, &before, 0, nullptr, nullptr);
    }
    PrivilegeScope(const PrivilegeScope&) = delete;
    PrivilegeScope& operator=(const PrivilegeScope&) = delete;

private:
    UniqueHandle token_;
    std::vector<TOKEN_PRIVILEGES> restore_;
};

// The descriptor of what path names; false for a link or what cannot be read.
bool ReadPath(const char* path, std::vector<std::uint8_t>& descriptor)
{
    descriptor.clear();
    UniqueFile object = OpenObject(path, READ_CONTROL | FILE_READ_ATTRIBUTES);
    DWORD attributes = 0;
    return object && AttributesOf(object.Get(), attributes) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        && ReadOwnerAndDacl(object.Get(), descriptor);
}

} // namespace

bool ReadOwnerAndDacl(HANDLE handle, std::vector<std::uint8_t>& descriptor)
{
    const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    descriptor.clear();
    DWORD needed = 0;
    // The descriptor may grow between the calls: a few tries.
    for (int attempt = 0; attempt < 3; ++attempt) {
        descriptor.resize(needed);
        if (GetKernelObjectSecurity(handle, what, descriptor.empty() ? nullptr : descriptor.data(),
                static_cast<DWORD>(descriptor.size()), &needed)) {
            if (!descriptor.empty())
                return true;
        } else if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= descriptor.size()) {
            break;
        }
    }
    descriptor.clear();
    return false;
}

SidBytes CurrentUserSid()
{
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put()))
        return {};
    DWORD needed = 0;
    if (GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return {};
    // TOKEN_USER holds a pointer into the same buffer: keep it aligned.
    std::vector<std::uint64_t> buffer((needed + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t));
    if (!GetTokenInformation(token.Get(), TokenUser, buffer.data(), needed, &needed))
        return {};
    const PSID sid = reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid;
    if (!IsValidSid(sid))
        return {};
    const auto* bytes = static_cast<const std::uint8_t*>(sid);
    return SidBytes(bytes, bytes + GetLengthSid(sid));
}

Protection JudgeHandle(HANDLE handle)
{
    DWORD attributes = 0;
    if (!AttributesOf(handle, attributes))
        attributes = FILE_ATTRIBUTE_DIRECTORY;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return Protection::Link;
    std::vector<std::uint8_t> descriptor;
    if (!ReadOwnerAndDacl(handle, descriptor))
        return Protection::Unreadable;
    return JudgeProtection(descriptor, TrustedSids(CurrentUserSid()), (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
}

Protection JudgePath(const char* path)
{
    UniqueFile object = OpenObject(path, READ_CONTROL | FILE_READ_ATTRIBUTES);
    if (!object)
        return Protection::Unreadable;
    return JudgeHandle(object.Get());
}

bool ProtectFolder(const char* path, bool forUser)
{
    const PrivilegeScope privileges { "SeRestorePrivilege", "SeTakeOwnershipPrivilege" };
    // FILE_LIST_DIRECTORY lets Windows reach the children to carry the entries down.
    UniqueFile folder
        = OpenObject(path, READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY);
    DWORD attributes = 0;
    if (!folder || !AttributesOf(folder.Get(), attributes) || !(attributes & FILE_ATTRIBUTE_DIRECTORY)
        || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;

    SidBytes system = SystemSid();
    SidBytes administrators = AdministratorsSid();
    SidBytes third = forUser ? CurrentUserSid() : UsersSid();
    if (third.empty())
        return false;
    // Header and three entries of header, mask and SID each.
    DWORD aclBuffer[64];
    const auto acl = reinterpret_cast<PACL>(aclBuffer);
    const DWORD inherit = CONTAINER_INHERIT_ACE | OBJECT_INHERIT_ACE;
    if (!InitializeAcl(acl, sizeof aclBuffer, ACL_REVISION)
        || !AddAccessAllowedAceEx(acl, ACL_REVISION, inherit, FILE_ALL_ACCESS, system.data())
        || !AddAccessAllowedAceEx(acl, ACL_REVISION, inherit, FILE_ALL_ACCESS, administrators.data())
        || !AddAccessAllowedAceEx(acl, ACL_REVISION, inherit,
            forUser ? FILE_ALL_ACCESS : FILE_GENERIC_READ | FILE_GENERIC_EXECUTE, third.data()))
        return false;
    const DWORD result = SetSecurityInfo(folder.Get(), SE_FILE_OBJECT,
        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
        forUser ? third.data() : administrators.data(), nullptr, acl, nullptr);
    if (result != ERROR_SUCCESS) {
        SetLastError(result);
        return false;
    }
    return JudgeHandle(folder.Get()) == Protection::Protected;
}

bool FolderNeedsProtection(const char* path)
{
    std::vector<std::uint8_t> descriptor;
    return !ReadPath(path, descriptor) || GrantsOrdinaryUsersWrite(descriptor, true);
}

bool OwnerIsTrusted(const char* path)
{
    std::vector<std::uint8_t> descriptor;
    if (!ReadPath(path, descriptor))
        return false;
    const SidBytes owner = OwnerOf(descriptor);
    const std::vector<SidBytes> trusted = TrustedSids(CurrentUserSid());
    return !owner.empty() && std::find(trusted.begin(), trusted.end(), owner) != trusted.end();
}

} // namespace sys
