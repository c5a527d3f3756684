#include "install/InstallEngine.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "config/CommandLine.h"
#include "config/ProductData.h"
#include "install/InstallLog.h"
#include "install/InstallPaths.h"
#include "install/Manifest.h"
#include "package/ClsSecurity.h"
#include "package/ClsYnb.h"
#include "sys/ClsFile.h"
#include "sys/ClsRegist.h"
#include "sys/FileSecurity.h"
#include "sys/Names.h"
#include "sys/PathText.h"
#include "sys/Win32.h"

namespace install {

namespace {

constexpr uint32_t kEntryPause = 500; // ms: paces the installation so the user sees it work

// Every path the installation derives from the record and the folder text,
// formed before anything is written, so that none is ever cut short.
struct Paths {
    char firstComponent[kPathSize];
    char installFolder[kPathSize];
    char stagingFolder[kPathSize];
    char uninstallKey[kPathSize];
    char uninstallCommand[kPathSize];
    char uninstallValue[kQuotedCommandSize];
    char shortcutTarget[kPathSize];
    char logFolder[kPathSize];
};

bool FormPaths(const SetupRecord& record, const char* folderText, Paths& paths)
{
    return FirstComponent(record.ProductFolder, paths.firstComponent)
        && InstallFolder(folderText, paths.firstComponent, paths.installFolder)
        && StagingFolder(paths.installFolder, paths.stagingFolder)
        && UninstallKey(paths.firstComponent, paths.uninstallKey)
        && UninstallCommand(paths.installFolder, paths.uninstallCommand)
        && QuotedCommand(paths.uninstallCommand, paths.uninstallValue)
        && ShortcutTarget(record.BaseFolder, record.ProgramPath, paths.shortcutTarget)
        && LogFolderFromParent(record.ProductFolder, paths.logFolder);
}

// What the installation tells and asks, each through its own sink member.
class Reporter {
public:
    explicit Reporter(const InstallSink& sink)
        : sink_(sink)
    {
    }

    void Step(Phase phase, uint64_t done = 0, uint64_t total = 0, const char* item = "") const
    {
        if (sink_.progress)
            sink_.progress(Progress { phase, done, total, item });
    }
    void CopyFailed(const CopyFailure& failure) const
    {
        if (sink_.copyFailed)
            sink_.copyFailed(failure);
    }
    void StepFailed(const std::string& detail) const
    {
        if (sink_.stepFailed)
            sink_.stepFailed(detail);
    }
    bool SetupFailed(const InstallFailure& failure) const
    {
        return sink_.setupFailed ? sink_.setupFailed(failure) : true;
    }
    void Pump() const
    {
        if (sink_.pump)
            sink_.pump();
    }
    void Placed(const std::string& path) const
    {
        if (sink_.placed)
            sink_.placed(path);
    }
    void Note(const std::string& text) const
    {
        if (sink_.note)
            sink_.note(text);
    }

