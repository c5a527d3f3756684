// The journal of a transaction (Transaction.h): what a run is about to change,
// written as records appended to one file, each flushed before the change it
// announces. A record cut short by the end of the process (its length or its
// checksum does not hold) ends the journal: what it announced never began.
// Portable: no Win32.
//
//   file    := "YNBJ" version(u32) record*
//   record  := length(u32) type(u8) body checksum(8 bytes: SHA-256 of type and body)
//   string  := length(u32) bytes;  list := count(u32) item*
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "install/Scope.h"
#include "install/Storage.h"

namespace install {

enum class TxKind : uint8_t {
    Install = 1, // a first installation, an upgrade, a repair
    Uninstall = 2,
};

// A file put out of the way of a new one, or out of a new version that lacks
// it: renamed into the transaction's folder, or copied there when it lies on
// another volume (through a name of its own, so that a file under the
// set-aside name is always whole).
struct SetAsideRecord {
    std::string path;
    std::string aside; // in the transaction's folder
    bool operator==(const SetAsideRecord&) const = default;
};

// What an uninstallation removes once it has committed.
struct RemovalRecord {
    std::string path;
    bool folder = false; // the folder with everything in it
    bool operator==(const RemovalRecord&) const = default;
};

struct Journal {
    // Begin
    TxKind kind = TxKind::Install;
    Scope scope = Scope::Machine;
    std::string product; // the product's first folder component
    std::string installFolder;
    std::string txFolder; // the transaction's own folder, in the install folder
    std::string logPath; // instdir.dat (an installation's comes with the commit)
    // The new log before the commit (installation), the log's name after it
    // (uninstallation).
    std::string sideLogPath;
    std::string entryKey; // the uninstall entry, below the scope's root
    RegistryKey entryBefore;
    // Announced changes, in the order announced.
    std::vector<SetAsideRecord> asides;
    std::vector<std::string> createdFiles; // files that were not there
    std::vector<std::string> madeFolders; // parents first
    std::vector<PendingRename> restarts; // registered for the restart
    // The commit: announced, with what follows it.
    bool commitAnnounced = false;
    std::string logDigest; // SHA-256 of the new log (installation)
    bool removeEntry = false; // the entry goes (uninstallation)
    std::vector<RemovalRecord> removals; // (uninstallation)
    std::vector<std::string> removeIfEmpty; // folders, deepest first

    bool operator==(const Journal&) const = default;
};

// The records, each ready to append; the first comes with the file's header.
std::string JournalBeginRecord(const Journal& journal);
std::string JournalSetAsideRecord(const std::vector<SetAsideRecord>& asides);
std::string JournalCreateRecord(const std::vector<std::string>& files, const std::vector<std::string>& folders);
std::string JournalRestartRecord(const std::vector<PendingRename>& restarts);
std::string JournalCommitRecord(const Journal& journal);

enum class JournalProblem : uint8_t {
    None,
    NoBegin, // no whole first record: the run never began
    Damaged, // a record whose checksum holds but whose content does not parse
};

// Reads the records that are whole; a torn or missing tail is no problem.
JournalProblem ReadJournal(const std::string& bytes, Journal& journal);

// Where the journal of an unfinished run lies, kept in the registry (a
// value under the product's key of the scope) before anything is changed:
// the journal's path, and the folders to remove when they are empty should
// the journal be gone (made before it, or left after it).
struct JournalPointer {
    std::string journalPath;
    std::vector<std::string> removeIfEmpty; // deepest first
    bool operator==(const JournalPointer&) const = default;
};

std::string EncodePointer(const JournalPointer& pointer);
bool DecodePointer(const std::string& bytes, JournalPointer& pointer);

// The registry key and value of a product's pointer.
std::string PointerKey(const std::string& product);
inline constexpr char kPointerValue[] = "Journal";
// The registry key that holds every product's pointer key.
inline constexpr char kPointerParent[] = "Software\\ynbsetup";

} // namespace install
