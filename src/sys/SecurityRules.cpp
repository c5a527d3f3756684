#include "sys/SecurityRules.h"

#include <algorithm>
#include <cstdio>

#include "sys/LittleEndian.h"

namespace sys {

namespace {

constexpr std::size_t kSidHeader = 8;
constexpr std::size_t kMaxSubAuthorities = 15;

// SECURITY_DESCRIPTOR_RELATIVE: revision, padding, control, then the offsets
// of owner, group, SACL and DACL.
constexpr std::size_t kDescriptorHeader = 20;
constexpr std::uint8_t kDescriptorRevision = 1;
constexpr std::uint16_t kDaclPresent = 0x0004;
constexpr std::uint16_t kSelfRelative = 0x8000;

// ACL: revision, padding, size, entry count, padding.
constexpr std::size_t kAclHeader = 8;
// Every entry starts with type, flags and size, then its access mask.
constexpr std::size_t kAceFixed = 8;
constexpr std::uint8_t kObjectInherit = 0x01;
constexpr std::uint8_t kContainerInherit = 0x02;
constexpr std::uint8_t kInheritOnly = 0x08;
// The object forms carry flags after the mask, then up to two GUIDs.
constexpr std::uint32_t kObjectTypePresent = 0x1;
constexpr std::uint32_t kInheritedObjectTypePresent = 0x2;
constexpr std::size_t kGuid = 16;

enum class AceKind {
    Skipped, // deny, audit, alarm, label and the other entries that grant nothing
    Allow, // ACCESS_ALLOWED and its callback form: mask, SID
    AllowObject, // the object forms: mask, flags, GUIDs, SID
    Unknown, // the compound form and types not known here
};

AceKind KindOf(std::uint8_t type)
{
    switch (type) {
    case 0: // ACCESS_ALLOWED
    case 9: // ACCESS_ALLOWED_CALLBACK
        return AceKind::Allow;
    case 5: // ACCESS_ALLOWED_OBJECT
    case 11: // ACCESS_ALLOWED_CALLBACK_OBJECT
        return AceKind::AllowObject;
    case 4: // ACCESS_ALLOWED_COMPOUND, not parsed
        return AceKind::Unknown;
    default:
        // 1 to 21 but the above: deny and audit entries in their forms, alarm,
        // mandatory label, resource attribute, scoped policy, trust label,
        // access filter.
        return type <= 21 ? AceKind::Skipped : AceKind::Unknown;
    }
}

// An allow entry; an empty SID stands for someone unknown. `flags` are the
// entry's inheritance flags, read by each judgement for what it asks.
struct Grant {
    ByteSpan sid;
    std::uint32_t rights = 0;
    std::uint8_t flags = 0;
};

struct Parsed {
    ByteSpan owner; // empty: none
    bool hasDacl = false; // present and not NULL
    std::vector<Grant> grants;
};

// The SID at offset (from the owner or group field), within the descriptor.
bool ParseSidAt(ByteSpan descriptor, std::uint32_t offset, ByteSpan& sid)
{
    if (offset == 0) {
        sid = {};
        return true;
    }
    if (offset < kDescriptorHeader || offset >= descriptor.size())
        return false;
    const std::size_t size = SidSize(descriptor.subspan(offset));
    if (size == 0)
        return false;
    sid = descriptor.subspan(offset, size);
    return true;
}

bool ParseAce(ByteSpan ace, std::vector<Grant>& grants)
{
    const std::uint8_t type = ace[0];
    const std::uint8_t flags = ace[1];
    const AceKind kind = KindOf(type);
    if (kind == AceKind::Skipped)
        return true;
    std::size_t sidOffset = kAceFixed;
    if (kind == AceKind::AllowObject) {
        if (ace.size() < kAceFixed + 4)
            return false;
        const std::uint32_t objectFlags = ReadLe32(ace.data() + kAceFixed);
        sidOffset += 4 + ((objectFlags & kObjectTypePresent) ? kGuid : 0)
            + ((objectFlags & kInheritedObjectTypePresent) ? kGuid : 0);
    }
    ByteSpan sid;
    if (kind != AceKind::Unknown) {
        if (sidOffset >= ace.size())
            return false;
        const std::size_t size = SidSize(ace.subspan(sidOffset));
        if (size == 0)
            return false;
        sid = ace.subspan(sidOffset, size);
    }
    // What an unknown entry grants is not known: everything, to someone unknown.
    const std::uint32_t mask = kind == AceKind::Unknown ? 0xFFFFFFFFu : ReadLe32(ace.data() + 4);
    grants.push_back({ sid, MapFileRights(mask), flags });
    return true;
}

bool ParseDacl(ByteSpan descriptor, std::uint32_t offset, std::vector<Grant>& grants)
{
    if (offset < kDescriptorHeader || offset > descriptor.size() || descriptor.size() - offset < kAclHeader)
        return false;
    const std::uint8_t* header = descriptor.data() + offset;
    const std::uint8_t revision = header[0];
    const std::size_t aclSize = ReadLe16(header + 2);
    const std::size_t count = ReadLe16(header + 4);
    // ACL_REVISION 2, ACL_REVISION_DS 4 (and 3 between them).
    if (revision < 2 || revision > 4 || aclSize < kAclHeader || aclSize > descriptor.size() - offset)
        return false;
    ByteSpan rest = descriptor.subspan(offset + kAclHeader, aclSize - kAclHeader);
    for (std::size_t i = 0; i < count; ++i) {
        if (rest.size() < kAceFixed)
            return false;
        const std::size_t aceSize = ReadLe16(rest.data() + 2);
        if (aceSize < kAceFixed || aceSize > rest.size())
            return false;
        if (!ParseAce(rest.first(aceSize), grants))
            return false;
        rest = rest.subspan(aceSize);
    }
    return true;
}

bool Parse(ByteSpan descriptor, Parsed& out)
{
    if (descriptor.size() < kDescriptorHeader)
        return false;
    const std::uint8_t* p = descriptor.data();
    const std::uint16_t control = ReadLe16(p + 2);
    // Without SE_SELF_RELATIVE the fields would be pointers, not offsets.
    if (p[0] != kDescriptorRevision || !(control & kSelfRelative))
        return false;
    if (!ParseSidAt(descriptor, ReadLe32(p + 4), out.owner))
        return false;
    const std::uint32_t daclOffset = ReadLe32(p + 16);
    out.hasDacl = (control & kDaclPresent) && daclOffset != 0;
    return !out.hasDacl || ParseDacl(descriptor, daclOffset, out.grants);
}

bool IsAmong(ByteSpan sid, const std::vector<SidBytes>& sids)
{
    return !sid.empty() && std::any_of(sids.begin(), sids.end(), [&](const SidBytes& known) {
        return std::equal(sid.begin(), sid.end(), known.begin(), known.end());
    });
}

// The rights an entry gives, of `wanted`, on the object itself and, for a
// folder, on what is made in it later.
std::uint32_t Applying(
    const Grant& grant, bool isFolder, std::uint32_t self, std::uint32_t files, std::uint32_t folders)
{
    std::uint32_t wanted = 0;
    if (!(grant.flags & kInheritOnly))
        wanted |= self;
    if (isFolder && (grant.flags & kObjectInherit))
        wanted |= files;
    if (isFolder && (grant.flags & kContainerInherit))
        wanted |= folders;
    return grant.rights & wanted;
}

// The owner and the entries, each with the rights that count for it.
template <typename Counted>
Protection Judge(ByteSpan descriptor, TrustScope scope, const Account& account, Protection failing, Counted counted)
{
    Parsed parsed;
    if (!Parse(descriptor, parsed))
        return Protection::Malformed;
    if (!parsed.hasDacl)
        return Protection::NoDacl;
    std::vector<SidBytes> trusted = TrustedSids(scope, account);
    if (!IsAmong(parsed.owner, trusted))
        return Protection::ForeignOwner;
    // Entries for an owner stand for the owner judged above.
    trusted.push_back(CreatorOwnerSid());
    trusted.push_back(OwnerRightsSid());
    for (const Grant& grant : parsed.grants)
        if (counted(grant) != 0 && !IsAmong(grant.sid, trusted))
            return failing;
    return Protection::Protected;
}

} // namespace

// ---- SIDs

SidBytes MakeSid(std::uint64_t authority, std::initializer_list<std::uint32_t> subAuthorities)
{
    SidBytes sid { 1, static_cast<std::uint8_t>(subAuthorities.size()) };
    for (int shift = 40; shift >= 0; shift -= 8)
        sid.push_back(static_cast<std::uint8_t>(authority >> shift));
    for (std::uint32_t sub : subAuthorities)
        for (int shift = 0; shift < 32; shift += 8)
            sid.push_back(static_cast<std::uint8_t>(sub >> shift));
    return sid;
}

SidBytes SystemSid()
{
    return MakeSid(5, { 18 });
}
SidBytes AdministratorsSid()
{
    return MakeSid(5, { 32, 544 });
}
SidBytes TrustedInstallerSid()
{
    return MakeSid(5, { 80, 956008885u, 3418522649u, 1831038044u, 1853292631u, 2271478464u });
}
SidBytes UsersSid()
{
    return MakeSid(5, { 32, 545 });
}
SidBytes AuthenticatedUsersSid()
{
    return MakeSid(5, { 11 });
}
SidBytes EveryoneSid()
{
    return MakeSid(1, { 0 });
}
SidBytes InteractiveSid()
{
    return MakeSid(5, { 4 });
}
SidBytes CreatorOwnerSid()
{
    return MakeSid(3, { 0 });
}
SidBytes OwnerRightsSid()
{
    return MakeSid(3, { 4 });
}

std::size_t SidSize(ByteSpan bytes)
{
    if (bytes.size() < kSidHeader || bytes[0] != 1 || bytes[1] > kMaxSubAuthorities)
        return 0;
    const std::size_t size = kSidHeader + 4 * std::size_t { bytes[1] };
    return size <= bytes.size() ? size : 0;
}

std::string SidText(ByteSpan bytes)
{
    if (bytes.empty() || SidSize(bytes) != bytes.size())
        return {};
    std::uint64_t authority = 0;
    for (std::size_t i = 2; i < kSidHeader; ++i)
        authority = authority << 8 | bytes[i];
    char part[32];
    if (authority >> 32)
        std::snprintf(part, sizeof part, "S-1-0x%012llX", static_cast<unsigned long long>(authority));
    else
        std::snprintf(part, sizeof part, "S-1-%llu", static_cast<unsigned long long>(authority));
    std::string text = part;
    for (std::size_t i = kSidHeader; i < bytes.size(); i += 4) {
        std::snprintf(part, sizeof part, "-%lu", static_cast<unsigned long>(ReadLe32(bytes.data() + i)));
        text += part;
    }
    return text;
}

std::vector<SidBytes> TrustedSids(TrustScope scope, const Account& account)
{
    std::vector<SidBytes> trusted = { SystemSid(), AdministratorsSid(), TrustedInstallerSid() };
    if (!account.sid.empty() && (scope == TrustScope::User || account.enabledAdministrator))
        trusted.push_back(account.sid);
    return trusted;
}

// ---- Access rights

std::uint32_t MapFileRights(std::uint32_t mask)
{
    using namespace rights;
    if (mask & kMaximumAllowed)
        return 0xFFFFFFFFu;
    std::uint32_t mapped = mask & ~(kGenericAll | kGenericExecute | kGenericWrite | kGenericRead);
    if (mask & kGenericAll)
        mapped |= kFileAllAccess;
    if (mask & kGenericExecute)
        mapped |= kFileGenericExecute;
    if (mask & kGenericWrite)
        mapped |= kFileGenericWrite;
    if (mask & kGenericRead)
        mapped |= kFileGenericRead;
    return mapped;
}

std::uint32_t ChangeRights(bool isFolder)
{
    using namespace rights;
    const std::uint32_t change = kWriteData | kAppendData | kWriteAttributes | kDelete | kWriteDac | kWriteOwner;
    return isFolder ? change | kDeleteChild : change;
}

// ---- Judgements

Protection JudgeProtection(ByteSpan descriptor, TrustScope scope, const Account& account, bool isFolder)
{
    const std::uint32_t self = ChangeRights(isFolder);
    return Judge(descriptor, scope, account, Protection::OthersMayWrite,
        [&](const Grant& grant) { return Applying(grant, isFolder, self, ChangeRights(false), ChangeRights(true)); });
}

Protection JudgeAncestor(ByteSpan descriptor, TrustScope scope, const Account& account)
{
    using namespace rights;
    const std::uint32_t move = kDelete | kDeleteChild | kWriteDac | kWriteOwner;
    return Judge(descriptor, scope, account, Protection::OthersMayMove,
        [&](const Grant& grant) { return Applying(grant, true, move, 0, 0); });
}

bool RemovalPlaceIsSafe(ByteSpan folder, ByteSpan parent, const Account& account)
{
    return JudgeProtection(folder, TrustScope::Machine, account, true) == Protection::Protected
        && JudgeAncestor(parent, TrustScope::Machine, account) == Protection::Protected;
}

SidBytes OwnerOf(ByteSpan descriptor)
{
    Parsed parsed;
    if (!Parse(descriptor, parsed))
        return {};
    return SidBytes(parsed.owner.begin(), parsed.owner.end());
}

const wchar_t* ProtectionText(Protection protection)
{
    switch (protection) {
    case Protection::Protected:
        return L"管理者以外は変更できません";
    case Protection::Malformed:
        return L"アクセス許可の情報が壊れています";
    case Protection::NoDacl:
        return L"アクセス許可が設定されていないため、誰でも変更できます";
    case Protection::ForeignOwner:
        return L"所有者が管理者ではありません";
    case Protection::OthersMayWrite:
        return L"管理者以外のユーザーも変更できます";
    case Protection::OthersMayMove:
        return L"管理者以外のユーザーが名前を変えたり削除したりできます";
    case Protection::Unreadable:
        return L"アクセス許可を読み取れません";
    case Protection::Link:
        return L"ジャンクションまたはシンボリック リンクです";
    }
    return L"アクセス許可を確かめられません";
}

} // namespace sys
