#include "install/ClsUninstall.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <iterator>

#include "config/ProductData.h"
#include "install/InstallLog.h"
#include "install/InstallPaths.h"
#include "package/ClsSecurity.h"
#include "package/ClsYnb.h"
#include "sys/ClsFile.h"
#include "sys/ClsRegist.h"
#include "sys/FileSecurity.h"
#include "sys/Handle.h"
#include "sys/SpecialFolder.h"
#include "sys/Text.h"
#include "sys/Win32.h"

namespace {

using install::CanonicalPath;
using install::IsBelow;
using install::ParentOf;
using install::PathProblem;
using install::SamePath;

using sys::kAnsiPaths;
using sys::kLogName;

// The canonical form of an absolute path, with long names where the path
// exists (a log or a command may hold 8.3 names); empty when it is none.
std::string MachinePath(const std::string& path)
{
    std::string canonical;
    if (CanonicalPath(path, std::string_view(), kAnsiPaths, canonical) != PathProblem::None)
        return std::string();
    char longPath[MAX_PATH * 2];
    const DWORD length = GetLongPathNameA(canonical.c_str(), longPath, sizeof longPath);
    std::string expanded;
    if (length > 0 && length < sizeof longPath
        && CanonicalPath(longPath, std::string_view(), kAnsiPaths, expanded) == PathProblem::None)
        return expanded;
    return canonical;
}

std::string SpecialFolder(int csidl)
{
    char folder[MAX_PATH] = {};
    sys::GetSpecialFolder(csidl, folder);
    return folder[0] != '\0' ? MachinePath(folder) : std::string();
}

void AddFolder(std::vector<std::string>& folders, const std::string& folder)
{
    if (!folder.empty())
        folders.push_back(folder);
}

// The 64-bit Program Files folder, which a 32-bit program on 64-bit Windows
// is not told about by the shell.
std::string ProgramFiles64()
{
    sys::UniqueKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0,
            KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.Put())
        != ERROR_SUCCESS)
        return std::string();
    char folder[MAX_PATH] = {};
    DWORD size = sizeof folder - 1;
    DWORD type = 0;
    if (RegQueryValueExA(key.Get(), "ProgramW6432Dir", nullptr, &type, reinterpret_cast<BYTE*>(folder), &size)
            != ERROR_SUCCESS
        || type != REG_SZ)
        return std::string();
    return MachinePath(folder);
}

install::UninstallPlaces MachinePlaces(const std::string& installFolder, const char* productName)
{
    install::UninstallPlaces places;
    places.installFolder = installFolder;
    const std::string desktop = SpecialFolder(CSIDL_DESKTOPDIRECTORY);
    const std::string windows = SpecialFolder(CSIDL_WINDOWS);
    AddFolder(places.areas, desktop);
    AddFolder(places.areas, SpecialFolder(CSIDL_PERSONAL));
    AddFolder(places.fileOnlyAreas, windows);
    // The system's files: shared by every program, never the product's to remove.
    for (int csidl : { CSIDL_SYSTEM, CSIDL_SYSTEMX86, CSIDL_FONTS })
        AddFolder(places.sealedFolders, SpecialFolder(csidl));
    // Sysnative is how a 32-bit program on 64-bit Windows reaches the real
    // system folder.
    if (!windows.empty())
        for (const char* name : { "\\WinSxS", "\\Sysnative" })
            AddFolder(places.sealedFolders, MachinePath(windows + name));

    // The Start menu's Programs folder as the setup program finds it: the
    // Startup folder's parent.
    char startup[install::kPathSize] = {};
    char programsText[install::kPathSize] = {};
    (void)ClsFile::GetStartupFolder(startup);
    (void)install::StartMenuFolder(startup, programsText);
    const std::string programs = programsText[0] != '\0' ? MachinePath(programsText) : std::string();
    const std::string link = std::string("\\") + productName + ".lnk";
    for (const std::string& folder : { desktop, programs })
        if (!folder.empty())
            places.shortcuts.push_back(folder + link);

    static constexpr int kProtected[] = {
        CSIDL_PROGRAM_FILES,
        CSIDL_PROGRAM_FILESX86,
        CSIDL_PROGRAM_FILES_COMMON,
        CSIDL_PROGRAM_FILES_COMMONX86,
        CSIDL_PROFILE,
        CSIDL_DESKTOPDIRECTORY,
        CSIDL_COMMON_DESKTOPDIRECTORY,
        CSIDL_PERSONAL,
        CSIDL_COMMON_DOCUMENTS,
        CSIDL_STARTMENU,
        CSIDL_COMMON_STARTMENU,
        CSIDL_PROGRAMS,
        CSIDL_COMMON_PROGRAMS,
        CSIDL_STARTUP,
        CSIDL_COMMON_STARTUP,
        CSIDL_APPDATA,
        CSIDL_LOCAL_APPDATA,
        CSIDL_COMMON_APPDATA,
    };
    for (int csidl : kProtected)
        AddFolder(places.protectedFolders, SpecialFolder(csidl));
    AddFolder(places.protectedFolders, ProgramFiles64());
    AddFolder(places.protectedFolders, programs);
    const std::string temp = sys::ToAnsi(sys::TempFolder());
    if (!temp.empty())
        AddFolder(places.protectedFolders, MachinePath(temp));
    return places;
}

