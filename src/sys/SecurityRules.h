// Who may change a file or folder, judged from its security descriptor: the
// uninstaller trusts the install log and its own folder only when nobody but
// the system, the administrators and the account running it can change them,
// and the setup program protects a folder that ordinary users could change.
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

// SYSTEM, Administrators, TrustedInstaller and the given account (the one
// running the uninstaller).
std::vector<SidBytes> TrustedSids(const SidBytes& runningAccount);

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
    // Only from the Win32 side, never from JudgeProtection:
    Unreadable, // the object cannot be opened or its descriptor not read
    Link, // a junction or symbolic link: what it names is not judged
};

// Judges the owner and the DACL. The entries counted are the allow entries
// that apply to the object itself (not INHERIT_ONLY_ACE): ACCESS_ALLOWED,
// its object and callback forms (the condition of a callback entry is not
// evaluated: it counts as granted), and any entry type not known here (as
// granting every right to someone not trusted). Deny entries never help: they
// are skipped, so an allow entry that a deny entry before it cancels still
// counts. The group and the SACL are not read.
Protection JudgeProtection(ByteSpan descriptor, const std::vector<SidBytes>& trusted, bool isFolder);

// The owner SID of a descriptor; empty when it has none or does not parse.
SidBytes OwnerOf(ByteSpan descriptor);

// For the setup program: true when an allow entry that applies to the object
// itself gives Users, Authenticated Users, Everyone or INTERACTIVE a right of
// ChangeRights, and also when the descriptor does not parse or has no DACL or
// a NULL one (in doubt, protect).
bool GrantsOrdinaryUsersWrite(ByteSpan descriptor, bool isFolder);

// A short Japanese text for reports, shown after the name of what was judged.
const wchar_t* ProtectionText(Protection protection);

} // namespace sys
