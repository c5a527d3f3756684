#include "install/UninstallPlan.h"

#include <algorithm>

#include "install/InstallLog.h"
#include "install/Manifest.h"
#include "sys/PathWalk.h"

namespace install {

namespace {

// The longest line the setup program writes: a shortcut, that is a link
// folder, "\", a product name and ".lnk" (a folder's target path and its
// extra backslash take at most 520 bytes).
constexpr std::size_t kLongestLine = (kFolderCapacity - 1) + 1 + (kFolderCapacity - 1) + 4;

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

// The components of text, split at separators that are no trail bytes.
std::vector<std::string_view> SplitComponents(std::string_view text, const sys::CodePage& codePage)
{
    return sys::SplitAtSeparators(text, codePage, sys::Slashes::Separate);
}

bool ValidName(std::string_view name, const sys::CodePage& codePage)
{
    return CheckName(name.data(), name.size(), codePage) == NameFault::None;
}

struct Rooted {
    std::string root; // "C:" or "\\server\share"
    std::string_view rest; // after the root's separator
};

enum class RootKind { Absolute, RootRelative, Relative };

// Splits an absolute path into its root and the rest.
PathProblem SplitRoot(std::string_view path, const sys::CodePage& codePage, Rooted& out, RootKind& kind)
{
    if (path.empty())
        return PathProblem::Empty;
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        if (path.size() >= 3 && (path[2] == '?' || path[2] == '.') && (path.size() == 3 || IsSeparator(path[3])))
            return PathProblem::DevicePath;
        const std::vector<std::string_view> parts = SplitComponents(path.substr(2), codePage);
        if (parts.size() < 2 || !ValidName(parts[0], codePage) || !ValidName(parts[1], codePage))
            return PathProblem::BadName;
        out.root = "\\\\" + std::string(parts[0]) + "\\" + std::string(parts[1]);
        const std::size_t used = 2 + parts[0].size() + 1 + parts[1].size();
        out.rest = used < path.size() ? path.substr(used + 1) : std::string_view();
        kind = RootKind::Absolute;
        return PathProblem::None;
    }
    const char drive = sys::AsciiUpper(path[0]);
    if (path.size() >= 2 && path[1] == ':') {
        if (drive < 'A' || drive > 'Z' || path.size() == 2 || !IsSeparator(path[2]))
            return PathProblem::DevicePath; // C:name is relative to the drive's own current folder
        out.root = std::string(1, drive) + ":";
        out.rest = path.substr(3);
        kind = RootKind::Absolute;
        return PathProblem::None;
    }
    out.rest = IsSeparator(path[0]) ? path.substr(1) : path;
    kind = IsSeparator(path[0]) ? RootKind::RootRelative : RootKind::Relative;
    return PathProblem::None;
}

// A canonical path back into its root and components.
bool ParseCanonical(
    std::string_view path, const sys::CodePage& codePage, std::string& root, std::vector<std::string>& parts)
{
    Rooted rooted;
    RootKind kind;
    if (SplitRoot(path, codePage, rooted, kind) != PathProblem::None || kind != RootKind::Absolute)
        return false;
    root = rooted.root;
    parts.clear();
    if (!rooted.rest.empty())
        for (std::string_view part : SplitComponents(rooted.rest, codePage))
            parts.emplace_back(part);
    return true;
}

std::string Join(const std::string& root, const std::vector<std::string>& parts)
{
    std::string out = root + "\\";
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            out += '\\';
        out += parts[i];
    }
    return out;
}

bool SameOrHolds(std::string_view path, std::string_view folder, const sys::CodePage& codePage)
{
    return !folder.empty() && (SamePath(path, folder, codePage) || IsBelow(folder, path, codePage));
}

// Never deleted: a root, the install folder, the areas, a protected folder,
// and any folder that holds one of them.
bool IsProtected(
    std::string_view path, const UninstallPlaces& places, const sys::CodePage& codePage, bool withInstallFolder)
{
    if (IsRoot(path, codePage))
        return true;
    if (withInstallFolder && SameOrHolds(path, places.installFolder, codePage))
        return true;
    for (const std::string& folder : places.areas)
        if (SameOrHolds(path, folder, codePage))
            return true;
    for (const std::string& folder : places.fileOnlyAreas)
        if (SameOrHolds(path, folder, codePage))
            return true;
    for (const std::string& folder : places.protectedFolders)
        if (SameOrHolds(path, folder, codePage))
            return true;
    for (const std::string& folder : places.sealedFolders)
        if (SameOrHolds(path, folder, codePage) || IsBelow(path, folder, codePage))
            return true;
    return false;
}

} // namespace