    // Paces the installation for whoever watches it; nothing waits where
    // nobody does.
    void Pause(uint32_t milliseconds) const
    {
        if (sink_.pause)
            sink_.pause(milliseconds);
    }

private:
    const InstallSink& sink_;
};

// A folder that ordinary users could change gets the protection Program
// Files has, so that nobody but an administrator changes what the
// uninstaller, run by an administrator, will trust.
void Protect(const char* folder, const Reporter& reporter)
{
    if (!sys::FolderNeedsProtection(folder))
        return;
    reporter.Note(std::string(sys::ProtectFolder(folder) ? "protected " : "could not protect ") + folder);
}

// The install log into the current folder. The log folder must be an
// administrator's (or this account's), and gets the protection of Program
// Files, since the uninstaller trusts what the log names; a log that lands
// elsewhere (no log folder) leaves that folder as it is.
void WriteLog(InstallLog& log, bool inLogFolder, const Reporter& reporter)
{
    const std::string folder = sys::CurrentDirectory();
    if (inLogFolder) {
        if (!sys::OwnerIsTrusted(folder.c_str())) {
            reporter.Note("the install log was not written: its folder " + folder + " belongs to someone else");
            return;
        }
        Protect(folder.c_str(), reporter);
    }
    if (!log.Complete())
        reporter.StepFailed("the install log could not hold every line: " + std::to_string(log.LeftOut())
            + " left out, which the uninstaller will not remove");
    (void)ClsSecurity::Scramble(log.Data(), log.Length(), kManifestKey);
    if (ClsFile::SaveFile(sys::kLogName, log.Text(), log.Length()))
        reporter.Placed(folder + "\\" + sys::kLogName);
    else {
        const DWORD error = GetLastError();
        reporter.StepFailed(
            "the install log could not be written in " + folder + " (error " + std::to_string(error) + ")");
    }
}

// Setup failed before anything was installed. The folder text is forgotten,
// so that a second Start takes the one then typed.
InstallOutcome Fail(InstallFailure failure, SetupRecord& record, const Reporter& reporter)
{
    record.BaseFolder[0] = '\0';
    InstallOutcome outcome;
    outcome.failure = std::move(failure);
    outcome.ending = reporter.SetupFailed(outcome.failure);
    return outcome;
}

// A target as the log of /LOG= names it: relative ones made full (the
// staging folder is current).
std::string FullPath(const char* target)
{
    char full[kTargetPathCapacity];
    const DWORD length = GetFullPathNameA(target, sizeof full, full, nullptr);
    return length > 0 && length < sizeof full ? std::string(full, length) : std::string(target);
}

// Copies one entry and logs its target path; a refused entry is reported and
// neither copied nor logged.
void PlaceEntry(const char* manifest, ManifestEntry& entry, InstallLog& log, const Reporter& reporter)
{
    if (entry.Problem != EntryProblem::None) {
        reporter.CopyFailed({ std::string(manifest + entry.Offset, static_cast<std::size_t>(entry.Length)), {}, 0 });
        return;
    }
    static constexpr SpecialFolders kFolders { ClsFile::GetDesktopFolder, ClsFile::GetMyDocumentsFolder,
        ClsFile::GetWindowsFolder };
    char target[kTargetPathCapacity];
    std::string whole;
    if (FormTargetPath(entry.Destination, entry.Source, kFolders, target, &whole) != TargetResult::Ok) {
        reporter.CopyFailed({ whole, {}, 0 });
        return;
    }
    if (IsFolderSource(entry.Source)) {
        entry.Source[std::strlen(entry.Source) - 1] = '\0';
        ClsFile::Failure lost;
        if (ClsFile::CopyFolder(entry.Source, target, &lost))
            reporter.Placed(FullPath(target));
        else
            reporter.CopyFailed({ target, FullPath(lost.path.c_str()), lost.error });
        (void)log.AddEntry(target, true); // a log too full leaves the line out
    } else {
        if (CopyFileA(entry.Source, target, FALSE) != 0) {
            reporter.Placed(FullPath(target));
        } else {
            const DWORD error = GetLastError();
            reporter.CopyFailed({ target, FullPath(target), error });
        }
        (void)log.AddEntry(target, false);
    }
}

void AddShortcut(
    const char* target, const char* linkFolder, const char* productName, InstallLog& log, const Reporter& reporter)
{
    if (linkFolder[0] == '\0')
        return; // the system names no such folder: nothing to place
    (void)ClsFile::CreateShortcut(target, linkFolder, productName); // logged whatever became of it
    (void)log.AddShortcut(linkFolder, productName);
    const std::string link = std::string(linkFolder) + "\\" + productName + ".lnk";
    if (GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES)
        reporter.Placed(link);
    else
        reporter.Note("the shortcut " + link + " could not be created");
}

// The uninstall entry: the name and the command as they always were, then
// what the system's list of programs shows beside them.
void Register(const Paths& paths, const SetupRecord& record, uint64_t payloadSize, const Reporter& reporter)
{
    // Without the right to write under HKEY_LOCAL_MACHINE nothing is stored;
    // the installation goes on.
    ClsRegist regist;
    (void)regist.CreateKey(sys::kUninstallRoot, paths.uninstallKey);
    (void)regist.SetString("DisplayName", record.ProductName);
    const bool written = regist.SetString("UninstallString", paths.uninstallValue);
    (void)regist.SetString("QuietUninstallString", (std::string("\"") + paths.uninstallCommand + "\" /S").c_str());
    (void)regist.SetString("InstallLocation", paths.installFolder);
    (void)regist.SetString("DisplayIcon", paths.shortcutTarget);
    (void)regist.SetDword(
        "EstimatedSize", static_cast<uint32_t>(std::min<uint64_t>((payloadSize + 1023) / 1024, UINT32_MAX)));
    (void)regist.SetDword("NoModify", 1);
    (void)regist.SetDword("NoRepair", 1);
    const std::pair<const char*, const char*> optional[]
        = { { "DisplayVersion", kDisplayVersion }, { "Publisher", kPublisher }, { "URLInfoAbout", kUrlInfoAbout } };
    // A value this version lacks goes: an earlier installation's stays no
    // longer than the version that wrote it.
    for (const auto& [name, text] : optional)
        (void)(text[0] != '\0' ? regist.SetString(name, text) : regist.DeleteValue(name));
    reporter.Note(
        std::string(written ? "the uninstall entry HKLM\\" : "the uninstall entry could not be written: HKLM\\")
        + paths.uninstallKey);
}

} // namespace

uint32_t FailureExitCode(const InstallFailure& failure)
{
    return failure.step == InstallStep::DiskFull ? config::kExitDiskFull : config::kExitFailed;
}

void DefaultBaseFolder(char* out)
{
    static constexpr char kProgramFiles[] = "C:\\Program Files";
    static constexpr char kRoot[] = "C:\\";
    static_assert(sizeof kProgramFiles <= kPathSize);
    std::memcpy(out, kProgramFiles, sizeof kProgramFiles);
    const DWORD attributes = GetFileAttributesA(out);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return;
    // The shell is asked only when it does not exist.
    (void)ClsFile::GetProgramFilesFolder(out);
    if (out[0] == '\0')
        std::memcpy(out, kRoot, sizeof kRoot);
}

InstallOutcome RunInstallation(const InstallRequest& request, const InstallSink& sink)
{
    const Reporter reporter(sink);
    SetupRecord& record = request.record;
    record.DesktopShortcut = request.desktopShortcut ? 1 : 0;
    record.StartMenuEntry = request.startMenuEntry ? 1 : 0;
    // Without its trailing blanks, like the install folder (see BaseFolder).
    static_assert(sizeof record.BaseFolder == kPathSize);
    Paths paths;
    if (!BaseFolder(request.folderText.c_str(), record.BaseFolder)
        || !FormPaths(record, request.folderText.c_str(), paths))
        return Fail({ InstallStep::Paths, "a path formed from the folder text does not fit 260 bytes", {}, 0, {} },
            record, reporter);

    reporter.Step(Phase::Unpacking);
    (void)SetCurrentDirectoryA(request.programDir.c_str());
    package::ExtractReport unpacked;
    const auto progress = [&reporter](uint64_t done, uint64_t total, const std::string& item) {
        reporter.Step(Phase::Unpacking, done, total, item.c_str());
    };
    if (ClsYnb().UnpackPayload(
            record, [&reporter] { reporter.Pump(); }, progress, unpacked)
        == 0)
        return Fail(
            { unpacked.problem == package::ExtractProblem::DiskFull ? InstallStep::DiskFull : InstallStep::Payload,
                unpacked.detail, unpacked.overwritten, unpacked.error, unpacked.path },
            record, reporter);

    for (const std::string& path : unpacked.placed)
        reporter.Placed(path);
    Protect(paths.installFolder, reporter);

    reporter.Step(Phase::Registering);
    auto log = std::make_unique<InstallLog>();
    Register(paths, record, unpacked.totalSize, reporter);
    (void)log->Start(paths.firstComponent);

    (void)SetCurrentDirectoryA(paths.stagingFolder);
    char manifest[kManifestCapacity] = {};
    ManifestEntry entries[kManifestMaxEntries];
    ManifestSplit split;
    const int32_t size = ClsFile::GetSize(sys::kManifestName);
    // A manifest that is missing, empty, too large or unreadable has no entries.
    if (size > 0 && static_cast<std::size_t>(size) <= sizeof manifest
        && ClsFile::ReadAll(sys::kManifestName, manifest, sizeof manifest) == size) {
        (void)ClsSecurity::Unscramble(manifest, size, kManifestKey);
        split = SplitManifest(manifest, size, entries);
    }
    const auto count = static_cast<uint64_t>(split.Count);
    for (int i = 0; i < split.Count; ++i) {
        reporter.Step(Phase::Placing, static_cast<uint64_t>(i), count, entries[i].Source ? entries[i].Source : "");
        PlaceEntry(manifest, entries[i], *log, reporter);
        reporter.Pause(kEntryPause);
    }

    (void)ClsFile::RemoveFile(sys::kManifestName);
    (void)SetCurrentDirectoryA(paths.installFolder);
    (void)ClsFile::DeleteFolder(paths.stagingFolder);

    reporter.Step(Phase::Shortcuts);
    if (record.DesktopShortcut) {
        char desktop[kPathSize] = {};
        (void)ClsFile::GetDesktopFolder(desktop);
        AddShortcut(paths.shortcutTarget, desktop, record.ProductName, *log, reporter);
    }
    if (record.StartMenuEntry) {
        char startup[kPathSize] = {};
        char programs[kPathSize] = {};
        (void)ClsFile::GetStartupFolder(startup);
        (void)StartMenuFolder(startup, programs); // a part of a 260-byte path always fits
        AddShortcut(paths.shortcutTarget, programs, record.ProductName, *log, reporter);
    }
    (void)log->Finish(paths.installFolder);

    reporter.Step(Phase::Log);
    // A change that fails leaves the log in the folder that remains current.
    (void)SetCurrentDirectoryA(paths.installFolder);
    (void)SetCurrentDirectoryA("..");
    const bool inLogFolder = SetCurrentDirectoryA(paths.logFolder) != 0;
    WriteLog(*log, inLogFolder, reporter);
    reporter.Pause(kEntryPause);

    reporter.Step(Phase::Done, count, count);
    InstallOutcome outcome;
    outcome.succeeded = true;
    outcome.payloadSize = unpacked.totalSize;
    return outcome;
}

InstalledProduct FindInstalledProduct(const SetupRecord& record)
{
    InstalledProduct product;
    char first[kPathSize];
    char key[kPathSize];
    char location[kPathSize];
    char version[kPathSize];
    char logFolder[kPathSize];
    if (!FirstComponent(record.ProductFolder, first) || first[0] == '\0' || !UninstallKey(first, key)
        || !LogFolderFromParent(record.ProductFolder, logFolder)
        || !ClsRegist::ReadString(sys::kUninstallRoot, key, "InstallLocation", location, sizeof location))
        return product;
    (void)ClsRegist::ReadString(sys::kUninstallRoot, key, "DisplayVersion", version, sizeof version);
    // The install folder is the base folder, "\" and the first component.
    const std::string install = location;
    const std::size_t tail = std::strlen(first) + 1;
    if (install.size() <= tail || install.compare(install.size() - tail, tail, std::string("\\") + first) != 0)
        return product;
    const std::string base = install.substr(0, install.size() - tail);
    const std::string log = base + "\\" + logFolder + "\\" + sys::kLogName;
    const DWORD attributes = GetFileAttributesA(log.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return product; // the entry outlived its folder
    product.installed = true;
    product.installFolder = install;
    product.baseFolder = base;
    product.version = version;
    return product;
}

bool IsInstalledFolder(const SetupRecord& record, const char* folderText, const InstalledProduct& installed)
{
    char first[kPathSize];
    char install[kPathSize];
    return installed.installed && FirstComponent(record.ProductFolder, first)
        && InstallFolder(folderText, first, install) && sys::LiesWithin(install, installed.installFolder.c_str())
        && sys::LiesWithin(installed.installFolder.c_str(), install);
}

} // namespace install
