// One installation, upgrade, repair or uninstallation as a transaction: after
// a cut at any point (power, a kill, a tool's timeout) the next run leaves
// exactly the version before it or exactly the one it was making. Portable:
// every change goes through a Storage (Storage.h).
//
// Before anything changes, a pointer under the product's registry key names
// the journal (Journal.h) in the transaction's own hidden folder in the
// install folder; each phase announces what it will change in a record that
// is flushed before it begins. Files an installation replaces, and the
// earlier version's files it lacks, are renamed into that folder (copied,
// when they lie on another volume), so that a set-aside path is never longer
// than the install folder's own paths allow.
//
// The commit is one step. An installation writes the uninstall entry (its
// old values are in the journal) and flushes the registry, writes the new
// log beside the old one, flushes it, announces the commit with the new log's
// digest, and renames it over the old one: the log in place names the
// version that is installed. An uninstallation announces what it will
// remove and renames the log away; everything after that is carried forward
// by whoever finds the journal. Before the commit, recovery puts back every
// replaced file, removes every new one and restores the entry's values;
// after it, recovery finishes the run.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "install/Journal.h"
#include "install/Storage.h"

namespace install {

// Something a transaction had to leave, and why.
struct TxLeft {
    std::string path;
    uint32_t error = 0;
};

// What became of one removal after an uninstallation's commit.
enum class RemovalResult : uint8_t {
    Removed,
    Gone, // nothing there (or held, and renamed away to go at the restart)
    Scheduled, // held where it is: it, or the folder holding it, goes at the restart
    Left, // could not be removed (TxLeft has the error)
};

class Transaction {
public:
    Transaction(const Storage& storage, Scope scope, std::string product);

    struct Start {
        TxKind kind = TxKind::Install;
        std::string installFolder;
        std::string logPath; // an uninstallation's (an installation's comes with its commit)
        std::string entryKey;
        // Folders that do not exist yet and hold the install folder, parents
        // first, the install folder last: made before the journal can be.
        std::vector<std::string> foldersToMake;
        // An uninstallation: the folders that go at its end when empty
        // (deepest first), the install folder last.
        std::vector<std::string> removeAtEnd;
    };
    // The pointer, the folders, the transaction's folder and the journal
    // with the entry's values as they are now.
    uint32_t Begin(const Start& start);
    const std::string& Folder() const { return journal_.txFolder; }
    const install::Storage& UsedStorage() const { return storage_; }
    const Journal& Record() const { return journal_; }

    // ---- An installation, before its commit

    // Renames (or copies) each file out of the way; errors per path, in
    // order, and the count of failures. A failed one stays where it is.
    // wholeFolders: a folder below the install folder that holds nothing
    // but such files (and such folders) goes with one rename, and is
    // missing afterwards: the caller makes it again.
    int SetAside(const std::vector<std::string>& paths, std::vector<uint32_t>& errors, bool wholeFolders = false);
    // Files about to be written where nothing was, and folders about to be
    // made (parents first).
    uint32_t IntendCreate(const std::vector<std::string>& files, const std::vector<std::string>& folders);
    // A fresh name in the transaction's folder (a held file's new version).
    std::string FreshName();
    // Renames from fresh names over held files when Windows restarts (the
    // machine's installations only).
    uint32_t ReplaceAtRestart(const std::vector<PendingRename>& renames, std::string& failed);
    uint32_t WriteEntry(const std::vector<RegistryValue>& set, const std::vector<std::string>& remove);
    // The commit: `log` becomes the install log at `logPath`. `removeIfEmpty`:
    // folders that go after it when empty (the earlier version's), deepest
    // first.
    uint32_t Commit(const std::string& log, const std::string& logPath, const std::vector<std::string>& removeIfEmpty);

    // ---- An uninstallation

