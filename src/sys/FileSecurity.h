// The security of files and folders over Win32: reading an object's owner and
// DACL, judging them for the uninstaller, and giving the install folder the
// protection Program Files has. The decisions themselves are portable
// (SecurityRules.h); this module only reads and writes descriptors. Paths are
// ANSI byte strings; a final junction or symbolic link is never followed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sys/SecurityRules.h"

namespace sys {

// The owner and DACL of an open handle (opened with READ_CONTROL), as a
// self-relative descriptor. false, with descriptor empty, when Windows does
// not give them.
bool ReadOwnerAndDacl(HANDLE handle, std::vector<std::uint8_t>& descriptor);

// The lists this program gives what it makes, each protected (nothing
// inherited from above) and, for folders, inherited by what they hold:
// ProgramFiles: owner Administrators; full control for SYSTEM and
// Administrators, read and execute for Users. Profile: owner the running
// account; full control for SYSTEM, Administrators and that account.
// RemovalPlace: owner Administrators; full control for SYSTEM and
// Administrators alone. Pipe: the owner the token gives; full control for
// SYSTEM, Administrators and the running account.
class ExplicitList {
public:
    enum class Kind { ProgramFiles, Profile, RemovalPlace, Pipe };
    explicit ExplicitList(Kind kind);
    bool Valid() const { return valid_; }
    PACL Dacl() { return reinterpret_cast<PACL>(acl_); }
    PSID Owner() { return owner_.data(); }
    // An absolute descriptor of the owner and the list, pointing into this object.
    bool Describe(SECURITY_DESCRIPTOR& descriptor);

private:
    SidBytes owner_;
    DWORD acl_[64] = {}; // header and three entries of header, mask and SID each
    bool valid_ = false;
    bool withOwner_ = true;
};

// Bytes from the system's cryptographic generator; false when it gives none.
bool RandomBytes(void* buffer, unsigned long size);

// The SID of the account the process runs as (its token's user); empty when
// it cannot be read.
SidBytes CurrentUserSid();
// The Administrators group is enabled in the process's token.
bool AdministratorsEnabled();
// The running account as the judgement of protection needs it.
Account RunningAccount();

// The one rule (JudgeProtection) over an open file or folder (READ_CONTROL |
// FILE_READ_ATTRIBUTES), for the scope, trusting the running account as
// RunningAccount says; an object whose kind cannot be read is judged as a
// folder (the stricter). Link for a junction or symbolic link (what it names
// is not judged), Unreadable when the descriptor cannot be read.
Protection JudgeHandle(HANDLE handle, TrustScope scope);
// The same by path; Unreadable when it cannot be opened, Link for a link.
Protection JudgePath(const char* path, TrustScope scope);
// Both for an account read once, for judging many.
Protection JudgeHandle(HANDLE handle, TrustScope scope, const Account& account);
Protection JudgePath(const char* path, TrustScope scope, const Account& account);

// Gives the folder the protection Program Files has: owner Administrators and
// a protected DACL (nothing inherited from above) with full control for
// SYSTEM and Administrators and read & execute for Users, each entry
// inherited by everything below; Windows carries the entries down into what
// the folder already holds. Needs the Administrators group as an owner the
// token may assign (an elevated process) or SeRestorePrivilege; the restore
// and take-ownership privileges are enabled while it works when the token
// holds them. true when Windows accepted it and the folder then reads back
// protected. forUser: the protection a profile's folders have instead, which
// an account without administrator rights may give a folder it owns: the
// running account as the owner, full control for SYSTEM, the administrators
// and that account, nothing for anyone else.
bool ProtectFolder(const char* path, bool forUser = false);

// Creates the folder with the protection Program Files has (see
// ProtectFolder) from its first moment, so that nothing is ever written into
// it under another list; false with the Win32 error set when it cannot (one
// that exists already is an error: ERROR_ALREADY_EXISTS).
bool CreateProtectedFolder(const char* path);

// true when the file or folder is owned by someone the scope trusts
// (TrustedSids): a log folder that already exists with another owner is not
// used. false for a link or what cannot be read.
bool OwnerIsTrusted(const char* path, TrustScope scope);

// The folders of a machine's install folder, judged before anything is
// written: each existing folder from below the drive's (or share's) root down
// to `installFolder` (a full path). The install folder by the one rule, the
// folders above it by JudgeAncestor; a junction or symbolic link among them
// by the one rule over its own descriptor, and then what it leads to as the
// folder's place demands (Link when its own descriptor is not to be had:
// Wine opens a host link's target whatever it is asked). `missing` receives the folders that do not exist
// yet, top first, which the installation makes with CreateProtectedFolder.
struct InstallPathJudgement {
    Protection protection = Protection::Protected; // of the first folder that fails
    std::string path; // that folder
    bool link = false; // it is a junction or symbolic link (its own descriptor failed, or what it leads to)
    std::vector<std::string> missing;
};
InstallPathJudgement JudgeInstallPath(const std::string& installFolder, TrustScope scope);

} // namespace sys
