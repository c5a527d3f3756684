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

    // Files a program holds, to be deleted when Windows restarts: the
    // removal reports them, and the folders that keep them, as scheduled.
    void DeleteAtRestart(const std::vector<std::string>& files);

    // Removes, in this order: the log's lines from the last to the first, the
    // log file, the log folder and the empty folders above it up to the
    // install folder, and the uninstall entry. `step` is called after each
    // line (to keep the window painted).
    void RemoveInstalled(Outcome& outcome, const std::function<void()>& step);
    // After an installation over this one, in the same folder: removes what
    // the log names that the new installation did not place, by the same
    // judgement as an uninstallation (a refused line stays and is reported);
    // inside a folder line the new one also placed, only what it did not.
    void RemoveStale(const install::PlacedPaths& placed, Outcome& outcome);

    // Then the program file and the install folder when it is empty; when the
    // program file is still running (`programRunning`), both are left to be
    // deleted at the next restart.
    void RemoveProgram(bool programRunning, Outcome& outcome);

private:
    enum class Entry { None, Ours, Other };
    void FindUninstallEntry();
    Entry EntryUnder(install::Scope scope, const char* key) const;
    void RemoveLine(const install::PlannedLine& line, Outcome& outcome);
    // The folder's files and folders that `placed` does not hold.
    void Prune(const std::string& folder, const install::PlacedPaths& placed, Outcome& outcome);
    // A file of the installation's own that the log does not list (the log,
    // the program): counted when removed, reported when it stays. One that
    // is denied is tried again, `attempts` times in all, a tenth of a second
    // apart.
    void RemoveOwnFile(const std::string& path, Outcome& outcome, int attempts = 1);
    void RemoveEmptyFolder(const std::string& folder, Outcome& outcome);
    void RemoveUninstallEntry(Outcome& outcome);
    bool ReachedThroughLink(const std::string& path) const;
    State ReadLog(const std::string& path, std::string& text);

    SetupRecord record_;
    std::string programPath_; // canonical
    std::string logFolder_; // canonical; empty when it lies outside the install folder
    install::UninstallLog log_;
    install::UninstallPlaces places_;
    std::vector<install::PlannedLine> plan_;
    Entry entry_ = Entry::None;
    install::Scope entryScope_ = install::Scope::Machine;
    Trust trust_;
    std::vector<std::uint8_t> logDescriptor_; // the log's owner and DACL, as read with it
    bool logIsLink_ = false;
    std::vector<std::string> atRestart_; // canonical
    bool HoldsScheduled(const std::string& path, bool folder) const;
};