    // Announces the removals (in order) and renames the log away.
    uint32_t CommitRemoval(const std::vector<RemovalRecord>& removals, bool removeEntry);
    // The uninstall entry, when the commit said so.
    uint32_t RemoveEntry();
    // Held files (the machine's only): renamed into the transaction's folder
    // and deleted when Windows restarts; one held without delete sharing is
    // deleted at the restart where it is. Those that cannot be are left.
    void ScheduleHeld(const std::vector<std::string>& files, std::vector<TxLeft>& left);
    // The next `count` removals, with what became of each.
    void Remove(std::size_t count, std::vector<RemovalResult>& results, std::vector<TxLeft>& left);

    // ---- Either way

    // Before the commit: everything back as it was.
    void RollBack(std::vector<TxLeft>& left);
    // After it: what was set aside goes, and the transaction's traces.
    void Finish(std::vector<TxLeft>& left);

    bool Committed() const { return committed_; }
    // Windows deletes the path when it restarts.
    bool GoesAtRestart(const std::string& path) const;
    // What the journal cost: its records (each flushed) and their bytes.
    int Records() const { return records_; }
    uint64_t JournalBytes() const { return journalBytes_; }
    // What a recovery goes by: the commit was announced and the log in place
    // is the new one (an installation's), or gone (an uninstallation's).
    bool IsCommitted() const;

    // For recovery: a transaction picked up from its journal.
    Transaction(const Storage& storage, Journal journal, JournalPointer pointer);

private:
    uint32_t Append(const std::string& record);
    std::vector<std::string> WholeFolders(const std::vector<std::string>& paths) const;
    uint32_t RemoveEverything(std::vector<TxLeft>& left);
    void RemoveTraces(std::vector<TxLeft>& left);
    void RestoreEntry(std::vector<TxLeft>& left);

    const Storage& storage_;
    Journal journal_;
    JournalPointer pointer_;
    uint32_t nextName_ = 0;
    std::size_t removed_ = 0; // removals done
    std::vector<std::string> heldInPlace_; // to be deleted at the restart under their own names
    bool begun_ = false;
    bool committed_ = false;
    int records_ = 0;
    uint64_t journalBytes_ = 0;
};

// ---- Recovery

enum class Recovered : uint8_t {
    Nothing, // no run was left unfinished
    RolledBack, // a run cut before its commit: the version before it is back
    Finished, // a run cut after its commit: finished
    Cleared, // only its pointer and empty folders were left
    NotFollowed, // a journal damaged or others could change: left as it is
};

struct Recovery {
    Recovered outcome = Recovered::Nothing;
    TxKind kind = TxKind::Install;
    std::string journalPath;
    std::string why; // NotFollowed: one English line
    std::vector<TxLeft> left;
};

// Finds the product's unfinished run in the scope and finishes or undoes
// it. `trusted` judges the journal's file and folder: only administrators
// (the machine's) or the user (the user's own) may change them.
Recovery Recover(const Storage& storage, Scope scope, const std::string& product,
    const std::function<bool(const std::string& journal)>& trusted);

// A run of the product in the scope was left unfinished.
bool HasUnfinished(const Storage& storage, Scope scope, const std::string& product);

// ---- Restart operations

struct RestartCheck {
    std::vector<std::string> settled; // this product's earlier ones, removed
    // Operations that block the run until Windows restarts: this product's
    // that could not be settled, another program's on a target.
    std::vector<PendingRename> blocking;
};

// Before an installation or uninstallation writes: the pending renames whose
// source lies in a transaction folder of the install folder are this
// product's own and are settled by removing their source; any other one
// whose source or target is one of `targets` blocks the run.
RestartCheck CheckPendingRenames(const Storage& storage, const std::string& installFolder,
    const std::vector<std::string>& targets, const sys::CodePage& codePage);

// True when `path` is a transaction folder of the install folder, or lies in one.
bool InTransactionFolder(const std::string& path, const std::string& installFolder, const sys::CodePage& codePage);

} // namespace install
