// What the uninstaller makes of the install log "instdir.dat": the log read
// back into its lines, every path made absolute and canonical, and each line
// judged before anything is deleted. Portable: no Win32; the folders of the
// machine come from the caller.
//
// The log is untrusted input. A log that is not what the setup program writes
// is refused as a whole; a line that would reach beyond what the installation
// placed is refused on its own and reported.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "sys/PathWalk.h"

namespace install {

// ---- Reading the log ----------------------------------------------------

enum class LogProblem {
    None,
    Empty, // no bytes at all
    TooLarge, // more than the setup program ever writes
    NoLineEnd, // the text does not end with CR LF
    ControlByte, // a byte below 0x20 that is not part of a CR LF
    EmptyLine,
    LineTooLong, // a line longer than any the setup program writes (523 bytes)
    TooFewLines, // not even the first and the last line
    FirstLine, // not the product's first component and a backslash
    LastLine, // not a folder ending in a backslash
};

struct LogLine {
    std::string path; // without the folder's trailing backslash and the CR LF
    bool folder = false;
};

struct UninstallLog {
    std::string firstComponent;
    std::string installFolder; // as recorded, without the trailing backslash
    std::vector<LogLine> lines; // the entries and shortcuts, in log order
};

// Reads the plain text of the log (size bytes). firstComponent is the
// program's own; the log's first line must name it.
LogProblem ReadUninstallLog(const char* text, std::size_t size, std::string_view firstComponent, UninstallLog& log);

// ---- Paths ---------------------------------------------------------------

enum class PathProblem {
    None,
    Empty,
    NoBase, // relative, and there is no absolute folder to resolve it against
    DevicePath, // \\?\, \\.\ or a drive-relative C:name
    ClimbsAboveRoot, // a ".." above the drive or share root
    BadName, // a name Windows would alter or refuse (see CheckName)
};

// The absolute path that `path` names, resolved as Windows resolves it with
// `base` as the current directory: "\" and "/" separate (a Shift-JIS trail
// byte 0x5C does not), "." and empty components drop out, ".." climbs one
// folder. The result is root "\" components joined by "\", where the root is
// "C:" or "\\server\share"; a root alone ends in its backslash ("C:\").
// base must itself be such a result when path is not absolute.
PathProblem CanonicalPath(
    std::string_view path, std::string_view base, const sys::CodePage& codePage, std::string& out);

// Comparisons of canonical paths, by the one rule of the same path
// (sys/PathWalk.h).
bool SamePath(std::string_view a, std::string_view b, const sys::CodePage& codePage);
// inner lies strictly below outer.
bool IsBelow(std::string_view inner, std::string_view outer, const sys::CodePage& codePage);
// A drive root or a share root.
bool IsRoot(std::string_view path, const sys::CodePage& codePage);
// The parent of a canonical path that is no root.
std::string ParentOf(std::string_view path, const sys::CodePage& codePage);

// ---- Judging the lines ---------------------------------------------------

// The machine's folders that bound what may be deleted, all canonical.
struct UninstallPlaces {
    std::string installFolder;
    // The folders a manifest entry may name (desktop, documents): lines may
    // lie below them, never be them.
    std::vector<std::string> areas;
    // The same, but only file lines are taken below them (the Windows
    // folder: a folder line there could name one of the system's own).
    std::vector<std::string> fileOnlyAreas;
    // The shortcut files the setup program creates, allowed as file lines.
    std::vector<std::string> shortcuts;
    // Folders that are never deleted, nor any folder that holds one.
    std::vector<std::string> protectedFolders;
    // Protected, and nothing below them is deleted either (the system's
    // files, which other programs share).
    std::vector<std::string> sealedFolders;
    // Only lines below the install folder are honoured: the log, or the
    // uninstaller, could have been changed by someone other than an
    // administrator.
    bool installFolderOnly = false;
};

enum class Refusal {
    None,
    BadPath, // cannot be resolved (see PathProblem)
    ClimbsAboveRoot,
    Protected, // a root, a folder of the system or the user, one holding it, or inside a sealed one
    Outside, // neither below the install folder nor below an area
    Unprotected, // outside the install folder, named by a log or program anyone could change
};

struct PlannedLine {
    std::string text; // as the log has it
    std::string path; // canonical; empty when refused as BadPath or ClimbsAboveRoot
    bool folder = false;
    Refusal refusal = Refusal::None;
};

// True when the folder may be the install folder: no root, not protected and
// holding nothing protected.
bool InstallFolderAllowed(std::string_view folder, const UninstallPlaces& places, const sys::CodePage& codePage);

// True when the recorded install folder (absolute, or relative to the folder
// the setup program started in) names `actual`, the canonical folder the
// uninstaller runs from.
bool RecordedFolderMatches(std::string_view recorded, std::string_view actual, const sys::CodePage& codePage);

// Judges one line; relative lines are resolved against the staging folder.
PlannedLine PlanLine(
    const LogLine& line, std::string_view stagingFolder, const UninstallPlaces& places, const sys::CodePage& codePage);

// The log's lines in the order they are removed: the reverse of the log.
std::vector<PlannedLine> PlanUninstall(const UninstallLog& log, std::string_view stagingFolder,
    const UninstallPlaces& places, const sys::CodePage& codePage);

// ---- Over an earlier installation -----------------------------------------

// What a new installation placed, asked by canonical path: nothing, that
// file or folder itself, or a folder that holds some of it.
enum class Placed { Nothing, Itself, Below };

class PlacedPaths {
public:
    explicit PlacedPaths(const sys::CodePage& codePage)
        : codePage_(codePage)
    {
    }
    void Add(std::string_view path);
    void Remove(std::string_view path);
    Placed Of(std::string_view path) const;

private:
    sys::CodePage codePage_;
    std::set<std::string> keys_;
};

enum class StaleAction {
    Keep, // the new installation placed it (or a refused line it placed again)
    Remove, // the new installation has nothing of it: it goes as an uninstallation removes it
    Prune, // a folder line the new installation placed into: only what it did not place goes
    Refused, // judged as an uninstallation judges it, and not taken
};

// What becomes of an earlier log's line after a new installation.
StaleAction JudgeStaleLine(const PlannedLine& line, const PlacedPaths& placed);

} // namespace install
