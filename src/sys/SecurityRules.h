// Who may change a file or folder, judged from its security descriptor, by
// one rule that the setup program, the uninstaller and whatever else trusts
// a file on disk share: for the machine, nobody but SYSTEM, the
// administrators, TrustedInstaller and the running account when it is an
// enabled administrator may change it; for the user's own installation, the
// protection of the user's profile (the same, with the running account
// trusted whatever its rights).
//
// Portable: no Win32. Descriptors arrive as the bytes of a self-relative
// SECURITY_DESCRIPTOR (header, then owner SID, group SID, SACL and DACL at
// offsets); they are untrusted input and never read past their size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

namespace sys {

// ---- SIDs ------------------------------------------------------------------

// A SID as Windows lays it out: revision 1, the count of sub-authorities (at
// most 15), the 48-bit identifier authority big-endian, then each
// sub-authority as 32 bits little-endian.
using SidBytes = std::vector<std::uint8_t>;
using ByteSpan = std::span<const std::uint8_t>;

SidBytes MakeSid(std::uint64_t authority, std::initializer_list<std::uint32_t> subAuthorities);

SidBytes SystemSid(); // S-1-5-18, LocalSystem
SidBytes AdministratorsSid(); // S-1-5-32-544
SidBytes TrustedInstallerSid(); // S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464
SidBytes UsersSid(); // S-1-5-32-545
SidBytes AuthenticatedUsersSid(); // S-1-5-11
SidBytes EveryoneSid(); // S-1-1-0
SidBytes InteractiveSid(); // S-1-5-4

// Length of the SID at the start of bytes, 0 when no valid SID fits there.
std::size_t SidSize(ByteSpan bytes);
// "S-1-5-32-544" (an authority of 2^32 or more in hexadecimal, as Windows
// writes it); empty when bytes do not hold exactly one valid SID.
std::string SidText(ByteSpan bytes);

SidBytes CreatorOwnerSid(); // S-1-3-0: stands for the owner of what inherits the entry
SidBytes OwnerRightsSid(); // S-1-3-4: the object's owner, whoever that is

// ---- Whom the judgement trusts ----------------------------------------------

// Who the protection is for: a machine's installation (run with administrator
// rights, used by every user) or the installation of the current user alone.
enum class TrustScope : std::uint8_t { Machine, User };

// The account the judging process runs as, as its token tells.
struct Account {
    SidBytes sid; // the token's user; empty when it cannot be read
    bool enabledAdministrator = false; // the Administrators group is enabled in the token
};

// The principals that may own and change what is judged: SYSTEM,
// Administrators, TrustedInstaller, and the running account for the user's
// scope, or for the machine's when it is an enabled administrator. (Under
// UAC an administrator's own programs without its rights run as the same
// account: for the machine's scope the account counts as an administrator
// because its rights do, not because the account is distinct.)
std::vector<SidBytes> TrustedSids(TrustScope scope, const Account& account);

// ---- Access rights ---------------------------------------------------------

namespace rights {
constexpr std::uint32_t kWriteData = 0x2; // for a folder: add a file
constexpr std::uint32_t kAppendData = 0x4; // for a folder: add a subfolder
constexpr std::uint32_t kDeleteChild = 0x40; // folders only
constexpr std::uint32_t kWriteAttributes = 0x100;
constexpr std::uint32_t kDelete = 0x10000;
constexpr std::uint32_t kWriteDac = 0x40000;
constexpr std::uint32_t kWriteOwner = 0x80000;
constexpr std::uint32_t kFileAllAccess = 0x1F01FF;
constexpr std::uint32_t kFileGenericRead = 0x120089;
constexpr std::uint32_t kFileGenericWrite = 0x120116;
constexpr std::uint32_t kFileGenericExecute = 0x1200A0;
constexpr std::uint32_t kMaximumAllowed = 0x02000000;
constexpr std::uint32_t kGenericAll = 0x10000000;
constexpr std::uint32_t kGenericExecute = 0x20000000;
constexpr std::uint32_t kGenericWrite = 0x40000000;
constexpr std::uint32_t kGenericRead = 0x80000000;
} // namespace rights

// An access mask with the generic rights replaced by the file rights they
// stand for; MAXIMUM_ALLOWED stands for every right.
std::uint32_t MapFileRights(std::uint32_t mask);

// The rights with which someone could change what the uninstaller reads or
// runs: write and append (for a folder: add files and subfolders), delete,
// change the permissions, take ownership, and write attributes (which is
// enough to make an empty folder a junction, FSCTL_SET_REPARSE_POINT); for a
// folder also delete its children. Writing extended attributes is left out:
// it changes neither the data nor the name of anything the uninstaller uses.
std::uint32_t ChangeRights(bool isFolder);

// ---- Judgements ------------------------------------------------------------

enum class Protection {
    Protected,
    Malformed, // the descriptor does not parse: sizes, offsets or counts that do not fit
    NoDacl, // no DACL, or a NULL one: everybody may do everything
    ForeignOwner, // no owner, or one that is not trusted (the owner may always change the DACL)
    OthersMayWrite, // an allow entry gives someone not trusted a right of ChangeRights
    OthersMayMove, // a folder above: someone not trusted may rename or delete it or what it holds
    // Only from the Win32 side, never from JudgeProtection:
    Unreadable, // the object cannot be opened or its descriptor not read
    Link, // a junction or symbolic link: what it names is not judged
};

// The one rule. Protected when the owner is trusted (TrustedSids) and no
// allow entry gives anyone else a right of ChangeRights. Counted are the
// allow entries, ACCESS_ALLOWED, its object and callback forms (the condition
// of a callback entry is not evaluated: it counts as granted), and any entry
// type not known here (as granting every right to someone not trusted):
// those that apply to the object itself, and on a folder also the inheritable
// ones as they apply to the files (OBJECT_INHERIT) and folders
// (CONTAINER_INHERIT) made in it later, inherit-only or not. CREATOR OWNER
// and OWNER RIGHTS stand for an owner, which is judged as the owner. Deny
// entries never help: they are skipped, so an allow entry that a deny entry
// before it cancels still counts. The group and the SACL are not read. A
// present, empty DACL grants nothing: only the owner has rights.
Protection JudgeProtection(ByteSpan descriptor, TrustScope scope, const Account& account, bool isFolder);

// A folder above what is judged (between the drive's root and an install
// folder): whoever may rename or delete it, or rename, delete or replace
// what it holds, could put a folder of their own in the place of what lies
// below. Protected when the owner is trusted and no allow entry that applies
// to the folder itself gives anyone else DELETE, FILE_DELETE_CHILD,
// WRITE_DAC or WRITE_OWNER; others may add files and folders to it.
// OthersMayMove otherwise (or Malformed, NoDacl, ForeignOwner).
Protection JudgeAncestor(ByteSpan descriptor, TrustScope scope, const Account& account);

// The folder the elevated uninstaller runs from: safe when the folder itself
// is protected for the machine and its parent keeps what it holds
// (JudgeAncestor), so that nobody else can write into it or put another in
// its place.
bool RemovalPlaceIsSafe(ByteSpan folder, ByteSpan parent, const Account& account);

// The owner SID of a descriptor; empty when it has none or does not parse.
SidBytes OwnerOf(ByteSpan descriptor);

// A short Japanese text for reports, shown after the name of what was judged.
const wchar_t* ProtectionText(Protection protection);

} // namespace sys
