#include "sys/FileSecurity.h"

#include <aclapi.h>

#include <algorithm>
#include <initializer_list>

#include "sys/Handle.h"
#include "sys/Names.h"
#include "sys/PathWalk.h"
#include "sys/Text.h"

namespace sys {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kUsualDescriptorSize = 512;

// The object itself, a final link not followed; folders need backup semantics.
UniqueFile OpenObject(const char* path, DWORD access)
{
    return UniqueFile(CreateFileA(path, access, kShareAll, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// Only the basic information: the whole of it (GetFileInformationByHandle)
// costs Wine a name lookup per call.
bool AttributesOf(HANDLE handle, DWORD& attributes)
{
    FILE_BASIC_INFO info;
    if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &info, sizeof info))
        return false;
    attributes = info.FileAttributes;
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

ExplicitList::ExplicitList(Kind kind)
    : owner_(kind == Kind::Profile ? CurrentUserSid() : AdministratorsSid())
{
    const SidBytes system = SystemSid();
    const SidBytes administrators = AdministratorsSid();
    // Profile and pipe: the running account as the third; Program Files: Users, to read and run.
    const SidBytes third = kind == Kind::ProgramFiles ? UsersSid() : CurrentUserSid();
    const DWORD inherit = kind == Kind::Pipe ? 0 : CONTAINER_INHERIT_ACE | OBJECT_INHERIT_ACE;
    const auto sid = [](const SidBytes& bytes) { return const_cast<std::uint8_t*>(bytes.data()); };
    valid_ = !third.empty() && !owner_.empty() && InitializeAcl(Dacl(), sizeof acl_, ACL_REVISION)
        && AddAccessAllowedAceEx(Dacl(), ACL_REVISION, inherit, FILE_ALL_ACCESS, sid(system))
        && AddAccessAllowedAceEx(Dacl(), ACL_REVISION, inherit, FILE_ALL_ACCESS, sid(administrators));
    if (valid_ && kind != Kind::RemovalPlace)
        valid_ = AddAccessAllowedAceEx(Dacl(), ACL_REVISION, inherit,
            kind == Kind::ProgramFiles ? FILE_GENERIC_READ | FILE_GENERIC_EXECUTE : FILE_ALL_ACCESS, sid(third));
    withOwner_ = kind != Kind::Pipe;
}

bool ExplicitList::Describe(SECURITY_DESCRIPTOR& descriptor)
{
    return valid_ && InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION)
        && (!withOwner_ || SetSecurityDescriptorOwner(&descriptor, Owner(), FALSE))
        && SetSecurityDescriptorDacl(&descriptor, TRUE, Dacl(), FALSE)
        && SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
}

bool RandomBytes(void* buffer, unsigned long size)
{
    // RtlGenRandom, advapi32's own export.
    using GenRandomFn = BOOLEAN(WINAPI*)(PVOID, ULONG);
    const HMODULE advapi = GetModuleHandleA("advapi32.dll");
    const auto generate = advapi != nullptr
        ? reinterpret_cast<GenRandomFn>(reinterpret_cast<void*>(GetProcAddress(advapi, "SystemFunction036")))
        : nullptr;
    return generate != nullptr && generate(buffer, size);
}

bool ReadOwnerAndDacl(HANDLE handle, std::vector<std::uint8_t>& descriptor)
{
    const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    // Most descriptors fit the first buffer: one call. One that does not,
    // or grows between the calls, gets a few tries.
    DWORD needed = kUsualDescriptorSize;
    for (int attempt = 0; attempt < 3; ++attempt) {
        descriptor.resize(needed);
        if (GetKernelObjectSecurity(handle, what, descriptor.data(), static_cast<DWORD>(descriptor.size()), &needed)) {
            descriptor.resize(GetSecurityDescriptorLength(descriptor.data()));
            return true;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= descriptor.size())
            break;
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

bool AdministratorsEnabled()
{
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(
            &nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators))
        return false;
    BOOL member = FALSE;
    const bool enabled = CheckTokenMembership(nullptr, administrators, &member) && member;
    (void)FreeSid(administrators);
    return enabled;
}

Account RunningAccount()
{
    return { CurrentUserSid(), AdministratorsEnabled() };
}

Protection JudgeHandle(HANDLE handle, TrustScope scope, const Account& account)
{
    DWORD attributes = 0;
    if (!AttributesOf(handle, attributes))
        attributes = FILE_ATTRIBUTE_DIRECTORY;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return Protection::Link;
    std::vector<std::uint8_t> descriptor;
    if (!ReadOwnerAndDacl(handle, descriptor))
        return Protection::Unreadable;
    return JudgeProtection(descriptor, scope, account, (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
}

Protection JudgePath(const char* path, TrustScope scope, const Account& account)
{
    UniqueFile object = OpenObject(path, READ_CONTROL | FILE_READ_ATTRIBUTES);
    if (!object)
        return Protection::Unreadable;
    return JudgeHandle(object.Get(), scope, account);
}

Protection JudgeHandle(HANDLE handle, TrustScope scope)
{
    return JudgeHandle(handle, scope, RunningAccount());
}

Protection JudgePath(const char* path, TrustScope scope)
{
    return JudgePath(path, scope, RunningAccount());
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
    ExplicitList list(forUser ? ExplicitList::Kind::Profile : ExplicitList::Kind::ProgramFiles);
    if (!list.Valid())
        return false;
    const DWORD result = SetSecurityInfo(folder.Get(), SE_FILE_OBJECT,
        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, list.Owner(),
        nullptr, list.Dacl(), nullptr);
    if (result != ERROR_SUCCESS) {
        SetLastError(result);
        return false;
    }
    return JudgeHandle(folder.Get(), forUser ? TrustScope::User : TrustScope::Machine) == Protection::Protected;
}

bool CreateProtectedFolder(const char* path)
{
    ExplicitList list(ExplicitList::Kind::ProgramFiles);
    SECURITY_DESCRIPTOR descriptor;
    if (!list.Describe(descriptor))
        return false;
    SECURITY_ATTRIBUTES attributes { sizeof attributes, &descriptor, FALSE };
    return CreateDirectoryA(path, &attributes) != 0;
}

bool OwnerIsTrusted(const char* path, TrustScope scope)
{
    std::vector<std::uint8_t> descriptor;
    if (!ReadPath(path, descriptor))
        return false;
    const SidBytes owner = OwnerOf(descriptor);
    const std::vector<SidBytes> trusted = TrustedSids(scope, RunningAccount());
    return !owner.empty() && std::find(trusted.begin(), trusted.end(), owner) != trusted.end();
}

namespace {

// The object's own descriptor and attributes; opened without following a
// final link when `own`.
bool ReadObject(const char* path, bool own, std::vector<std::uint8_t>& descriptor, DWORD& attributes)
{
    UniqueFile object(CreateFileA(path, READ_CONTROL | FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | (own ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr));
    return object && AttributesOf(object.Get(), attributes) && ReadOwnerAndDacl(object.Get(), descriptor);
}

} // namespace

InstallPathJudgement JudgeInstallPath(const std::string& installFolder, TrustScope scope)
{
    InstallPathJudgement judgement;
    const Account account = RunningAccount();
    const std::vector<std::string> folders = FoldersBelowRoot(installFolder, AnsiLead);
    for (std::size_t i = 0; i < folders.size(); ++i) {
        const std::string& folder = folders[i];
        const DWORD found = GetFileAttributesA(folder.c_str());
        if (found == INVALID_FILE_ATTRIBUTES && GetLastError() != ERROR_ACCESS_DENIED
            && GetLastError() != ERROR_SHARING_VIOLATION) {
            judgement.missing.assign(folders.begin() + static_cast<std::ptrdiff_t>(i), folders.end());
            return judgement;
        }
        const bool last = i + 1 == folders.size();
        // The place itself: the install folder by the one rule, a folder above by what it lets others move.
        const auto judge = [&](ByteSpan descriptor) {
            return last ? JudgeProtection(descriptor, scope, account, true) : JudgeAncestor(descriptor, scope, account);
        };
        std::vector<std::uint8_t> descriptor;
        DWORD attributes = 0;
        Protection protection = Protection::Unreadable;
        judgement.link = found != INVALID_FILE_ATTRIBUTES && (found & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (ReadObject(folder.c_str(), true, descriptor, attributes)) {
            judgement.link = judgement.link || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            if (!judgement.link)
                protection = judge(descriptor);
            else if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
                protection = Protection::Link; // opened through: its own list is not to be had (Wine)
            else // who may change a link may point it elsewhere: its own list by the one rule
                protection = JudgeProtection(descriptor, scope, account, true);
            if (judgement.link && protection == Protection::Protected)
                protection = ReadObject(folder.c_str(), false, descriptor, attributes) ? judge(descriptor)
                                                                                       : Protection::Unreadable;
        }
        if (protection != Protection::Protected) {
            judgement.protection = protection;
            judgement.path = folder;
            return judgement;
        }
        judgement.link = false;
    }
    return judgement;
}

} // namespace sys