LogProblem ReadUninstallLog(const char* text, std::size_t size, std::string_view firstComponent, UninstallLog& log)
{
    log = UninstallLog();
    if (text == nullptr || size == 0)
        return LogProblem::Empty;
    if (size >= kInstallLogCapacity)
        return LogProblem::TooLarge;
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20)
            continue;
        if (byte != '\r')
            return LogProblem::ControlByte;
        if (i + 1 == size)
            return LogProblem::NoLineEnd;
        if (text[i + 1] != '\n')
            return LogProblem::ControlByte;
        if (i == start)
            return LogProblem::EmptyLine;
        if (i - start > kLongestLine)
            return LogProblem::LineTooLong;
        lines.emplace_back(text + start, i - start);
        start = i + 2;
        ++i;
    }
    if (start != size)
        return LogProblem::NoLineEnd;
    if (lines.size() < 2)
        return LogProblem::TooFewLines;

    // The first component ends at the first 0x5C byte, even inside a
    // double-byte character: compared byte by byte.
    const std::string_view first = lines.front();
    if (firstComponent.empty() || firstComponent.find('\\') != std::string_view::npos
        || first.size() != firstComponent.size() + 1 || first.back() != '\\'
        || first.substr(0, firstComponent.size()) != firstComponent)
        return LogProblem::FirstLine;
    const std::string_view last = lines.back();
    if (last.size() < 2 || last.back() != '\\')
        return LogProblem::LastLine;

    log.firstComponent = std::string(firstComponent);
    log.installFolder = std::string(last.substr(0, last.size() - 1));
    for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
        // Byte-wise, as the setup program marks a folder.
        const bool folder = lines[i].back() == '\\';
        log.lines.push_back({ std::string(folder ? lines[i].substr(0, lines[i].size() - 1) : lines[i]), folder });
    }
    return LogProblem::None;
}

PathProblem CanonicalPath(std::string_view path, std::string_view base, const sys::CodePage& codePage, std::string& out)
{
    out.clear();
    Rooted rooted;
    RootKind kind;
    const PathProblem problem = SplitRoot(path, codePage, rooted, kind);
    if (problem != PathProblem::None)
        return problem;

    std::string root;
    std::vector<std::string> parts;
    if (kind != RootKind::Absolute) {
        if (base.empty() || !ParseCanonical(base, codePage, root, parts))
            return PathProblem::NoBase;
        if (kind == RootKind::RootRelative)
            parts.clear();
    } else {
        root = rooted.root;
    }
    if (!rooted.rest.empty()) {
        for (std::string_view part : SplitComponents(rooted.rest, codePage)) {
            if (part.empty() || part == ".")
                continue;
            if (part == "..") {
                if (parts.empty())
                    return PathProblem::ClimbsAboveRoot;
                parts.pop_back();
                continue;
            }
            if (!ValidName(part, codePage))
                return PathProblem::BadName;
            parts.emplace_back(part);
        }
    }
    out = Join(root, parts);
    return PathProblem::None;
}

bool SamePath(std::string_view a, std::string_view b, const sys::CodePage& codePage)
{
    return a.size() == b.size() && sys::SamePathPrefix(a, b, a.size(), codePage);
}

bool IsBelow(std::string_view inner, std::string_view outer, const sys::CodePage& codePage)
{
    if (outer.empty())
        return false;
    if (IsRoot(outer, codePage)) // ends in its separator
        return inner.size() > outer.size() && sys::SamePathPrefix(inner, outer, outer.size(), codePage);
    // Canonical paths hold no broken character, so the byte after a matching
    // prefix starts a character of its own.
    return inner.size() > outer.size() + 1 && inner[outer.size()] == '\\'
        && sys::SamePathPrefix(inner, outer, outer.size(), codePage);
}

bool IsRoot(std::string_view path, const sys::CodePage& codePage)
{
    Rooted rooted;
    RootKind kind;
    return SplitRoot(path, codePage, rooted, kind) == PathProblem::None && kind == RootKind::Absolute
        && rooted.rest.empty();
}

std::string ParentOf(std::string_view path, const sys::CodePage& codePage)
{
    std::string root;
    std::vector<std::string> parts;
    if (!ParseCanonical(path, codePage, root, parts))
        return std::string();
    if (!parts.empty())
        parts.pop_back();
    return Join(root, parts);
}

