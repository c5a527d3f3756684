// The command lines of setup.exe and uninstall.exe, and the exit codes both
// end with: those of Windows Installer, which deployment tools read without
// settings of their own. Portable: no Win32.
//
//   setup.exe     [/S [/PROGRESS]] [/CURRENTUSER | /ALLUSERS] [/NODESKTOP] [/NOSTARTMENU] [/ALLOWDOWNGRADE]
//                 [/REPAIR] [/CLOSEAPPLICATIONS] [/LOG=FILE] [/D=FOLDER]
//   uninstall.exe [/S] [/CLOSEAPPLICATIONS] [/LOG=FILE]
//   both          /?  (the usage); /ELEVATED and /LOGPIPE=NAME, which a program
//                 gives the copy of itself it starts with administrator rights
//                 (NAME: the pipe the copy writes its log lines into)
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
// ERROR_FAIL_NOACTION_REBOOT: nothing was done, Windows must restart first
// (it has work left on the product's files from an earlier run, or
// another program's).
constexpr uint32_t kExitRestartFirst = 350;
// ERROR_ALREADY_EXISTS: the product is installed in the other scope (for the
// machine, and set up for the current user, or the other way round).
constexpr uint32_t kExitOtherScope = 183;

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
    bool currentUser = false; // /CURRENTUSER: installed for the user running it alone
    bool allUsers = false; // /ALLUSERS: installed for every user of the machine
    bool elevated = false; // /ELEVATED: the copy started with administrator rights, which never asks again
    bool hasFolder = false; // /D= given
    std::wstring folder; // /D=
    std::wstring log; // /LOG=, empty when none
    std::wstring logPipe; // /LOGPIPE=, empty when none
};

enum class CommandLineProblem : uint8_t {
    None,
    NotASwitch, // an argument that does not start with / or -
    Unknown, // a switch this program does not know
    MissingValue, // /LOG= or /D= with nothing after it
    Repeated, // a switch given twice
    Conflicting, // /CURRENTUSER with /ALLUSERS
};

struct CommandLineResult {
    CommandLineProblem problem = CommandLineProblem::None;
    std::wstring argument; // the argument at fault
};

// Parses the whole command line as the system gives it (GetCommandLineW),
// the program's own name first: quoted, or up to the first blank.
CommandLineResult ParseCommandLine(std::wstring_view line, Program program, CommandLine& out);

// The switches of the copy a program starts with administrator rights: the
// choices of `options` with /ELEVATED first (setup.exe's also with
// /ALLUSERS, the scope it is started for), /LOGPIPE= naming `logPipe` (or
// nothing when empty) instead of /LOG= (the copy never opens the caller's
// log file), and /D= last, quoted. Parsed again, they give `options` back
// with those changes.
std::wstring ElevatedArguments(const CommandLine& options, Program program, const std::wstring& logPipe);

// A short Japanese text of the problem, for the message and the log.
const wchar_t* CommandLineProblemText(CommandLineProblem problem);

} // namespace config