bool Missing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

ClsUninstall::Reason ReasonOf(DWORD error)
{
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return ClsUninstall::Reason::InUse;
    case ERROR_DIR_NOT_EMPTY:
        return ClsUninstall::Reason::NotEmpty;
    default:
        return ClsUninstall::Reason::Failed;
    }
}

} // namespace

ClsUninstall::State ClsUninstall::Prepare(const char* programPath)
{
    record_ = SetupRecord();
    logDescriptor_.clear();
    logIsLink_ = false;
    entry_ = Entry::None;
    log_ = install::UninstallLog();
    plan_.clear();
    (void)ClsYnb().LoadSetupText(record_); // a product without one has no folder to remove
    char firstComponent[install::kPathSize] = {};
    if (!install::FirstComponent(record_.ProductFolder, firstComponent) || firstComponent[0] == '\0')
        return State::Damaged; // a product without a folder of its own has nothing to remove

    programPath_ = MachinePath(programPath);
    if (programPath_.empty() || install::IsRoot(programPath_, kAnsiPaths))
        return State::WrongFolder;
    const std::string installFolder = ParentOf(programPath_, kAnsiPaths);
    places_ = MachinePlaces(installFolder, record_.ProductName);
    if (!install::InstallFolderAllowed(installFolder, places_, kAnsiPaths))
        return State::WrongFolder;

    // The log folder: the install folder's parent, the product folder, "ynb".
    const std::string parent = ParentOf(installFolder, kAnsiPaths);
    std::string logFolder;
    if (CanonicalPath(std::string(record_.ProductFolder) + "\\ynb", parent, kAnsiPaths, logFolder) != PathProblem::None)
        return State::NotInstalled;
    // Read from wherever the product folder leads, but removed only inside
    // the install folder.
    logFolder_ = IsBelow(logFolder, installFolder, kAnsiPaths) ? logFolder : std::string();
    const std::string logPath = logFolder + "\\" + kLogName;
    logPath_ = logPath;

    const DWORD attributes = GetFileAttributesA(logPath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return Missing(GetLastError()) ? State::NotInstalled : State::Unreadable;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return State::Damaged;
    std::string text;
    const State read = ReadLog(logPath, text);
    if (read != State::Ready)
        return read;
    (void)ClsSecurity::Unscramble(text.data(), static_cast<int32_t>(text.size()), kManifestKey);
    if (install::ReadUninstallLog(text.data(), text.size(), firstComponent, log_) != install::LogProblem::None)
        return State::Damaged;
    // Long names where the paths exist, so that an 8.3 name can neither hide
    // a protected folder nor make this folder look like another.
    const std::string recorded = MachinePath(log_.installFolder);
    if (!install::RecordedFolderMatches(recorded.empty() ? log_.installFolder : recorded, installFolder, kAnsiPaths))
        return State::WrongFolder;
    const std::string staging = installFolder + "\\ins";
    install::UninstallLog expanded = log_;
    for (install::LogLine& line : expanded.lines) {
        std::string canonical;
        if (CanonicalPath(line.path, staging, kAnsiPaths, canonical) != PathProblem::None)
            continue; // refused as it stands
        const std::string longPath = MachinePath(canonical);
        line.path = longPath.empty() ? canonical : longPath;
    }
    // Only an administrator (for the user's own installation: the user) may
    // have changed what the log names beyond the install folder, or the
    // program that honours it.
    FindUninstallEntry();
    const sys::TrustScope scope = UserEntry() ? sys::TrustScope::User : sys::TrustScope::Machine;
    trust_.log = logDescriptor_.empty() ? sys::Protection::Unreadable
                                        : sys::JudgeProtection(logDescriptor_, scope, sys::RunningAccount(), false);
    if (logIsLink_)
        trust_.log = sys::Protection::Link;
    trust_.logFolder = sys::JudgePath(logFolder.c_str(), scope);
    trust_.program = sys::JudgePath(programPath_.c_str(), scope);
    places_.installFolderOnly = !trust_.Trusted();
    plan_ = install::PlanUninstall(expanded, staging, places_, kAnsiPaths);
    return State::Ready;
}

// The log's content and its protection, both through one handle that nobody
// may write to or delete while it is open, so that what is judged is what is
// read.
ClsUninstall::State ClsUninstall::ReadLog(const std::string& path, std::string& text)
{
    sys::UniqueFile log(CreateFileA(path.c_str(), GENERIC_READ | READ_CONTROL, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
        FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    LARGE_INTEGER size {};
    if (!log || !GetFileSizeEx(log.Get(), &size))
        return State::Unreadable;
    if (size.QuadPart == 0 || static_cast<uint64_t>(size.QuadPart) >= install::kInstallLogCapacity)
        return State::Damaged;
    // Judged once the scope is known (Prepare).
    BY_HANDLE_FILE_INFORMATION info;
    logIsLink_ = GetFileInformationByHandle(log.Get(), &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (!sys::ReadOwnerAndDacl(log.Get(), logDescriptor_))
        logDescriptor_.clear();
    text.assign(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!ReadFile(log.Get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr) || read != text.size())
        return State::Unreadable;
    return State::Ready;
}

bool ClsUninstall::Trust::Trusted() const
{
    return log == sys::Protection::Protected && logFolder == sys::Protection::Protected
        && program == sys::Protection::Protected;
}

bool ClsUninstall::Outcome::Failed() const
{
    for (const Remaining& item : remaining)
        if (item.reason == Reason::InUse || item.reason == Reason::Failed)
            return true;
    return false;
}

bool ClsUninstall::Outcome::Scheduled() const
{
    for (const Remaining& item : remaining)
        if (item.reason == Reason::Scheduled)
            return true;
    return false;
}

// Decided while the program file exists, so that its name compares in full.
ClsUninstall::Entry ClsUninstall::EntryUnder(install::Scope scope, const char* key) const
{
    {
        sys::UniqueKey open;
        const HKEY root = scope == install::Scope::User ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        if (RegOpenKeyExA(root, key, 0, KEY_QUERY_VALUE, open.Put()) != ERROR_SUCCESS)
            return Entry::None; // no entry, or none we may see
    }
    // An entry whose command names another copy of the uninstaller belongs
    // to another installation of the product, made later: it stays.
    char command[install::kQuotedCommandSize + 2];
    if (ClsRegist::ReadString(install::UninstallRootOf(scope), key, "UninstallString", command, sizeof command)) {
        std::string path(command);
        if (path.size() >= 2 && path.front() == '"' && path.back() == '"')
            path = path.substr(1, path.size() - 2);
        if (!SamePath(MachinePath(path), programPath_, kAnsiPaths))
            return Entry::Other;
    } else if (scope == install::Scope::User) {
        return Entry::Other; // the user's own entry is ours only when it names us
    }
    return Entry::Ours;
}

// The user's entry when it names this uninstaller, else the machine's.
void ClsUninstall::FindUninstallEntry()
{
    entryScope_ = install::Scope::Machine;
    entry_ = Entry::None;
    char key[install::kPathSize];
    if (!install::UninstallKey(log_.firstComponent.c_str(), key))
        return;
    if (EntryUnder(install::Scope::User, key) == Entry::Ours) {
        entryScope_ = install::Scope::User;
        entry_ = Entry::Ours;
        return;
    }
    entry_ = EntryUnder(install::Scope::Machine, key);
}

bool ClsUninstall::ReachedThroughLink(const std::string& path) const
{
    // The folder the line lies in: the install folder or an area; a shortcut
    // lies directly in its folder.
    std::string base = ParentOf(path, kAnsiPaths);
    if (IsBelow(path, places_.installFolder, kAnsiPaths)) {
        base = places_.installFolder;
    } else {
        for (const std::string& area : places_.areas)
            if (IsBelow(path, area, kAnsiPaths))
                base = area;
    }
    for (std::string folder = ParentOf(path, kAnsiPaths); IsBelow(folder, base, kAnsiPaths);
         folder = ParentOf(folder, kAnsiPaths)) {
        const DWORD attributes = GetFileAttributesA(folder.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
            return true;
    }
    return false;
}

bool ClsUninstall::Takes(const install::PlannedLine& line, std::vector<Remaining>& kept) const
{
    if (line.refusal != install::Refusal::None) {
        kept.push_back({ line.path.empty() ? line.text : line.path, Reason::Refused, line.refusal });
        return false;
    }
    const std::string& path = line.path;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (!Missing(error)) // gone already: nothing to report
            kept.push_back({ path, Reason::Failed, install::Refusal::None, error });
        return false;
    }
    if (ReachedThroughLink(path)) {
        kept.push_back({ path, Reason::Link });
        return false;
    }
    const bool isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    // A file where a folder was placed, or a folder where a file was (a link
    // to a folder, named as a file, is taken: the link goes).
    if (line.folder ? !isFolder || isLink : isFolder && !isLink) {
        kept.push_back({ path, Reason::Failed });
        return false;
    }
    return true;
}

namespace {

void FilesBelow(const std::string& folder, std::vector<std::string>& files)
{
    WIN32_FIND_DATAA entry;
    sys::UniqueFind find(FindFirstFileA((folder + "\\*").c_str(), &entry));
    if (!find)
        return;
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..")
            continue;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
            continue; // a link's target is never removed
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            FilesBelow(folder + "\\" + name, files);
        else
            files.push_back(folder + "\\" + name);
    } while (FindNextFileA(find.Get(), &entry));
}

} // namespace

std::vector<std::string> ClsUninstall::FilesToRemove() const
{
    std::vector<std::string> files;
    for (const install::PlannedLine& line : plan_) {
        if (line.refusal != install::Refusal::None)
            continue;
        if (line.folder)
            FilesBelow(line.path, files);
        else
            files.push_back(line.path);
    }
    return files;
}

namespace {

// A tree as it is set aside: its files and links (never what a link names),
// and its folders, each after what it holds.
void TreeBelow(const std::string& folder, ClsUninstall::Stale& stale)
{
    WIN32_FIND_DATAA entry;
    sys::UniqueFind find(FindFirstFileA((folder + "\\*").c_str(), &entry));
    if (find) {
        do {
            const std::string name = entry.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string path = folder + "\\" + name;
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                && (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
                TreeBelow(path, stale);
            else
                stale.files.push_back(path);
        } while (FindNextFileA(find.Get(), &entry));
    }
    stale.folders.push_back(folder);
}

} // namespace

void ClsUninstall::CollectLine(const install::PlannedLine& line, Stale& stale) const
{
    if (!Takes(line, stale.kept))
        return;
    if (line.folder)
        TreeBelow(line.path, stale);
    else
        stale.files.push_back(line.path);
}

void ClsUninstall::CollectStale(const install::PlacedPaths& placed, Stale& stale) const
{
    for (const install::PlannedLine& line : plan_) {
        switch (install::JudgeStaleLine(line, placed)) {
        case install::StaleAction::Remove:
        case install::StaleAction::Refused: // reported as it stays
            CollectLine(line, stale);
            break;
        case install::StaleAction::Prune:
            if (!ReachedThroughLink(line.path))
                CollectPruned(line.path, placed, stale);
            break;
        case install::StaleAction::Keep:
            break;
        }
    }
}

void ClsUninstall::CollectPruned(const std::string& folder, const install::PlacedPaths& placed, Stale& stale) const
{
    WIN32_FIND_DATAA entry;
    sys::UniqueFind find(FindFirstFileA((folder + "\\*").c_str(), &entry));
    if (!find)
        return;
    std::vector<install::PlannedLine> gone;
    std::vector<std::string> below;
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..")
            continue;
        const std::string path = folder + "\\" + name;
        const bool isFolder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0
            && (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
        const install::PlannedLine line { path, path, isFolder, install::Refusal::None };
        const install::StaleAction action = install::JudgeStaleLine(line, placed);
        if (action == install::StaleAction::Remove)
            gone.push_back(line);
        else if (action == install::StaleAction::Prune)
            below.push_back(path);
    } while (FindNextFileA(find.Get(), &entry));
    find.Reset();
    for (const install::PlannedLine& line : gone)
        CollectLine(line, stale);
    for (const std::string& path : below)
        CollectPruned(path, placed, stale);
}

void ClsUninstall::Count(std::size_t removal, install::RemovalResult result, Outcome& outcome) const
{
    if (result != install::RemovalResult::Removed)
        return;
    const install::RemovalRecord& record = removals_[removal];
    switch (kinds_[removal]) {
    case Kind::Folder:
        ++outcome.folders;
        outcome.removed.push_back(record.path + "\\");
        return;
    case Kind::Shortcut:
        ++outcome.shortcuts;
        break;
    case Kind::File:
    case Kind::Program:
        ++outcome.files;
        break;
    }
    outcome.removed.push_back(record.path);
}

void ClsUninstall::Report(const std::vector<install::TxLeft>& left, Outcome& outcome) const
{
    for (const install::TxLeft& item : left)
        outcome.remaining.push_back({ item.path, ReasonOf(item.error), install::Refusal::None, item.error });
}

ClsUninstall::Start ClsUninstall::RemoveInstalled(
    install::Transaction& tx, const std::vector<std::string>& held, Outcome& outcome, const std::function<void()>& step)
{
    // Work Windows has left for its restart: this product's own is dropped,
    // anything else on a file to remove waits for the restart.
    const install::RestartCheck check
        = install::CheckPendingRenames(tx.UsedStorage(), places_.installFolder, FilesToRemove(), kAnsiPaths);
    for (const install::PendingRename& rename : check.blocking)
        outcome.remaining.push_back({ rename.source, Reason::Scheduled });
    if (!check.blocking.empty())
        return Start::RestartFirst;

    removals_.clear();
    kinds_.clear();
    removeAtEnd_.clear();
    for (const install::PlannedLine& line : plan_) {
        if (!Takes(line, outcome.remaining))
            continue;
        bool shortcut = false;
        for (const std::string& link : places_.shortcuts)
            shortcut = shortcut || (!line.folder && SamePath(line.path, link, kAnsiPaths));
        removals_.push_back({ line.path, line.folder });
        kinds_.push_back(line.folder ? Kind::Folder : shortcut ? Kind::Shortcut : Kind::File);
    }
    removals_.push_back({ programPath_, false });
    kinds_.push_back(Kind::Program);
    // The log folder and the folders above it up to the install folder, while
    // they are empty, then the install folder.
    if (!logFolder_.empty())
        for (std::string folder = logFolder_; IsBelow(folder, places_.installFolder, kAnsiPaths);
             folder = ParentOf(folder, kAnsiPaths))
            removeAtEnd_.push_back(folder);
    removeAtEnd_.push_back(places_.installFolder);

    char key[install::kPathSize] = {};
    (void)install::UninstallKey(log_.firstComponent.c_str(), key);
    const bool ours = entry_ == Entry::Ours;
    if (tx.Begin({ install::TxKind::Uninstall, places_.installFolder, logFolder_.empty() ? std::string() : logPath_,
            key, {}, removeAtEnd_ })
        != ERROR_SUCCESS)
        return Start::NotBegun;
    if (tx.CommitRemoval(removals_, ours) != ERROR_SUCCESS) {
        std::vector<install::TxLeft> left;
        tx.RollBack(left);
        return Start::NotBegun;
    }
    if (!logFolder_.empty()) {
        ++outcome.files;
        outcome.removed.push_back(logPath_);
    }
    if (ours) {
        if (tx.RemoveEntry() == ERROR_SUCCESS)
            outcome.keyRemoved = true;
        else
            outcome.remaining.push_back(
                { std::string(UserEntry() ? "HKEY_CURRENT_USER\\" : "HKEY_LOCAL_MACHINE\\") + key, Reason::InUse });
    }
    // What a program still holds goes at the restart, under a name of the
    // transaction's own.
    std::vector<install::TxLeft> left;
    tx.ScheduleHeld(held, left);
    for (const std::string& file : held)
        if (std::none_of(left.begin(), left.end(), [&file](const install::TxLeft& item) { return item.path == file; }))
            outcome.remaining.push_back({ file, Reason::Scheduled });
    std::vector<install::RemovalResult> results;
    for (std::size_t i = 0; i + 1 < removals_.size(); ++i) {
        results.clear();
        tx.Remove(1, results, left);
        Count(i, results.front(), outcome);
        if (results.front() == install::RemovalResult::Scheduled && kinds_[i] == Kind::Folder)
            outcome.remaining.push_back({ removals_[i].path, Reason::Scheduled });
        if (step)
            step();
    }
    Report(left, outcome);
    return Start::Removing;
}

void ClsUninstall::RemoveProgram(install::Transaction& tx, bool programRunning, Outcome& outcome)
{
    std::vector<install::TxLeft> left;
    if (programRunning) {
        // A running program cannot be deleted: Windows deletes it, and then
        // the install folder, when it restarts.
        tx.ScheduleHeld({ programPath_ }, left);
        if (left.empty())
            outcome.remaining.push_back({ programPath_, Reason::Scheduled });
    }
    // The program that started the uninstaller with administrator rights
    // runs the same file until it has passed the exit code on: five seconds.
    // (A running program's file cannot be opened for writing.)
    for (int attempt = 0; !programRunning && attempt < 50; ++attempt) {
        sys::UniqueFile probe(CreateFileA(programPath_.c_str(), GENERIC_WRITE,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
        if (probe || GetLastError() != ERROR_SHARING_VIOLATION)
            break;
        Sleep(100);
    }
    std::vector<install::RemovalResult> results;
    tx.Remove(1, results, left);
    if (!results.empty())
        Count(removals_.size() - 1, results.front(), outcome);
    std::vector<bool> existed;
    for (const std::string& folder : removeAtEnd_)
        existed.push_back(GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES);
    tx.Finish(left);
    Report(left, outcome);
    // The folders the removal leaves: someone's files in them, or what goes
    // at the restart with the install folder.
    for (std::size_t i = 0; i < removeAtEnd_.size(); ++i) {
        const std::string& folder = removeAtEnd_[i];
        const DWORD attributes = GetFileAttributesA(folder.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            if (existed[i]) {
                ++outcome.folders;
                outcome.removed.push_back(folder + "\\");
            }
        } else if (tx.GoesAtRestart(folder)) {
            outcome.remaining.push_back({ folder, Reason::Scheduled });
        } else {
            outcome.remaining.push_back({ folder, Reason::NotEmpty, install::Refusal::None, ERROR_DIR_NOT_EMPTY });
        }
    }
}
