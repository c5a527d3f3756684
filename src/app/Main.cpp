// The program's entry. Without switches: the wizard (the main window), the
// backdrop and the progress window, in that order, then the message loop;
// the choices given on the command line are filled in. With /S the
// installation runs without any window (with /PROGRESS, the progress window
// alone) and without a question. The exit code tells what happened, in the
// codes deployment tools read (config/CommandLine.h).
//
// The scope is decided first (install/Scope.h): a machine installation
// without administrator rights starts this program again with them, shows
// nothing itself (but the question after a declined prompt) and ends with
// the copy's exit code; the copy takes the lock and does everything else.
#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "app/Elevated.h"
#include "app/Installerback.h"
#include "app/NoProduct.h"
#include "app/Progress.h"
#include "app/Recovery.h"
#include "config/CommandLine.h"
#include "config/ProductData.h"
#include "install/InstallEngine.h"
#include "install/LoggedSink.h"
#include "install/ProductLock.h"
#include "package/ClsYnb.h"
#include "sys/DllSearch.h"
#include "sys/LogFile.h"
#include "sys/PathText.h"
#include "sys/TestSeam.h"
#include "sys/Text.h"
#include "sys/Win32.h"
#include "ui/Dialogs.h"
#include "ui/Error.h"
#include "wizard/Installermain.h"

