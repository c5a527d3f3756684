// The folder the uninstaller's temporary copy runs from. For the machine's
// uninstallation the copy runs with administrator rights, so that nothing
// of it may lie where anyone else could write: the elevated uninstaller
// makes the folder itself, in the Windows folder's Temp (its path from the
// system, never from the environment), under a random name, with an explicit
// list (owner Administrators; full control for SYSTEM and Administrators,
// nothing for anyone else), judges it and its parent by their descriptors
// (RemovalPlaceIsSafe), keeps it open so that nobody renames it, and writes
// the program's bytes into it through a handle. For the user's own
// uninstallation, which has no rights the user lacks, the same in the user's
// temporary folder with a profile's list. The copy removes it when it ends.
#pragma once

#include <string>

#include "sys/Handle.h"
#include "sys/SecurityRules.h"

namespace sys {

class RemovalPlace {
public:
    // Makes the folder and writes `program` (this program's file, read
    // without letting anybody write it meanwhile) into it as uninstall.exe.
    // false, leaving nothing behind, when any step fails or the place is not
    // safe; Why() then says what.
    bool Make(const std::wstring& program, TrustScope scope);
    const std::wstring& Folder() const { return folder_; }
    const std::wstring& Program() const { return program_; }
    const std::wstring& Why() const { return why_; }
    // Removes what Make made (the copy did not start).
    void Remove();

private:
    bool Fail(const std::wstring& why);

    std::wstring folder_;
    std::wstring program_;
    std::wstring why_;
    UniqueFile open_; // the folder, without delete sharing: nobody renames it while this program runs
};

// In the copy, at its very end: its own file leaves its folder for the folder
// above, renamed through `ownFile`, the delete-on-close handle to it that the
// copy inherited (which deletes it there when the copy ends), then the folder
// goes. What cannot go is removed at the next restart. A line for the log.
std::wstring LeaveRemovalPlace(HANDLE ownFile);

} // namespace sys
