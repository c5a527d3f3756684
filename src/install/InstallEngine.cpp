#include "install/InstallEngine.h"

#include <windows.h>

#include <cstring>
#include <memory>

#include "config/ProductData.h"
#include "install/InstallLog.h"
#include "install/InstallPaths.h"
#include "install/Manifest.h"
#include "package/ClsSecurity.h"
#include "package/ClsYnb.h"
#include "sys/ClsFile.h"
#include "sys/ClsRegist.h"
#include "sys/Names.h"

namespace install {

namespace {

constexpr DWORD kEntryPause = 500; // paces the installation so the user sees it work

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
    void CopyFailed(const std::string& target) const
    {
        if (sink_.copyFailed)
            sink_.copyFailed(target);
    }
    bool SetupFailed() const { return sink_.setupFailed ? sink_.setupFailed() : true; }

private:
    const InstallSink& sink_;
};

// Setup failed before anything was installed. The folder text is forgotten,
// so that a second Start takes the one then typed.
InstallOutcome Fail(InstallStep step, SetupRecord& record, const Reporter& reporter)
{
    record.BaseFolder[0] = '\0';
    InstallOutcome outcome;
    outcome.failedAt = step;
    outcome.ending = reporter.SetupFailed();
    return outcome;
}

// Copies one entry and logs its target path; a refused entry is reported and
// neither copied nor logged.
void PlaceEntry(const char* manifest, ManifestEntry& entry, InstallLog& log, const Reporter& reporter)
{
    if (entry.Problem != EntryProblem::None) {
        reporter.CopyFailed(std::string(manifest + entry.Offset, static_cast<std::size_t>(entry.Length)));
        return;
    }
    static constexpr SpecialFolders kFolders { ClsFile::GetDesktopFolder, ClsFile::GetMyDocumentsFolder,
        ClsFile::GetWindowsFolder };
    char target[kTargetPathCapacity];
    std::string whole;
    if (FormTargetPath(entry.Destination, entry.Source, kFolders, target, &whole) != TargetResult::Ok) {
        reporter.CopyFailed(whole);
        return;
    }
    if (IsFolderSource(entry.Source)) {
        entry.Source[std::strlen(entry.Source) - 1] = '\0';
        if (!ClsFile::CopyFolder(entry.Source, target))
            reporter.CopyFailed(target);
        (void)log.AddEntry(target, true); // a log too full leaves the line out
    } else {
        if (CopyFileA(entry.Source, target, FALSE) == 0)
            reporter.CopyFailed(target);
        (void)log.AddEntry(target, false);
    }
}

void AddShortcut(const char* target, const char* linkFolder, const char* productName, InstallLog& log)
{
    if (linkFolder[0] == '\0')
        return; // the system names no such folder: nothing to place
    (void)ClsFile::CreateShortcut(target, linkFolder, productName); // logged whatever became of it
    (void)log.AddShortcut(linkFolder, productName);
}

} // namespace

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
        return Fail(InstallStep::Paths, record, reporter);

    reporter.Step(Phase::Unpacking);
    (void)SetCurrentDirectoryA(request.programDir.c_str());
    if (ClsYnb().UnpackPayload(record) == 0)
        return Fail(InstallStep::Payload, record, reporter);

    reporter.Step(Phase::Registering);
    auto log = std::make_unique<InstallLog>();
    // Without the right to write under HKEY_LOCAL_MACHINE nothing is stored;
    // the installation goes on.
    ClsRegist regist;
    (void)regist.CreateKey(sys::kUninstallRoot, paths.uninstallKey);
    (void)regist.SetString("DisplayName", record.ProductName);
    (void)regist.SetString("UninstallString", paths.uninstallValue);
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
        Sleep(kEntryPause);
    }

    (void)ClsFile::RemoveFile(sys::kManifestName);
    (void)SetCurrentDirectoryA(paths.installFolder);
    (void)ClsFile::DeleteFolder(paths.stagingFolder);

    reporter.Step(Phase::Shortcuts);
    if (record.DesktopShortcut) {
        char desktop[kPathSize] = {};
        (void)ClsFile::GetDesktopFolder(desktop);
        AddShortcut(paths.shortcutTarget, desktop, record.ProductName, *log);
    }
    if (record.StartMenuEntry) {
        char startup[kPathSize] = {};
        char programs[kPathSize] = {};
        (void)ClsFile::GetStartupFolder(startup);
        (void)StartMenuFolder(startup, programs); // a part of a 260-byte path always fits
        AddShortcut(paths.shortcutTarget, programs, record.ProductName, *log);
    }
    (void)log->Finish(paths.installFolder);

    reporter.Step(Phase::Log);
    // A change that fails leaves the log in the folder that remains current.
    (void)SetCurrentDirectoryA(paths.installFolder);
    (void)SetCurrentDirectoryA("..");
    (void)SetCurrentDirectoryA(paths.logFolder);
    (void)ClsSecurity::Scramble(log->Data(), log->Length(), kManifestKey);
    (void)ClsFile::SaveFile(sys::kLogName, log->Text(), log->Length()); // a log that cannot be written is not reported
    Sleep(kEntryPause);

    reporter.Step(Phase::Done, count, count);
    InstallOutcome outcome;
    outcome.succeeded = true;
    return outcome;
}

} // namespace install