namespace {

constexpr wchar_t kUsage[]
    = L"使い方: setup.exe [/S [/PROGRESS]] [/CURRENTUSER | /ALLUSERS] [/NODESKTOP] [/NOSTARTMENU] "
      L"[/ALLOWDOWNGRADE] [/REPAIR] [/CLOSEAPPLICATIONS] "
      L"[/LOG=ファイル] [/D=フォルダー]\n\n"
      L"/S\t画面を出さず、何も尋ねずにインストールします。使用許諾には同意したものとみなします。\n"
      L"/PROGRESS\t/S と共に: 進行状況の画面だけを出します。\n"
      L"/CURRENTUSER\tこのユーザーだけにインストールします（管理者の権限は要りません）。\n"
      L"/ALLUSERS\tすべてのユーザー向けにインストールします（管理者の権限が要ります）。\n"
      L"/NODESKTOP\tデスクトップにショートカットを作りません。\n"
      L"/NOSTARTMENU\tスタートメニューに登録しません。\n"
      L"/ALLOWDOWNGRADE\tインストールされている新しいバージョンを、このバージョンに戻します。\n"
      L"/REPAIR\tインストールされている同じバージョンを修復します（なくなったファイル、変わったファイルを戻します）。\n"
      L"/CLOSEAPPLICATIONS\t/S と共に: 置き換えるファイルを使っているプログラムに、終了を求めます。\n"
      L"/LOG=ファイル\t行ったことをすべて、ファイルに UTF-8 で書きます。\n"
      L"/D=フォルダー\tインストール先のフォルダー。最後に書きます。空白があっても引用符は要りません。"
      L"インストール済みのときは、そのフォルダーです。\n"
      L"/?\tこの説明を表示します。\n\n"
      L"/S のないときは、与えた値がウィザードに入ります。\n"
      L"終了コード: 0 成功、1602 キャンセル、1603 失敗、1618 ほかのセットアップが実行中、87 コマンドラインの誤り、"
      L"112 ディスクがいっぱい、1638 別のフォルダーまたは別のバージョンがインストール済み、4 "
      L"新しいバージョンがインストール済み、"
      L"1605 修復する製品がない、3010 成功（使用中だったファイルは再起動で置き換わります）、"
      L"32 ファイルが使用中のため中止、183 別の対象（すべてのユーザー、またはこのユーザー）にインストール済み、"
      L"350 先に Windows の再起動が必要";
constexpr wchar_t kLastResort[] = L"Catch the Expection! \n This Program is Closed";

void Tell(const std::wstring& text, UINT icon)
{
    ui::ButtonTexts texts;
    texts.ok = L"OK";
    (void)ui::MessageBoxExact(nullptr, text, ui::ApplicationTitle(), MB_OK | icon, texts);
}

// The wizard, with the command line's choices filled in; its exit code.
uint32_t RunWizard(const config::CommandLine& options, const install::InstalledProduct& installed,
    const install::ScopeDecision& scope, const std::wstring& recovered, sys::LogFile& log)
{
    uint32_t code = config::kExitFailed;
    try {
        ui::Application::Initialize();
        auto wizard = std::make_unique<TForm2>();
        auto backdrop = std::make_unique<TForm1>();
        auto progress = std::make_unique<TForm3>();
        wizard->Log = &log;
        if (!recovered.empty())
            wizard->TFrame11->ShowRecovery(recovered);
        TFrame3& destination = *wizard->TFrame31;
        destination.SetScope(scope.scope, scope.choice);
        if (options.hasFolder)
            destination.Edit1->SetText(sys::ToAnsi(options.folder));
        if (options.noDesktop)
            destination.CheckBox1->SetChecked(false);
        if (options.noStartMenu)
            destination.CheckBox2->SetChecked(false);
        if (installed.installed)
            destination.KeepInstalledFolder(installed.baseFolder);
        ui::Application::Run();
        code = wizard->ExitCode;
    } catch (const ui::Error&) {
        Tell(kLastResort, 0);
        log.Line(L"the program met an error it cannot go on from");
        code = config::kExitFailed;
    }
    return code;
}

// The installation without a question: the licence counts as accepted by
// whoever deploys, a failed copy goes on and a failed setup stops. The
// payload lies beside the program, wherever the caller's current folder is.
uint32_t RunSilent(const config::CommandLine& options, const install::InstalledProduct& installed, install::Scope scope,
    sys::LogFile& log, SetupRecord& record)
{
    const std::string program = sys::ToAnsi(sys::ModulePath());
    const std::ptrdiff_t separator = sys::LastSeparator(program.c_str());
    const std::string programDir = separator > 0 ? program.substr(0, static_cast<std::size_t>(separator)) : ".";
    char folder[sys::kPathSize] = {};
    // An installed product goes into its folder, as its entry names it (a /D=
    // naming another folder was refused before).
    if (installed.installed && installed.baseFolder.size() < sizeof folder) {
        installed.baseFolder.copy(folder, installed.baseFolder.size());
    } else if (options.hasFolder) {
        const std::string given = sys::ToAnsi(options.folder);
        if (given.size() >= sizeof folder) {
            log.Line(L"the folder of /D= is longer than a path may be");
            return config::kExitBadCommandLine;
        }
        given.copy(folder, given.size());
    } else {
        install::DefaultBaseFolder(folder, scope);
    }

    std::unique_ptr<TForm3> window;
    if (options.progress) {
        ui::Application::Initialize();
        window = std::make_unique<TForm3>();
        window->Show();
        ui::Application::ProcessMessages();
        ui::Application::SetBusy(true);
    }
    install::InstallSink sink;
    sink.progress = [&window](const install::Progress& progress) {
        if (window
            && (progress.phase == install::Phase::Checking || progress.phase == install::Phase::Unpacking
                || progress.phase == install::Phase::Placing))
            window->SetProgress(progress.done, progress.total, progress.item);
    };
    sink.pump = [&window] {
        if (window) {
            ui::Application::ProcessMessages();
            return;
        }
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            (void)DispatchMessageW(&message);
    };
    const install::ProductValues product = install::BuiltProduct(record);
    const install::InstallRequest request { .product = product,
        .folderText = folder,
        .desktopShortcut = !options.noDesktop,
        .startMenuEntry = !options.noStartMenu,
        .programDir = programDir,
        .closeApplications = options.closeApplications,
        .scope = scope };
    log.Line(std::wstring(L"silent installation ")
        + (scope == install::Scope::User ? L"for the current user" : L"for the machine") + L" into "
        + sys::FromAnsi(folder) + L", desktop shortcut " + (request.desktopShortcut ? L"yes" : L"no") + L", Start menu "
        + (request.startMenuEntry ? L"yes" : L"no"));
    const install::InstallOutcome outcome = install::RunInstallation(request, install::LoggedSink(sink, log));
    ui::Application::SetBusy(false);
    if (window)
        window->Close();
    if (!outcome.succeeded)
        return install::FailureExitCode(outcome.failure);
    return outcome.replacedAtRestart.empty() ? config::kExitSuccess : config::kExitRestartNeeded;
}

// A product installed already has one installation: its folder, and no
// older version over a newer one unless /ALLOWDOWNGRADE asks for it. The
// exit code of a refusal, or 0 to go on.
uint32_t CheckInstalled(const config::CommandLine& options, const SetupRecord& record,
    const install::InstalledProduct& installed, sys::LogFile& log)
{
    const std::wstring name = sys::FromAnsi(record.ProductName);
    const std::wstring version = sys::FromAnsi(kDisplayVersion);
    const std::wstring installedVersion = sys::FromAnsi(installed.version.c_str());
    const std::wstring folder = sys::FromAnsi(installed.installFolder.c_str());
    if (installed.installed)
        log.Line(L"installed: version " + (installedVersion.empty() ? L"(none)" : installedVersion) + L" in " + folder);
    const bool otherFolder
        = options.hasFolder && !install::IsInstalledFolder(record, sys::ToAnsi(options.folder).c_str(), installed);
    const install::SetupCase setupCase = install::JudgeSetup(installed, kDisplayVersion,
        { .otherFolder = otherFolder, .allowDowngrade = options.allowDowngrade, .repair = options.repair });
    std::wstring refusal;
    switch (setupCase) {
    case install::SetupCase::Upgrade:
        log.Line(L"upgrade from version " + installedVersion + L" to " + version);
        break;
    case install::SetupCase::SameVersion:
        log.Line(options.repair ? L"repair: set up again in its folder" : L"set up again in its folder");
        break;
    case install::SetupCase::RepairOtherVersion:
        log.Line(L"refused: a repair of version " + installedVersion + L" by the setup of version " + version);
        refusal = name + L"のインストールされているバージョン（" + installedVersion + L"）は、このセットアップ（"
            + version + L"）では修復できません。";
        break;
    case install::SetupCase::Downgrade:
        log.Line(L"downgrade from version " + installedVersion + L" to " + version + L", allowed by /ALLOWDOWNGRADE");
        break;
    case install::SetupCase::NewerInstalled:
        log.Line(L"refused: the installed version " + installedVersion + L" is newer than " + version);
        refusal = name + L"の新しいバージョン（" + installedVersion
            + L"）がインストールされています。\nこのセットアップ（" + version
            + L"）で古いバージョンに戻すことはできません。";
        break;
    case install::SetupCase::InstalledElsewhere:
        log.Line(L"refused: the product is installed in " + folder + L", not in the folder of /D=");
        refusal = name + L"は次のフォルダーにインストールされています。\n" + folder
            + L"\n\n別のフォルダーにはインストールできません。";
        break;
    case install::SetupCase::RepairNotInstalled:
        log.Line(L"refused: a repair, and the product is not installed");
        refusal = name + L"はインストールされていません。修復できません。";
        break;
    case install::SetupCase::FirstInstallation:
        break;
    }
    if (!refusal.empty() && !options.silent)
        Tell(refusal, MB_ICONWARNING);
    return install::RefusalExitCode(setupCase);
}

install::ScopeDecision DecideScope(const config::CommandLine& options, const install::InstalledProduct& installed)
{
    const install::ScopeInput input { .currentUser = options.currentUser,
        .allUsers = options.allUsers,
        .elevatedCopy = options.elevated,
        .installed = installed.installed,
        .installedScope = installed.scope };
    return install::DecideScope(input, app::TokenOf(options));
}

// A machine installation without administrator rights: the exit code of the
// copy started with them; after a declined prompt, either 1602 or, when the
// wizard's user chooses to install for this user alone, nothing, with
// options set so.
std::optional<uint32_t> Elevate(config::CommandLine& options, const install::ScopeDecision& decision, bool installed,
    const std::wstring& name, sys::LogFile& log)
{
    const uint32_t code = app::RunElevatedCopy(options, config::Program::Setup, decision.otherAccount, log);
    if (code != ERROR_CANCELLED)
        return code;
    const bool ask
        = install::AfterDeclinedElevation({ .allUsers = options.allUsers, .installed = installed }, options.silent)
        == install::DeclinedAction::AskUserScope;
    if (!ask)
        return config::kExitCancelled;
    const bool user = ui::AskYesNo(nullptr,
        L"すべてのユーザー向けのインストールには、管理者の権限が必要です。\n" + name
            + L"をこのユーザーだけにインストールしますか？",
        ui::ApplicationTitle());
    log.Line(std::wstring(L"question: install for the current user alone? answer: ") + (user ? L"yes" : L"no"));
    if (!user)
        return config::kExitCancelled;
    options.currentUser = true; // chosen: the destination page shows it fixed
    return std::nullopt;
}

// A product installed in one scope is not set up in the other: it would have
// two entries.
void RefuseOtherScope(
    const install::InstalledProduct& installed, const std::wstring& name, bool silent, sys::LogFile& log)
{
    const bool user = installed.scope == install::Scope::User;
    log.Line(std::wstring(L"refused: the product is installed ") + (user ? L"for the current user" : L"for the machine")
        + L", and the setup was asked for the other scope");
    const std::wstring installedFor = user ? L"このユーザーだけ" : L"すべてのユーザー向け";
    const std::wstring asked = user ? L"すべてのユーザー向け" : L"このユーザーだけ";
    if (!silent)
        Tell(name + L"は" + installedFor + L"にインストールされています。\n" + asked
                + L"にはインストールできません。\n\nアンインストールしてから、もう一度セットアップしてください。",
            MB_ICONWARNING);
}

uint32_t Run()
{
    config::CommandLine options;
    const config::CommandLineResult parsed
        = config::ParseCommandLine(GetCommandLineW(), config::Program::Setup, options);
    if (parsed.problem != config::CommandLineProblem::None) {
        if (!options.silent)
            Tell(std::wstring(config::CommandLineProblemText(parsed.problem)) + L": " + parsed.argument + L"\n\n"
                    + kUsage,
                MB_ICONERROR);
        return config::kExitBadCommandLine;
    }
    if (options.help) {
        Tell(kUsage, MB_ICONINFORMATION);
        return config::kExitSuccess;
    }
    sys::LogFile log;
    // The copy started elevated writes into the pipe of the program that
    // started it; only a program started with /LOG= opens that file.
    if (!options.logPipe.empty())
        (void)log.OpenPipe(options.logPipe); // without it, nothing is logged
    else if (!options.log.empty() && !log.Open(options.log, options.elevated)) {
        if (!options.silent)
            Tell(L"ログファイルを作れません: " + options.log, MB_ICONERROR);
        return config::kExitBadCommandLine;
    }
    log.Line(std::wstring(L"setup: ") + GetCommandLineW());

    SetupRecord record;
    (void)ClsYnb().LoadSetupText(record);
    const std::wstring name = sys::FromAnsi(record.ProductName);
    const install::InstalledProduct before = install::FindInstalledProduct(record);
    install::ScopeDecision decision = DecideScope(options, before);
    if (decision.action == install::ScopeAction::Elevate) {
        // The elevated copy takes the lock and does the rest; this process
        // shows no window but the question after a declined prompt.
        if (const std::optional<uint32_t> code = Elevate(options, decision, before.installed, name, log)) {
            log.Line(L"exit code " + std::to_wstring(*code));
            return *code;
        }
    }

    // One setup of a product at a time, in either scope.
    sys::UniqueHandle lock;
    if (!install::TakeProductLock(record, lock)) {
        log.Line(L"another setup of this product is running");
        if (!options.silent)
            Tell(name + L"のセットアップはすでに実行中です。", MB_ICONWARNING);
        return config::kExitAlreadyRunning;
    }
    // A run that was cut off is finished or undone first.
    const app::RecoveryResult recovered = app::RecoverUnfinished(record, app::TokenOf(options).elevated, log);
    if (!sys::SeamValue(sys::TestSeam::RecoverOnly).empty()) {
        log.Line(L"exit code 98: the run ends after the recovery");
        return 98;
    }
    if (!recovered.proceed) {
        if (!options.silent)
            Tell(recovered.text, MB_ICONERROR);
        log.Line(L"exit code " + std::to_wstring(recovered.code));
        return recovered.code;
    }
    // Decided again under the lock, from what the machine has now.
    const install::InstalledProduct installed = install::FindInstalledProduct(record);
    decision = DecideScope(options, installed);
    uint32_t code = config::kExitSuccess;
    switch (decision.action) {
    case install::ScopeAction::OtherScope:
        RefuseOtherScope(installed, name, options.silent, log);
        code = config::kExitOtherScope;
        break;
    case install::ScopeAction::NotElevated:
    case install::ScopeAction::Elevate: // the rights changed under the lock: never a second prompt
        log.Line(L"refused: a machine installation without administrator rights");
        if (!options.silent)
            Tell(L"すべてのユーザー向けのインストールには、管理者の権限が必要です。", MB_ICONERROR);
        code = config::kExitFailed;
        break;
    case install::ScopeAction::Proceed:
        log.Line(decision.scope == install::Scope::User ? L"scope: the current user alone" : L"scope: the machine");
        code = CheckInstalled(options, record, installed, log);
        if (code == config::kExitSuccess)
            code = options.silent ? RunSilent(options, installed, decision.scope, log, record)
                                  : RunWizard(options, installed, decision, recovered.text, log);
        break;
    }
    log.Line(L"exit code " + std::to_wstring(code));
    return code;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    sys::HardenDllSearch();
    if (const std::optional<uint32_t> code = app::RefuseWithoutProduct(config::Program::Setup))
        return static_cast<int>(*code);
    try {
        return static_cast<int>(Run());
    } catch (const ui::Error&) {
        Tell(kLastResort, 0);
        return static_cast<int>(config::kExitFailed);
    }
}
