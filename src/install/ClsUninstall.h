// The uninstaller's work: finds and reads the install log of the folder it
// runs from, judges every line against the machine's folders, and removes
// what the installation placed, reporting what stays and why.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config/SetupRecord.h"
#include "install/UninstallPlan.h"

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
    };

    struct Outcome {
        int files = 0;
        int folders = 0;
        int shortcuts = 0;
        bool keyRemoved = false;
        std::vector<Remaining> remaining;
    };

    // Loads the product's configuration, finds the log that belongs to the
    // install folder holding `programPath` (the uninstaller's own file there),
    // reads and judges it. Nothing is changed.
    State Prepare(const char* programPath);

    const SetupRecord& Record() const { return record_; }

    // Removes, in this order: the log's lines from the last to the first, the
    // log file, the log folder and the empty folders above it up to the
    // install folder, the program file, the install folder when it is empty,
    // and the uninstall entry. `step` is called after each line (to keep the
    // window painted). When the program file is still running (`programRunning`),
    // it and the install folder are left to be deleted at the next restart.
    Outcome Remove(bool programRunning, const std::function<void()>& step);

private:
    enum class Entry { None, Ours, Other };
    Entry FindUninstallEntry() const;
    void RemoveLine(const install::PlannedLine& line, Outcome& outcome);
    // A file of the installation's own that the log does not list (the log,
    // the program): counted when removed, reported when it stays.
    void RemoveOwnFile(const std::string& path, Outcome& outcome);
    void RemoveEmptyFolder(const std::string& folder, Outcome& outcome);
    void RemoveUninstallEntry(Outcome& outcome);
    bool ReachedThroughLink(const std::string& path) const;

    SetupRecord record_;
    std::string programPath_; // canonical
    std::string logFolder_; // canonical; empty when it lies outside the install folder
    install::UninstallLog log_;
    install::UninstallPlaces places_;
    std::vector<install::PlannedLine> plan_;
    Entry entry_ = Entry::None;
};
