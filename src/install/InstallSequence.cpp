#include "install/InstallSequence.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <string>

#include "app/Progress.h"
#include "config/ProductData.h"
#include "install/InstallLog.h"
#include "install/InstallPaths.h"
#include "install/Manifest.h"
#include "package/ClsSecurity.h"
#include "package/ClsYnb.h"
#include "sys/ClsFile.h"
#include "sys/ClsRegist.h"
#include "ui/Dialogs.h"
#include "ui/Forms.h"
#include "ui/Text.h"
#include "wizard/Installermain.h"

namespace {

constexpr wchar_t kSetupFailed[] = L"セットアップに失敗しました。";
constexpr wchar_t kCopyFailed[] = L"へのコピーに失敗しました。";
constexpr char kManifestName[] = "ynb_inst.com";
constexpr char kLogName[] = "instdir.dat";
constexpr DWORD kEntryPause = 500; // paces the installation so the user sees it work
constexpr int32_t kUninstallRoot = 2; // HKEY_LOCAL_MACHINE

// Every path the installation derives from the record and the folder text,
// formed before anything is written, so that none is ever cut short.
struct Paths {
    char firstComponent[install::kPathSize];
    char installFolder[install::kPathSize];
    char stagingFolder[install::kPathSize];
    char uninstallKey[install::kPathSize];
    char uninstallCommand[install::kPathSize];
    char uninstallValue[install::kQuotedCommandSize];
    char shortcutTarget[install::kPathSize];
    char logFolder[install::kPathSize];
};

bool FormPaths(const SetupRecord& record, const char* folderText, Paths& paths)
{
    using namespace install;
    return FirstComponent(record.ProductFolder, paths.firstComponent)
        && InstallFolder(folderText, paths.firstComponent, paths.installFolder)
        && StagingFolder(paths.installFolder, paths.stagingFolder)
        && UninstallKey(paths.firstComponent, paths.uninstallKey)
        && UninstallCommand(paths.installFolder, paths.uninstallCommand)
        && QuotedCommand(paths.uninstallCommand, paths.uninstallValue)
        && ShortcutTarget(record.BaseFolder, record.ProgramPath, paths.shortcutTarget)
        && LogFolderFromParent(record.ProductFolder, paths.logFolder);
}

void EnableButtons(TFrame3& page, bool enabled)
{
    page.Button1->SetEnabled(enabled);
    page.Button2->SetEnabled(enabled);
    page.Button3->SetEnabled(enabled);
}

void ShowCopyFailed(const std::string& target)
{
    ui::ShowMessage(ui::FromAnsi(target.c_str()) + kCopyFailed);
}

// Setup failed before anything was installed: the wizard is asked to close.
// When the user declines, the page is handed back, so that the cause can be
// mended and Start pressed again, or the setup cancelled.
void Fail(TFrame3& page, SetupRecord& record, std::unique_ptr<ClsRegist>& regist)
{
    ui::ShowMessage(kSetupFailed);
    regist.reset();
    Form2->CloseWizard();
    if (!Form2->Visible())
        return; // closing: the program ends
    Form3->Close();
    EnableButtons(page, true);
    record.BaseFolder[0] = '\0';
}

// Copies one entry and logs its target path; a refused entry is reported and
// neither copied nor logged.
void InstallEntry(const char* manifest, install::ManifestEntry& entry, install::InstallLog& log)
{
    using namespace install;
    if (entry.Problem != EntryProblem::None) {
        ShowCopyFailed(std::string(manifest + entry.Offset, static_cast<std::size_t>(entry.Length)));
        return;
    }
    static constexpr SpecialFolders kFolders { ClsFile::GetDesktopFolder, ClsFile::GetMyDocumentsFolder,
        ClsFile::GetWindowsFolder };
    char target[kTargetPathCapacity];
    std::string whole;
    if (FormTargetPath(entry.Destination, entry.Source, kFolders, target, &whole) != TargetResult::Ok) {
        ShowCopyFailed(whole);
        return;
    }
    if (IsFolderSource(entry.Source)) {
        entry.Source[std::strlen(entry.Source) - 1] = '\0';
        if (!ClsFile::CopyFolder(entry.Source, target))
            ShowCopyFailed(target);
        (void)log.AddEntry(target, true); // a log too full leaves the line out
    } else {
        if (CopyFileA(entry.Source, target, FALSE) == 0)
            ShowCopyFailed(target);
        (void)log.AddEntry(target, false);
    }
}

void AddShortcut(const char* target, const char* linkFolder, const char* productName, install::InstallLog& log)
{
    if (linkFolder[0] == '\0')
        return; // the system names no such folder: nothing to place
    (void)ClsFile::CreateShortcut(target, linkFolder, productName); // logged whatever became of it
    (void)log.AddShortcut(linkFolder, productName);
}

} // namespace

