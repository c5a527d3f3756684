#include "install/ClsUninstall.h"

#include <windows.h>
#include <shlobj.h>

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

// Deletes a file whose attributes were just read, clearing its read-only bit
// (set again when the file stays); ERROR_SUCCESS or the error.
DWORD DeleteOneFile(const std::string& path, DWORD attributes)
{
    sys::ClearReadOnly(path.c_str(), attributes);
    if (DeleteFileA(path.c_str()))
        return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    if (attributes & FILE_ATTRIBUTE_READONLY)
        (void)SetFileAttributesA(path.c_str(), attributes);
    return error;
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

void ClsUninstall::RemoveLine(const install::PlannedLine& line, Outcome& outcome)
{
    if (line.refusal != install::Refusal::None) {
        outcome.remaining.push_back({ line.path.empty() ? line.text : line.path, Reason::Refused, line.refusal });
        return;
    }
    const std::string& path = line.path;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (!Missing(error)) // gone already: nothing to report
            outcome.remaining.push_back({ path, Reason::Failed, install::Refusal::None, error });
        return;
    }
    if (ReachedThroughLink(path)) {
        outcome.remaining.push_back({ path, Reason::Link });
        return;
    }
    const bool isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (line.folder) {
        if (!isFolder) {
            outcome.remaining.push_back({ path, Reason::Failed }); // a file where a folder was placed
        } else if (ClsFile::DeleteFolder(path.c_str())) { // never follows a link inside
            ++outcome.folders;
            outcome.removed.push_back(path + "\\");
        } else if (HoldsScheduled(path, true) && MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
            outcome.remaining.push_back({ path, Reason::Scheduled }); // after the files it keeps
        } else {
            const DWORD error = GetLastError(); // the folder's own removal, which comes last
            outcome.remaining.push_back({ path, Reason::InUse, install::Refusal::None, error });
        }
        return;
    }
    if (isFolder && !isLink) {
        outcome.remaining.push_back({ path, Reason::Failed }); // a folder where a file was placed
        return;
    }
    DWORD error = ERROR_SUCCESS;
    if (isFolder) // a link to a folder, named as a file: the link goes
        error = RemoveDirectoryA(path.c_str()) ? ERROR_SUCCESS : GetLastError();
    else
        error = DeleteOneFile(path, attributes);
    if (error != ERROR_SUCCESS) {
        const bool scheduled = HoldsScheduled(path, false);
        outcome.remaining.push_back(
            { path, scheduled ? Reason::Scheduled : ReasonOf(error), install::Refusal::None, scheduled ? 0 : error });
        return;
    }
    bool shortcut = false;
    for (const std::string& link : places_.shortcuts)
        shortcut = shortcut || SamePath(path, link, kAnsiPaths);
    ++(shortcut ? outcome.shortcuts : outcome.files);
    outcome.removed.push_back(path);
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

void ClsUninstall::DeleteAtRestart(const std::vector<std::string>& files)
{
    for (const std::string& file : files)
        if (MoveFileExA(file.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
            atRestart_.push_back(file);
}

// The file is one to go at the restart, or the folder holds one.
bool ClsUninstall::HoldsScheduled(const std::string& path, bool folder) const
{
    for (const std::string& file : atRestart_)
        if (SamePath(file, path, kAnsiPaths) || (folder && install::IsBelow(file, path, kAnsiPaths)))
            return true;
    return false;
}

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

void ClsUninstall::RemoveStale(const install::PlacedPaths& placed, Outcome& outcome)
{
    for (const install::PlannedLine& line : plan_) {
        switch (install::JudgeStaleLine(line, placed)) {
        case install::StaleAction::Remove:
        case install::StaleAction::Refused: // reported as it stays
            RemoveLine(line, outcome);
            break;
        case install::StaleAction::Prune:
            if (!ReachedThroughLink(line.path))
                Prune(line.path, placed, outcome);
            break;
        case install::StaleAction::Keep:
            break;
        }
    }
}

void ClsUninstall::Prune(const std::string& folder, const install::PlacedPaths& placed, Outcome& outcome)
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
        RemoveLine(line, outcome);
    for (const std::string& path : below)
        Prune(path, placed, outcome);
}

void ClsUninstall::RemoveOwnFile(const std::string& path, Outcome& outcome, int attempts)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    DWORD error = DeleteOneFile(path, attributes);
    for (int attempt = 1; attempt < attempts && (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION);
         ++attempt) {
        Sleep(100);
        error = DeleteOneFile(path, attributes);
    }
    if (error == ERROR_SUCCESS) {
        ++outcome.files;
        outcome.removed.push_back(path);
    } else
        outcome.remaining.push_back({ path, ReasonOf(error), install::Refusal::None, error });
}

void ClsUninstall::RemoveEmptyFolder(const std::string& folder, Outcome& outcome)
{
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return;
    sys::ClearReadOnly(folder.c_str(), attributes);
    if (RemoveDirectoryA(folder.c_str())) {
        ++outcome.folders;
        outcome.removed.push_back(folder + "\\");
        return;
    }
    const DWORD error = GetLastError();
    outcome.remaining.push_back({ folder, ReasonOf(error), install::Refusal::None, error });
}

void ClsUninstall::RemoveUninstallEntry(Outcome& outcome)
{
    char key[install::kPathSize];
    if (entry_ != Entry::Ours || !install::UninstallKey(log_.firstComponent.c_str(), key))
        return;
    if (ClsRegist::DeleteKey(install::UninstallRootOf(entryScope_), key))
        outcome.keyRemoved = true;
    else
        outcome.remaining.push_back(
            { std::string(UserEntry() ? "HKEY_CURRENT_USER\\" : "HKEY_LOCAL_MACHINE\\") + key, Reason::InUse });
}

void ClsUninstall::RemoveInstalled(Outcome& outcome, const std::function<void()>& step)
{
    for (const install::PlannedLine& line : plan_) {
        RemoveLine(line, outcome);
        if (step)
            step();
    }

    // The log, then its folder and the folders above it, while they are empty.
    if (!logFolder_.empty()) {
        RemoveOwnFile(logFolder_ + "\\" + kLogName, outcome);
        for (std::string folder = logFolder_; IsBelow(folder, places_.installFolder, kAnsiPaths);
             folder = ParentOf(folder, kAnsiPaths))
            RemoveEmptyFolder(folder, outcome);
    }
    RemoveUninstallEntry(outcome);
    if (step)
        step();
}

void ClsUninstall::RemoveProgram(bool programRunning, Outcome& outcome)
{
    // A running program cannot be deleted: Windows is asked to delete it, and
    // then the folder if empty, when it restarts.
    if (programRunning) {
        for (const std::string& path : { programPath_, places_.installFolder }) {
            const bool scheduled = MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
            const DWORD error = scheduled ? ERROR_SUCCESS : GetLastError();
            outcome.remaining.push_back(
                { path, scheduled ? Reason::Scheduled : ReasonOf(error), install::Refusal::None, error });
        }
        return;
    }
    // The program that started the uninstaller with administrator rights
    // runs the same file until it has passed the exit code on: five seconds.
    RemoveOwnFile(programPath_, outcome, 50);
    RemoveEmptyFolder(places_.installFolder, outcome);
}
