// The installation: unpacks the payload into the chosen folder, registers the
// uninstall entry, places what the manifest names, creates the shortcuts and
// writes the install log. It knows no window: it tells its progress and asks
// its questions through the sink its caller gives it, always on the thread
// that called it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config/SetupRecord.h"
#include "install/ProductVersion.h"

namespace install {

enum class Phase : uint8_t {
    Unpacking, // the payload into the base folder
    Registering, // the uninstall entry
    Placing, // the manifest's entries
    Shortcuts,
    Log, // the install log
    Done,
};

struct Progress {
    Phase phase = Phase::Unpacking;
    uint64_t done = 0; // bytes unpacked, or entries placed
    uint64_t total = 0;
    std::string item; // the file or entry at hand (ANSI), or empty
};

enum class InstallStep : uint8_t {
    None,
    Paths, // a path formed from the folder text and the product does not fit
    Payload, // the payload could not be read or placed whole
    DiskFull, // the volume filled while the payload was placed
};

// Why the setup failed, for the user and for logs.
struct InstallFailure {
    InstallStep step = InstallStep::None;
    std::string detail; // one English line
    // Files that existed before and were overwritten before the failure was
    // found: their old content is gone.
    std::vector<std::string> overwritten;
    uint32_t error = 0; // the Win32 error behind it, 0 when none
    std::string path; // the file or folder it concerns, or empty
};

// A manifest entry that could not be placed, and why.
struct CopyFailure {
    std::string target; // the entry's target path, or the refused line
    // The file or folder that failed (inside a folder's tree for a folder
    // entry), with its Win32 error; empty and 0 for a refused line.
    std::string path;
    uint32_t error = 0;
};

// Every member may be left empty: a missing question takes its default answer.
struct InstallSink {
    std::function<void(const Progress&)> progress;
    // A manifest entry could not be placed, also when a folder entry lost a
    // file. The installation goes on.
    std::function<void(const CopyFailure& failure)> copyFailed;
    // The setup failed before anything was registered (nothing of the
    // payload is left). True when the setup ends here (the default), false
    // when the user stays to try again.
    std::function<bool(const InstallFailure& failure)> setupFailed;
    // Handles the window messages that have arrived; called while the engine
    // waits.
    std::function<void()> pump;
    // A pause after each manifest entry and after the log, so that a person
    // sees the installation work; the wizard waits there while its windows
    // answer. Left empty (a silent installation), nothing waits.
    std::function<void(uint32_t milliseconds)> pause;
    // A file, folder or shortcut placed (ANSI path), and what else was done
    // (one English line): for logs.
    std::function<void(const std::string& path)> placed;
    std::function<void(const std::string& text)> note;
    // A step that failed while the installation went on (the install log
    // could not hold every line, or could not be written), with its cause in
    // one English line: for logs.
    std::function<void(const std::string& detail)> stepFailed;
};

struct InstallRequest {
    std::string folderText; // as typed: the base folder
    bool desktopShortcut = false;
    bool startMenuEntry = false;
    std::string programDir; // the folder of the program and its payload
    // The product's values; the installation fills in BaseFolder and the two
    // choices.
    SetupRecord& record;
};

struct InstallOutcome {
    bool succeeded = false;
    InstallFailure failure;
    bool ending = false; // the failure's answer: the setup ends
    uint64_t payloadSize = 0; // the bytes the payload's files take
};

InstallOutcome RunInstallation(const InstallRequest& request, const InstallSink& sink);

// The exit code of a failed setup: 112 (ERROR_DISK_FULL) when the volume
// filled, else 1603.
uint32_t FailureExitCode(const InstallFailure& failure);

// The base folder proposed when none is given: "C:\Program Files" whenever it
// exists, else the folder the shell names so, else "C:\". out holds
// sys::kPathSize bytes.
void DefaultBaseFolder(char* out);

// The product as this machine has it: installed when its uninstall entry (in
// the registry view of this build) names an install folder that holds the
// install log; an entry whose folder is gone counts as none.
InstalledProduct FindInstalledProduct(const SetupRecord& record);

// True when the folder text (a base folder, as typed) gives the install folder
// the product has.
bool IsInstalledFolder(const SetupRecord& record, const char* folderText, const InstalledProduct& installed);

} // namespace install