bool InstallFolderAllowed(std::string_view folder, const UninstallPlaces& places, const sys::CodePage& codePage)
{
    return !folder.empty() && !IsProtected(folder, places, codePage, false);
}

bool RecordedFolderMatches(std::string_view recorded, std::string_view actual, const sys::CodePage& codePage)
{
    std::string resolved;
    const PathProblem problem = CanonicalPath(recorded, std::string_view(), codePage, resolved);
    if (problem == PathProblem::None)
        return SamePath(resolved, actual, codePage);
    if (problem != PathProblem::NoBase)
        return false;
    // Relative to the folder the setup program started in, which is unknown:
    // one of the folders above the install folder, or the drive's root.
    std::string folder(actual);
    for (;;) {
        if (CanonicalPath(recorded, folder, codePage, resolved) == PathProblem::None
            && SamePath(resolved, actual, codePage))
            return true;
        if (IsRoot(folder, codePage))
            return false;
        folder = ParentOf(folder, codePage);
        if (folder.empty())
            return false; // `actual` is no absolute path: nothing above it to try
    }
}

PlannedLine PlanLine(
    const LogLine& line, std::string_view stagingFolder, const UninstallPlaces& places, const sys::CodePage& codePage)
{
    PlannedLine planned;
    planned.text = line.path + (line.folder ? "\\" : "");
    planned.folder = line.folder;
    const PathProblem problem = CanonicalPath(line.path, stagingFolder, codePage, planned.path);
    if (problem != PathProblem::None) {
        planned.refusal = problem == PathProblem::ClimbsAboveRoot ? Refusal::ClimbsAboveRoot : Refusal::BadPath;
        return planned;
    }
    if (IsProtected(planned.path, places, codePage, true)) {
        planned.refusal = Refusal::Protected;
        return planned;
    }
    if (IsBelow(planned.path, places.installFolder, codePage))
        return planned;
    if (places.installFolderOnly) {
        planned.refusal = Refusal::Unprotected;
        return planned;
    }
    for (const std::string& area : places.areas)
        if (IsBelow(planned.path, area, codePage))
            return planned;
    if (line.folder) {
        for (const std::string& area : places.fileOnlyAreas)
            if (IsBelow(planned.path, area, codePage)) {
                planned.refusal = Refusal::Protected;
                return planned;
            }
    } else {
        for (const std::string& area : places.fileOnlyAreas)
            if (IsBelow(planned.path, area, codePage))
                return planned;
        for (const std::string& shortcut : places.shortcuts)
            if (SamePath(planned.path, shortcut, codePage))
                return planned;
    }
    planned.refusal = Refusal::Outside;
    return planned;
}

std::vector<PlannedLine> PlanUninstall(const UninstallLog& log, std::string_view stagingFolder,
    const UninstallPlaces& places, const sys::CodePage& codePage)
{
    std::vector<PlannedLine> planned;
    planned.reserve(log.lines.size());
    for (auto line = log.lines.rbegin(); line != log.lines.rend(); ++line)
        planned.push_back(PlanLine(*line, stagingFolder, places, codePage));
    return planned;
}

void PlacedPaths::Add(std::string_view path)
{
    keys_.insert(sys::PathKey(path, codePage_));
}

void PlacedPaths::Remove(std::string_view path)
{
    keys_.erase(sys::PathKey(path, codePage_));
}

Placed PlacedPaths::Of(std::string_view path) const
{
    const std::string key = sys::PathKey(path, codePage_);
    if (keys_.count(key) != 0)
        return Placed::Itself;
    const std::string prefix = key + sys::PathKey("\\", codePage_);
    const auto below = keys_.lower_bound(prefix);
    return below != keys_.end() && below->compare(0, prefix.size(), prefix) == 0 ? Placed::Below : Placed::Nothing;
}

StaleAction JudgeStaleLine(const PlannedLine& line, const PlacedPaths& placed)
{
    const Placed now = line.path.empty() ? Placed::Nothing : placed.Of(line.path);
    if (now != Placed::Nothing && line.refusal != Refusal::None)
        return StaleAction::Keep; // refused, and the new installation's own again
    if (line.refusal != Refusal::None)
        return StaleAction::Refused;
    if (now == Placed::Nothing)
        return StaleAction::Remove;
    return line.folder && now == Placed::Below ? StaleAction::Prune : StaleAction::Keep;
}

} // namespace install
