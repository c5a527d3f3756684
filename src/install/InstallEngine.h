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
#include "install/FilesInUse.h"
#include "install/InstallPlan.h"
#include "install/ProductVersion.h"

namespace install {

enum class Phase : uint8_t {
    Checking, // an upgrade's or repair's installed files, against the new version's
    Unpacking, // the payload into the base folder
    Registering, // the uninstall entry
    Placing, // the manifest's entries
    Shortcuts,
    Log, // the install log
    Done,
};

struct Progress {
    Phase phase = Phase::Unpacking;
    // Bytes checked and written of all the installation's: the installed
    // files hashed, the extraction's and the copies' writes (Placing tells
    // them as each entry begins).
    uint64_t done = 0;
    uint64_t total = 0;
    std::string item; // the file or entry at hand (ANSI), or empty
};

enum class InstallStep : uint8_t {
    None,
    Paths, // a path formed from the folder text and the product does not fit
    Payload, // the payload could not be read or placed whole
    DiskFull, // the volume filled while the payload was placed
    Space, // a volume has less free space than the installation needs
    InUse, // a file of the installed version could not be set aside to be replaced
    FilesInUse, // programs held files to replace, and the user cancelled
    Scope, // the user's own installation would write into the Windows folder
    Transaction, // the installation's journal could not be begun or written
    Entry, // the uninstall entry could not be written
    Log, // the install log could not be written or put in place
    Restart, // a held file's new version could not be left for the restart
    RestartPending, // Windows must restart first: it has work left on the installation's files
    // A machine's installation would write into or through a folder (or over
    // a file) that others than the administrators could change: `path`
    Unprotected,
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
    // Too little space: the volume ("C:\"), the bytes needed and free.
    std::string volume;
    uint64_t needed = 0;
    uint64_t available = 0;
};

// Every member may be left empty: a missing question takes its default answer.
struct InstallSink {
    std::function<void(const Progress&)> progress;
    // A manifest entry could not be placed, also when a folder entry lost a
    // file. The installation goes on.
    std::function<void(const CopyFailure& failure)> copyFailed;
    // The setup failed, and what it had changed is back as it was. True when
    // the setup ends here (the default), false when the user stays to try
    // again.
    std::function<bool(const InstallFailure& failure)> setupFailed;
    // Handles the window messages that have arrived; called while the engine
    // waits.
    std::function<void()> pump;
    // Programs hold files the installation must replace (the files, and the
    // programs as Restart Manager names them; closeTried: they were asked to
    // close and some still hold them). Left empty (a silent installation),
    // they are closed only with closeApplications, and what stays held is
    // replaced when Windows restarts.
    std::function<InUseAnswer(
        const std::vector<std::string>& files, const std::vector<std::wstring>& programs, bool closeTried)>
        filesInUse;
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

// The product as the installation needs it: its record, its keys and the
// texts of its uninstall entry.
struct ProductValues {
    SetupRecord record; // BaseFolder and the two choices are not read
    int32_t manifestKey = 0; // the manifest and the install log
    int32_t payloadKey = 0;
    std::vector<unsigned char> payloadDigest; // the payload's SHA-256; empty: not checked
    std::string displayVersion; // the entry's optional values, empty when absent
    std::string publisher;
    std::string urlInfoAbout;
};

// The product this program was made with.
ProductValues BuiltProduct(const SetupRecord& record);

struct InstallRequest {
    const ProductValues& product;
    std::string folderText; // as typed: the base folder
    bool desktopShortcut = false;
    bool startMenuEntry = false;
    std::string programDir; // full path: the folder of the program and its payload
    bool closeApplications = false; // silently: programs holding files are asked to close
    // For the machine: the entry under HKEY_LOCAL_MACHINE, the folders get
    // Program Files' protection. For the user alone: the entry under
    // HKEY_CURRENT_USER, nothing written into the Windows folder.
    Scope scope = Scope::Machine;
};

struct InstallOutcome {
    bool succeeded = false;
    InstallFailure failure;
    bool ending = false; // the failure's answer: the setup ends
    uint64_t payloadSize = 0; // the bytes the payload's files take
    std::string baseFolder; // the base folder installed into (the folder text without its trailing blanks)
    // Where the install log went: the log folder, or the install folder's
    // parent when it has none. The wizard makes it the current folder.
    std::string logFolder;
    InstallPlan plan; // as worked out before anything was written
    // Files held by programs, whose new version takes their place when
    // Windows restarts (exit code 3010).
    std::vector<std::string> replacedAtRestart;
    // Over an installation in the same folder: the files already in place
    // (not written again), those written, and those a repair kept because
    // the user changed them.
    int inPlace = 0;
    int written = 0;
    int kept = 0;
    bool repair = false; // the installed version was set up again
};

InstallOutcome RunInstallation(const InstallRequest& request, const InstallSink& sink);

// Bytes as megabytes with one decimal ("213.4 MB"), as messages name them.
std::string Megabytes(uint64_t bytes);

// The exit code of a failed setup: 112 (ERROR_DISK_FULL) when a volume had
// or kept too little space, 32 (ERROR_SHARING_VIOLATION) when it was cancelled
// for files in use, 350 (ERROR_FAIL_NOACTION_REBOOT) when Windows must
// restart first, else 1603.
uint32_t FailureExitCode(const InstallFailure& failure);

// The base folder proposed when none is given. For the machine: "C:\Program
// Files" whenever it exists, else the folder the shell names so, else "C:\";
// for the user alone: the user's program folder, "<local application
// data>\Programs". out holds sys::kPathSize bytes.
void DefaultBaseFolder(char* out, Scope scope = Scope::Machine);

// The product as this machine has it: installed when its uninstall entry (for
// the machine in the registry view of this build, else the user's own)
// names an install folder that holds the install log; an entry whose folder
// is gone counts as none.
InstalledProduct FindInstalledProduct(const SetupRecord& record);

// True when the folder text (a base folder, as typed) gives the install folder
// the product has.
bool IsInstalledFolder(const SetupRecord& record, const char* folderText, const InstalledProduct& installed);

} // namespace install
