// The uninstaller's work: finds and reads the install log of the folder it
// runs from, judges every line against the machine's folders, and removes
// what the installation placed, reporting what stays and why.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config/SetupRecord.h"
#include "install/Scope.h"
#include "install/Transaction.h"
#include "install/UninstallPlan.h"
#include "sys/SecurityRules.h"

class ClsUninstall {
public:
    enum class State {
        Ready,
        NotInstalled, // no log where the installation writes it
        Unreadable, // the log exists but cannot be read
        Damaged, // the log is not a log of this product
        WrongFolder, // the log names another install folder, or one that may not be removed
    };

    enum class Reason {
        Refused, // see Remaining::refusal
        InUse, // open in a program, or not ours to delete
        NotEmpty, // the user's files are in it
        Link, // reached through a junction or symbolic link
        Scheduled, // deleted when Windows restarts
        Failed,
    };

    struct Remaining {
        std::string path;
        Reason reason = Reason::Failed;
        install::Refusal refusal = install::Refusal::None;
        uint32_t error = 0; // the Win32 error that kept it, 0 when none (a refusal, a link)
    };

    struct Outcome {
        int files = 0;
        int folders = 0;
        int shortcuts = 0;
        bool keyRemoved = false;
        std::vector<std::string> removed; // in the order they went
        std::vector<Remaining> remaining;
        // Something failed to go (in use, no permission), or waits for the
        // restart: the exit codes 1603 and 3010.
        bool Failed() const;
        bool Scheduled() const;
    };

    // Who may change the log and the uninstaller, judged in Prepare: when
    // either is not protected, only lines below the install folder are taken.
    struct Trust {
        sys::Protection log = sys::Protection::Protected;
        sys::Protection logFolder = sys::Protection::Protected;
        sys::Protection program = sys::Protection::Protected;
        bool Trusted() const;
    };

    // Loads the product's configuration, finds the log that belongs to the
    // install folder holding `programPath` (the uninstaller's own file there),
    // reads and judges it. Nothing is changed.
    State Prepare(const char* programPath);

    const SetupRecord& Record() const { return record_; }
    const Trust& LogTrust() const { return trust_; }
    // The user's own installation: its entry under HKEY_CURRENT_USER names
    // this uninstaller (found in Prepare). Else the machine's.
    bool UserEntry() const { return entryScope_ == install::Scope::User; }

    // The files the removal will delete: the file lines that are taken, and
    // the files in the trees of the folder lines.
    std::vector<std::string> FilesToRemove() const;

    // The removal as a transaction carries it out (install/Transaction.h):
    // begun, committed with everything that goes (the log's lines from the
    // last to the first, the log away, the log folder and the empty folders
    // above it up to the install folder, the uninstall entry, the program,
    // the install folder), then the entry, the `held` files (the machine's
    // go at the restart), and every line. `step` is called after each line
    // (to keep the window painted). Unless Removing: nothing was removed.
    enum class Start {
        Removing,
        NotBegun, // the transaction could not begin or commit
        RestartFirst, // Windows has work left for its restart on a file to remove
    };
    Start RemoveInstalled(install::Transaction& tx, const std::vector<std::string>& held, Outcome& outcome,
        const std::function<void()>& step);
    // Then the program file (when it is still running, the machine's goes
    // at the restart with the install folder) and the transaction's end.
    void RemoveProgram(install::Transaction& tx, bool programRunning, Outcome& outcome);

    // After an installation over this one, in the same folder: what the log
    // names that the new installation did not place, by the same judgement as
    // an uninstallation (a refused line stays and is reported); inside a
    // folder line the new one also placed, only what it did not. Files (and
    // links) to set aside, and folders to remove once empty, deepest first.
    struct Stale {
        std::vector<std::string> files;
        std::vector<std::string> folders;
        std::vector<Remaining> kept;
    };
    void CollectStale(const install::PlacedPaths& placed, Stale& stale) const;

    const std::string& InstallFolder() const { return places_.installFolder; }
    // The log read in Prepare (canonical).
    const std::string& LogPath() const { return logPath_; }

private:
    enum class Entry { None, Ours, Other };
    // What a line's removal counts as.
    enum class Kind { File, Folder, Shortcut, Program };
    void FindUninstallEntry();
    Entry EntryUnder(install::Scope scope, const char* key) const;
    // A line as it is now: refused, missing, reached through a link, of the
    // other kind than the log says (each reported and kept), or taken.
    bool Takes(const install::PlannedLine& line, std::vector<Remaining>& kept) const;
    void CollectLine(const install::PlannedLine& line, Stale& stale) const;
    void CollectPruned(const std::string& folder, const install::PlacedPaths& placed, Stale& stale) const;
    bool ReachedThroughLink(const std::string& path) const;
    void Count(std::size_t removal, install::RemovalResult result, Outcome& outcome) const;
    void Report(const std::vector<install::TxLeft>& left, Outcome& outcome) const;
    State ReadLog(const std::string& path, std::string& text);

    SetupRecord record_;
    std::string programPath_; // canonical
    std::string logFolder_; // canonical; empty when it lies outside the install folder
    std::string logPath_;
    install::UninstallLog log_;
    install::UninstallPlaces places_;
    std::vector<install::PlannedLine> plan_;
    Entry entry_ = Entry::None;
    install::Scope entryScope_ = install::Scope::Machine;
    Trust trust_;
    // The removal the transaction carries out, and what each one counts as.
    std::vector<install::RemovalRecord> removals_;
    std::vector<Kind> kinds_;
    std::vector<std::string> removeAtEnd_;
    std::vector<std::uint8_t> logDescriptor_; // the log's owner and DACL, as read with it
    bool logIsLink_ = false;
};
