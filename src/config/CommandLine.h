// The command lines of setup.exe and uninstall.exe, and the exit codes both
// end with: those of Windows Installer, which deployment tools read without
// settings of their own. Portable: no Win32.
//
//   setup.exe     [/S [/PROGRESS]] [/NODESKTOP] [/NOSTARTMENU] [/ALLOWDOWNGRADE] [/REPAIR] [/LOG=FILE] [/D=FOLDER]
//   uninstall.exe [/S] [/LOG=FILE]
//   both          /?  (the usage)
//
// Switches start with / or -, in any case. /D= takes the rest of the line, so
// it comes last and its folder may hold blanks without quotes. /LOG= takes
// one argument, quoted when it holds blanks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace config {

constexpr uint32_t kExitSuccess = 0;
// A newer version of the product is installed and /ALLOWDOWNGRADE was not
// given; the code Chrome's installer gives for a higher version installed.
constexpr uint32_t kExitNewerInstalled = 4;
// ERROR_SHARING_VIOLATION: cancelled because programs held files the setup
// must replace.
constexpr uint32_t kExitFilesInUse = 32;
constexpr uint32_t kExitBadCommandLine = 87; // ERROR_INVALID_PARAMETER
constexpr uint32_t kExitDiskFull = 112; // ERROR_DISK_FULL: the volume filled during the installation
constexpr uint32_t kExitCancelled = 1602; // ERROR_INSTALL_USEREXIT
constexpr uint32_t kExitFailed = 1603; // ERROR_INSTALL_FAILURE
constexpr uint32_t kExitNotInstalled = 1605; // ERROR_UNKNOWN_PRODUCT
constexpr uint32_t kExitAlreadyRunning = 1618; // ERROR_INSTALL_ALREADY_RUNNING
// ERROR_PRODUCT_VERSION: the product is installed in another folder than /D=
constexpr uint32_t kExitInstalledElsewhere = 1638;
constexpr uint32_t kExitRestartNeeded = 3010; // ERROR_SUCCESS_REBOOT_REQUIRED

enum class Program : uint8_t { Setup, Uninstall };

struct CommandLine {
    bool help = false; // /?
    bool silent = false; // /S: no window, no question
    bool progress = false; // /PROGRESS: with /S, the progress window alone
    bool noDesktop = false; // /NODESKTOP
    bool noStartMenu = false; // /NOSTARTMENU
    bool allowDowngrade = false; // /ALLOWDOWNGRADE: an older version may replace a newer one
    bool repair = false; // /REPAIR: only the installed version, set up again
    bool closeApplications = false; // /CLOSEAPPLICATIONS: programs holding files are asked to close
    bool hasFolder = false; // /D= given
    std::wstring folder; // /D=
    std::wstring log; // /LOG=, empty when none
};

enum class CommandLineProblem : uint8_t {
    None,
    NotASwitch, // an argument that does not start with / or -
    Unknown, // a switch this program does not know
    MissingValue, // /LOG= or /D= with nothing after it
    Repeated, // a switch given twice
};

struct CommandLineResult {
    CommandLineProblem problem = CommandLineProblem::None;
    std::wstring argument; // the argument at fault
};

// Parses the whole command line as the system gives it (GetCommandLineW),
// the program's own name first: quoted, or up to the first blank.
CommandLineResult ParseCommandLine(std::wstring_view line, Program program, CommandLine& out);

// A short Japanese text of the problem, for the message and the log.
const wchar_t* CommandLineProblemText(CommandLineProblem problem);

} // namespace config