void RunInstallSequence(TFrame3& page)
{
    SetupRecord& record = Form2->Record;
    auto regist = std::make_unique<ClsRegist>();
    EnableButtons(page, false);
    Form3->Show();
    ui::Application::ProcessMessages();

    record.DesktopShortcut = page.CheckBox1->Checked() ? 1 : 0;
    record.StartMenuEntry = page.CheckBox2->Checked() ? 1 : 0;
    const std::string folderText = page.Edit1->Text();
    Paths paths;
    // Without its trailing blanks, like the install folder (see BaseFolder).
    static_assert(sizeof record.BaseFolder == install::kPathSize);
    if (!install::BaseFolder(folderText.c_str(), record.BaseFolder)) {
        Fail(page, record, regist);
        return;
    }
    if (!FormPaths(record, folderText.c_str(), paths)) {
        Fail(page, record, regist);
        return;
    }

    (void)SetCurrentDirectoryA(Form2->ProgramDir.c_str());
    if (Form2->Ynb->UnpackPayload(record) == 0) {
        Fail(page, record, regist);
        return;
    }

    auto log = std::make_unique<install::InstallLog>();
    // Without the right to write under HKEY_LOCAL_MACHINE nothing is stored;
    // the installation goes on.
    (void)regist->CreateKey(kUninstallRoot, paths.uninstallKey);
    (void)regist->SetString("DisplayName", record.ProductName);
    (void)regist->SetString("UninstallString", paths.uninstallValue);
    (void)log->Start(paths.firstComponent);

    (void)SetCurrentDirectoryA(paths.stagingFolder);
    char manifest[install::kManifestCapacity] = {};
    install::ManifestEntry entries[install::kManifestMaxEntries];
    install::ManifestSplit split;
    const int32_t size = ClsFile::GetSize(kManifestName);
    // A manifest that is missing, empty, too large or unreadable has no entries.
    if (size > 0 && static_cast<std::size_t>(size) <= sizeof manifest
        && ClsFile::ReadAll(kManifestName, manifest, sizeof manifest) == size) {
        (void)ClsSecurity::Unscramble(manifest, size, kManifestKey);
        split = install::SplitManifest(manifest, size, entries);
    }
    for (int i = 0; i < split.Count; ++i) {
        InstallEntry(manifest, entries[i], *log);
        Sleep(kEntryPause);
    }

    (void)ClsFile::RemoveFile(kManifestName);
    (void)SetCurrentDirectoryA(paths.installFolder);
    (void)ClsFile::DeleteFolder(paths.stagingFolder);

    if (record.DesktopShortcut) {
        char desktop[install::kPathSize] = {};
        (void)ClsFile::GetDesktopFolder(desktop);
        AddShortcut(paths.shortcutTarget, desktop, record.ProductName, *log);
    }
    if (record.StartMenuEntry) {
        char startup[install::kPathSize] = {};
        char programs[install::kPathSize] = {};
        (void)ClsFile::GetStartupFolder(startup);
        (void)install::StartMenuFolder(startup, programs); // a part of a 260-byte path always fits
        AddShortcut(paths.shortcutTarget, programs, record.ProductName, *log);
    }
    (void)log->Finish(paths.installFolder);

    // A change that fails leaves the log in the folder that remains current.
    (void)SetCurrentDirectoryA(paths.installFolder);
    (void)SetCurrentDirectoryA("..");
    (void)SetCurrentDirectoryA(paths.logFolder);
    (void)ClsSecurity::Scramble(log->Data(), log->Length(), kManifestKey);
    (void)ClsFile::SaveFile(kLogName, log->Text(), log->Length()); // a log that cannot be written is not reported
    Sleep(kEntryPause);

    Form3->Close();
    ui::Application::ProcessMessages();
    page.Hide();
    Form2->TFrame41->Show();
    EnableButtons(page, true);
    regist.reset();
}
