// The security of files and folders over Win32: reading an object's owner and
// DACL, judging them for the uninstaller, and giving the install folder the
// protection Program Files has. The decisions themselves are portable
// (SecurityRules.h); this module only reads and writes descriptors. Paths are
// ANSI byte strings; a final junction or symbolic link is never followed.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "sys/SecurityRules.h"

namespace sys {

// The owner and DACL of an open handle (opened with READ_CONTROL), as a
// self-relative descriptor. false, with descriptor empty, when Windows does
// not give them.
bool ReadOwnerAndDacl(HANDLE handle, std::vector<std::uint8_t>& descriptor);

// The SID of the account the process runs as (its token's user); empty when
// it cannot be read.
SidBytes CurrentUserSid();

// Judges an open file or folder (READ_CONTROL | FILE_READ_ATTRIBUTES) for the
// uninstaller, trusting SYSTEM, Administrators, TrustedInstaller and the
// running account; an object whose kind cannot be read is judged as a folder
// (the stricter). Unreadable when the descriptor cannot be read.
Protection JudgeHandle(HANDLE handle);
// The same by path; Unreadable when it cannot be opened, Link for a link.
Protection JudgePath(const char* path);

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

// true when ordinary users may change the folder (GrantsOrdinaryUsersWrite),
// and also when it cannot be opened, is a link or its descriptor cannot be
// read: in doubt, protect.
bool FolderNeedsProtection(const char* path);

// true when the file or folder is owned by SYSTEM, Administrators,
// TrustedInstaller or the running account: a log folder that already exists
// with another owner is not used. false for a link or what cannot be read.
bool OwnerIsTrusted(const char* path);

} // namespace sys
