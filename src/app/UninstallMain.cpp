// The uninstaller's entry. Started from the install folder (the system's list
// of programs runs the registered command), it reads the install log, asks
// the user (not with /S), and removes what the installation placed; /LOG=
// writes what it did, and the exit code tells deployment tools the outcome
// (config/CommandLine.h).
//
// A program cannot delete its own running file, and the install folder that
// holds it cannot go while it runs. So once the user has agreed, the program
// copies itself into a folder it makes for it (sys/RemovalPlace.h: for the
// machine's uninstallation one only administrators may write, never the
// temporary folder of the user), opens that copy with
// FILE_FLAG_DELETE_ON_CLOSE, and starts it with the system folder as its
// current folder, handing it exactly these handles: that one, a handle to
// this process, the writing end of a pipe and the handle of its log (the
// /LOG= file, or the pipe the program that started this one elevated reads).
// The copy removes everything the log names, writes its exit code into the
// pipe and waits for this process, which ends with that code; then the copy
// removes the original program file and the install folder, tells the user,
// moves its own file out of its folder and removes the folder, and ends in
// turn: its inherited handle, the last one to its own file, closes and
// Windows deletes the file. When the copy cannot be started, this process
// removes everything itself and asks Windows to delete its own file and the
// install folder at the next restart (MoveFileEx with
// MOVEFILE_DELAY_UNTIL_REBOOT).
#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

#include "app/Elevated.h"
#include "app/NoProduct.h"
#include "app/Progress.h"
#include "app/Recovery.h"
#include "config/CommandLine.h"
#include "install/ClsUninstall.h"
#include "install/FilesInUse.h"
#include "install/InstallPaths.h"
#include "install/MachineStorage.h"
#include "install/ProductLock.h"
#include "install/Scope.h"
#include "sys/DllSearch.h"
#include "sys/Handle.h"
#include "sys/LogFile.h"
#include "sys/RemovalPlace.h"
#include "sys/RestartManager.h"
#include "sys/Text.h"
#include "sys/Win32.h"
#include "ui/Dialogs.h"
#include "ui/Error.h"
#include "ui/Forms.h"

namespace {

constexpr wchar_t kCaption[] = L"アンインストール";
constexpr wchar_t kQuestionCaption[] = L"確認";
constexpr wchar_t kRemoveSwitch[] = L"/remove-after";
constexpr std::size_t kListedAtMost = 20;
constexpr wchar_t kUsage[]
    = L"使い方: uninstall.exe [/S] [/CLOSEAPPLICATIONS] [/LOG=ファイル]\n\n"
      L"すべてのユーザー向けのインストールは、管理者の権限で削除します（権限がなければ求めます）。"
      L"このユーザーだけのインストールは、権限を求めずに削除します。\n\n"
      L"/S\t画面を出さず、何も尋ねずにアンインストールします。\n"
      L"/CLOSEAPPLICATIONS\t/S と共に: 削除するファイルを使っているプログラムに、終了を求めます。\n"
      L"/LOG=ファイル\t行ったことをすべて、ファイルに UTF-8 で書きます。\n"
      L"/?\tこの説明を表示します。\n\n"
      L"終了コード: 0 成功、3010 再起動後に削除されるものがある、1602 キャンセル、"
      L"1603 失敗、1605 インストールされていない、1618 セットアップが実行中、87 コマンドラインの誤り、"
      L"32 ファイルが使用中のため中止、350 先に Windows の再起動が必要";

// What one run was asked for, and where it writes what it does.
struct Run {
    config::CommandLine options;
    sys::LogFile log;
    std::wstring recovered; // what became of a run that was cut off, for the user
};

void Tell(const Run& run, const std::wstring& text, UINT icon = MB_ICONINFORMATION)
{
    if (run.options.silent)
        return;
    ui::ButtonTexts texts;
    texts.ok = L"OK";
    (void)ui::MessageBoxExact(
        nullptr, run.recovered.empty() ? text : run.recovered + L"\n\n" + text, kCaption, MB_OK | icon, texts);
}

// The transaction of the product's uninstallation, in the entry's scope.
install::Transaction UninstallTransaction(const install::Storage& storage, const ClsUninstall& uninstall)
{
    char product[install::kPathSize] = {};
    (void)install::FirstComponent(uninstall.Record().ProductFolder, product);
    return install::Transaction(
        storage, uninstall.UserEntry() ? install::Scope::User : install::Scope::Machine, product);
}

uint32_t NotBegunCode(ClsUninstall::Start start)
{
    return start == ClsUninstall::Start::RestartFirst ? config::kExitRestartFirst : config::kExitFailed;
}

// Nothing was removed: why, and the exit code.
uint32_t TellNotBegun(Run& run, ClsUninstall::Start start, const ClsUninstall::Outcome& outcome)
{
    if (start == ClsUninstall::Start::RestartFirst) {
        std::wstring files;
        for (const ClsUninstall::Remaining& item : outcome.remaining)
            if (item.reason == ClsUninstall::Reason::Scheduled) {
                run.log.Line(L"Windows must restart first: it has work left for " + sys::FromAnsi(item.path.c_str()));
                files += L"\n" + sys::FromAnsi(item.path.c_str());
            }
        Tell(run,
            L"Windows が再起動の後に行う処理が、次のファイルに残っています。" + files
                + L"\n\nWindows を再起動してから、もう一度アンインストールしてください。何も削除しませんでした。",
            MB_ICONWARNING);
    } else {
        run.log.Line(L"the uninstallation could not begin: nothing was removed");
        Tell(run, L"アンインストールを始められませんでした。\n何も削除しませんでした。", MB_ICONERROR);
    }
    return NotBegunCode(start);
}

// Before anything is removed: files that programs hold are let go (the user
// closes the programs, or they are asked to close), or the uninstallation
// is cancelled (32), or what stays held goes at the next restart (3010, as
// for whatever else cannot be removed). 0 when the removal may go on.
uint32_t SettleHeldFiles(Run& run, const ClsUninstall& uninstall)
{
    // Every file to remove is registered with Restart Manager; the probe
    // finds those a program holds.
    const std::vector<std::string> targets = uninstall.FilesToRemove();
    const std::vector<uint32_t> ours = { GetCurrentProcessId() };
    sys::RestartManager manager;
    (void)manager.Register(targets);
    install::InUseSteps steps;
    steps.look = [&](const std::vector<std::string>& held) {
        return install::InUse { sys::HeldFiles(held), manager.Holders(ours) };
    };
    if (!run.options.silent)
        steps.ask = [](const install::InUse& now, bool closeTried) {
            return ui::FilesInUseQuestion(now.held, now.programs, closeTried, true, kCaption);
        };
    steps.close = [&manager] { return manager.Shutdown(); };
    steps.seen = [&run](const install::InUse& now) {
        std::wstring line = L"held by programs:";
        for (const std::wstring& program : now.programs)
            line += L" " + program;
        for (const std::string& file : now.held)
            line += L" " + sys::FromAnsi(file.c_str());
        run.log.Line(line);
    };
    steps.closed = [&run](bool closed) {
        run.log.Line(closed ? L"the programs were asked to close" : L"the programs could not be asked to close");
    };
    const install::InUseOutcome settled
        = install::SettleInUse(install::InUse { sys::HeldFiles(targets), manager.Holders(ours) },
            run.options.closeApplications, steps, !uninstall.UserEntry());
    if (settled.cancelled) {
        run.log.Line(L"cancelled: files in use");
        return config::kExitFilesInUse;
    }
    if (!settled.atRestart.empty())
        run.log.Line(L"what stays held goes when Windows restarts");
    return config::kExitSuccess;
}

// Tells why nothing was done and gives the exit code; 0 when the
// uninstallation may go on.
uint32_t TellState(Run& run, ClsUninstall::State state, const std::wstring& name)
{
    std::wstring text;
    uint32_t code = config::kExitFailed;
    switch (state) {
    case ClsUninstall::State::Ready:
        return config::kExitSuccess;
    case ClsUninstall::State::NotInstalled:
        text = name + L"はインストールされていません。";
        code = config::kExitNotInstalled;
        break;
    case ClsUninstall::State::Unreadable:
        text = L"アンインストール情報（instdir.dat）を読み込めません。\n何も削除しませんでした。";
        break;
    case ClsUninstall::State::Damaged:
        text = L"アンインストール情報（instdir.dat）が壊れています。\n何も削除しませんでした。";
        break;
    case ClsUninstall::State::WrongFolder:
        text = L"アンインストール情報がこのフォルダーのものではありません。\n何も削除しませんでした。";
        break;
    }
    run.log.Line(text);
    Tell(run, text, code == config::kExitNotInstalled ? MB_ICONINFORMATION : MB_ICONERROR);
    return code;
}

const wchar_t* RefusalText(install::Refusal refusal)
{
    switch (refusal) {
    case install::Refusal::ClimbsAboveRoot:
        return L"ドライブの外を指しているため削除しません";
    case install::Refusal::Protected:
        return L"システムまたはユーザーのフォルダーのため削除しません";
    case install::Refusal::Outside:
        return L"インストールした場所の外にあるため削除しません";
    case install::Refusal::Unprotected:
        return L"保護されていないアンインストール情報にあり、インストールしたフォルダーの外にあるため削除しません";
    default:
        return L"正しいパスではないため削除しません";
    }
}

const wchar_t* ReasonText(const ClsUninstall::Remaining& item)
{
    switch (item.reason) {
    case ClsUninstall::Reason::Refused:
        return RefusalText(item.refusal);
    case ClsUninstall::Reason::InUse:
        return L"使用中か、削除する権限がありません";
    case ClsUninstall::Reason::NotEmpty:
        return L"ほかのファイルがあるため残しました";
    case ClsUninstall::Reason::Link:
        return L"リンクを通る場所のため削除しません";
    case ClsUninstall::Reason::Scheduled:
        return L"Windows の再起動後に削除されます";
    default:
        return L"削除できませんでした";
    }
}

// Who could have changed the log or the uninstaller, one line each.
std::wstring TrustText(const ClsUninstall::Trust& trust)
{
    std::wstring text;
    const std::pair<const wchar_t*, sys::Protection> parts[] = { { L"アンインストール情報（instdir.dat）", trust.log },
        { L"アンインストール情報のフォルダー", trust.logFolder }, { L"アンインストーラー", trust.program } };
    for (const auto& [what, protection] : parts)
        if (protection != sys::Protection::Protected)
            text += std::wstring(L"\n") + what + L": " + sys::ProtectionText(protection);
    return text;
}

std::wstring OutcomeText(const std::wstring& name, const ClsUninstall& uninstall, const ClsUninstall::Outcome& outcome)
{
    std::wstring text = name + L"をアンインストールしました。\n\n削除したもの: ファイル "
        + std::to_wstring(outcome.files) + L" 個、フォルダー " + std::to_wstring(outcome.folders)
        + L" 個、ショートカット " + std::to_wstring(outcome.shortcuts) + L" 個";
    if (outcome.keyRemoved)
        text += L"、プログラムの一覧の登録";
    if (!uninstall.LogTrust().Trusted())
        text += L"\n\nアンインストール情報が保護されていなかったため、インストールしたフォルダーの外にあるものは削除し"
                L"ませんでした。"
            + TrustText(uninstall.LogTrust());
    if (outcome.remaining.empty())
        return text;
    text += L"\n\n次のものは残っています。";
    std::size_t listed = 0;
    for (const ClsUninstall::Remaining& item : outcome.remaining) {
        if (listed++ == kListedAtMost) {
            text += L"\nほか " + std::to_wstring(outcome.remaining.size() - kListedAtMost) + L" 件";
            break;
        }
        text += L"\n" + sys::FromAnsi(item.path.c_str()) + L"（" + ReasonText(item) + L"）";
    }
    return text;
}

void LogOutcome(Run& run, const ClsUninstall& uninstall, const ClsUninstall::Outcome& outcome)
{
    if (!uninstall.LogTrust().Trusted())
        run.log.Line(L"the install log or the uninstaller could be changed by others: only the install folder is "
                     L"taken"
            + TrustText(uninstall.LogTrust()));
    run.log.Line(L"removed " + std::to_wstring(outcome.files) + L" files, " + std::to_wstring(outcome.folders)
        + L" folders, " + std::to_wstring(outcome.shortcuts) + L" shortcuts"
        + (outcome.keyRemoved ? L" and the uninstall entry" : L""));
    for (const std::string& path : outcome.removed)
        run.log.Line(L"removed " + sys::FromAnsi(path.c_str()));
    for (const ClsUninstall::Remaining& item : outcome.remaining)
        run.log.Line(L"left " + sys::FromAnsi(item.path.c_str()) + L": " + ReasonText(item)
            + (item.error != 0 ? L" (error " + std::to_wstring(item.error) + L")" : std::wstring()));
}

// What the copy removed or left after it logged its outcome: the program
// file and the install folder.
void LogLater(Run& run, const ClsUninstall::Outcome& outcome, std::size_t logged)
{
    std::size_t index = 0;
    for (const std::string& path : outcome.removed)
        if (index++ >= logged)
            run.log.Line(L"removed " + sys::FromAnsi(path.c_str()));
    for (const ClsUninstall::Remaining& item : outcome.remaining)
        if (index++ >= logged)
            run.log.Line(L"left " + sys::FromAnsi(item.path.c_str()) + L": " + ReasonText(item)
                + (item.error != 0 ? L" (error " + std::to_wstring(item.error) + L")" : std::wstring()));
}

uint32_t ExitCodeOf(const ClsUninstall::Outcome& outcome)
{
    if (outcome.Failed())
        return config::kExitFailed;
    return outcome.Scheduled() ? config::kExitRestartNeeded : config::kExitSuccess;
}

// The progress window while `work` runs, unless silent.
template <typename Work>
void WithProgress(const Run& run, Work work)
{
    if (run.options.silent) {
        work(std::function<void()>());
        return;
    }
    TForm3 progress(kCaption, L"アンインストール中...");
    progress.Show();
    ui::Application::ProcessMessages();
    work(std::function<void()>([] { ui::Application::ProcessMessages(); }));
    progress.Hide();
    ui::Application::ProcessMessages();
}

// Starts the temporary copy that does the removal (see the top of this file),
// handing it the writing end of `pipe`; false, leaving no copy behind, when it
// cannot.
bool StartRemovalCopy(const std::wstring& program, Run& run, bool machine, HANDLE pipe, HANDLE lock)
{
    sys::RemovalPlace place;
    if (!place.Make(program, machine ? sys::TrustScope::Machine : sys::TrustScope::User)) {
        run.log.Line(L"no place for the copy of the uninstaller: " + place.Why());
        return false;
    }
    run.log.Line(L"the copy of the uninstaller runs from " + place.Program());
    SECURITY_ATTRIBUTES inherit { sizeof inherit, nullptr, TRUE };
    // From here on, closing this handle deletes the copy; the folder is only
    // administrators' (or, for the user's own, the user's): nobody else may
    // have changed what this path names.
    sys::UniqueFile deleteOnClose(CreateFileW(place.Program().c_str(), GENERIC_READ | DELETE,
        FILE_SHARE_READ | FILE_SHARE_DELETE, &inherit, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!deleteOnClose) {
        place.Remove();
        return false;
    }
    HANDLE self = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self,
            SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, TRUE, 0)) {
        deleteOnClose.Reset();
        place.Remove();
        return false;
    }
    sys::UniqueHandle selfOwner(self);
    auto number = [](HANDLE handle) {
        return std::to_wstring(static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(handle)));
    };
    const HANDLE log = run.log.IsOpen() ? run.log.Handle() : nullptr;
    std::wstring commandLine = L"\"" + place.Program() + L"\" " + kRemoveSwitch + L" " + number(self) + L" "
        + number(pipe) + L" " + number(log) + L" " + number(deleteOnClose.Get()) + L" \"" + program + L"\"";
    if (run.options.silent)
        commandLine += L" /S";
    // Its current folder is the system's, which nobody else may write.
    wchar_t system[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (!sys::StartInheriting(place.Program(), commandLine, length > 0 && length < MAX_PATH ? system : L"",
            { self, pipe, deleteOnClose.Get(), log, lock })) {
        run.log.Line(L"the copy of the uninstaller did not start (error " + std::to_wstring(GetLastError()) + L")");
        deleteOnClose.Reset();
        place.Remove();
        return false;
    }
    return true;
}

HANDLE HandleArgument(const wchar_t* text)
{
    wchar_t* end = nullptr;
    const unsigned long long value = std::wcstoull(text, &end, 10);
    return end != text && *end == L'\0' ? reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value)) : nullptr;
}

// The temporary copy: removes what the log names, tells the program that
// started it the exit code, waits for it to end, then removes its file and
// the install folder.
uint32_t RunCopy(
    Run& run, const wchar_t* parentHandle, const wchar_t* pipeHandle, const wchar_t* ownHandle, const wchar_t* program)
{
    struct Leave { // whatever the outcome, the copy's folder goes
        Run& run;
        HANDLE own;
        ~Leave() { run.log.Line(sys::LeaveRemovalPlace(own)); }
    } leave { run, HandleArgument(ownHandle) };
    // Only a copy started by the uninstaller holds a process handle to it and
    // the writing end of a pipe.
    sys::UniqueHandle parent(HandleArgument(parentHandle));
    sys::UniqueFile pipe(HandleArgument(pipeHandle));
    if (!parent || !pipe || GetProcessId(parent.Get()) == 0 || GetFileType(pipe.Get()) != FILE_TYPE_PIPE) {
        (void)parent.Release(); // not ours to close
        (void)pipe.Release();
        return config::kExitBadCommandLine;
    }
    auto report = [&pipe](uint32_t code) {
        DWORD written = 0;
        (void)WriteFile(pipe.Get(), &code, sizeof code, &written, nullptr);
        pipe.Reset();
        return code;
    };
    const std::string programPath = sys::ToAnsi(program);
    ClsUninstall uninstall;
    const ClsUninstall::State state = uninstall.Prepare(programPath.c_str());
    const std::wstring name = sys::FromAnsi(uninstall.Record().ProductName);
    const uint32_t refused = TellState(run, state, name);
    if (refused != config::kExitSuccess)
        return report(refused);

    ClsUninstall::Outcome outcome;
    uint32_t code = config::kExitSuccess;
    // Whatever a program still holds now, after the question, goes at the restart.
    const std::vector<std::string> held = sys::HeldFiles(uninstall.FilesToRemove());
    const install::Storage storage = install::MachineStorage();
    install::Transaction tx = UninstallTransaction(storage, uninstall);
    ClsUninstall::Start start = ClsUninstall::Start::NotBegun;
    std::size_t logged = 0;
    WithProgress(run, [&](const std::function<void()>& step) {
        start = uninstall.RemoveInstalled(tx, held, outcome, step);
        code = start == ClsUninstall::Start::Removing ? ExitCodeOf(outcome) : NotBegunCode(start);
        if (start == ClsUninstall::Start::Removing) {
            // Logged before the programs that started this one end: the log
            // may be theirs to write (a pipe), and then what follows reaches
            // it no more.
            LogOutcome(run, uninstall, outcome);
            logged = outcome.removed.size() + outcome.remaining.size();
            run.log.Line(L"next, once the programs that started this copy have ended: the uninstaller's own file "
                         L"and the install folder");
        }
        (void)report(code);
        if (start == ClsUninstall::Start::Removing)
            uninstall.RemoveProgram(tx, WaitForSingleObject(parent.Get(), 60000) != WAIT_OBJECT_0, outcome);
    });
    if (start != ClsUninstall::Start::Removing)
        return TellNotBegun(run, start, outcome);
    LogLater(run, outcome, logged);
    Tell(run, OutcomeText(name, uninstall, outcome), outcome.remaining.empty() ? MB_ICONINFORMATION : MB_ICONWARNING);
    return code;
}

uint32_t RunUninstaller(Run& run)
{
    const std::wstring program = sys::ModulePath();
    if (program.empty())
        return config::kExitFailed;
    const std::string programPath = sys::ToAnsi(program);
    ClsUninstall uninstall;
    ClsUninstall::State state = uninstall.Prepare(programPath.c_str());
    const std::wstring name = sys::FromAnsi(uninstall.Record().ProductName);

    // The machine's installation is removed with administrator rights: the
    // copy started with them takes the lock and does the rest. The user's
    // own is removed by the user, never elevated.
    if (state == ClsUninstall::State::Ready) {
        const install::ScopeDecision decision
            = install::DecideUninstallScope(uninstall.UserEntry(), run.options.elevated, app::TokenOf(run.options));
        run.log.Line(uninstall.UserEntry() ? L"scope: the current user alone" : L"scope: the machine");
        if (decision.action == install::ScopeAction::Elevate) {
            const uint32_t code
                = app::RunElevatedCopy(run.options, config::Program::Uninstall, decision.otherAccount, run.log);
            return code == ERROR_CANCELLED ? config::kExitCancelled : code;
        }
        if (decision.action == install::ScopeAction::NotElevated) {
            run.log.Line(L"refused: the machine's installation, and no administrator rights");
            Tell(run, name + L"のアンインストールには、管理者の権限が必要です。", MB_ICONERROR);
            return config::kExitFailed;
        }
    }

    // Not while a setup or another uninstallation of the product runs.
    sys::UniqueHandle lock;
    if (!install::TakeProductLock(uninstall.Record(), lock)) {
        run.log.Line(L"a setup of this product is running");
        Tell(run, name + L"のセットアップが実行中です。終わってからアンインストールしてください。", MB_ICONWARNING);
        return config::kExitAlreadyRunning;
    }
    // A run that was cut off is finished or undone first; the log is read again.
    const app::RecoveryResult recovered
        = app::RecoverUnfinished(uninstall.Record(), app::TokenOf(run.options).elevated, run.log);
    if (!recovered.proceed) {
        Tell(run, recovered.text, MB_ICONERROR);
        return recovered.code;
    }
    run.recovered = recovered.text;
    state = uninstall.Prepare(programPath.c_str());

    const uint32_t refused = TellState(run, state, name);
    if (refused != config::kExitSuccess)
        return refused;
    if (!run.options.silent) {
        const bool yes = ui::AskYesNo(nullptr, name + L"をアンインストールします。よろしいですか？", kQuestionCaption);
        run.log.Line(yes ? L"question: uninstall? answer: yes" : L"question: uninstall? answer: no");
        if (!yes)
            return config::kExitCancelled;
    }
    if (const uint32_t held = SettleHeldFiles(run, uninstall); held != config::kExitSuccess)
        return held;

    // The copy reports its exit code through a pipe, whose end is ours to read.
    SECURITY_ATTRIBUTES inherit { sizeof inherit, nullptr, TRUE };
    sys::UniqueFile reading;
    sys::UniqueFile writing;
    if (CreatePipe(reading.Put(), writing.Put(), &inherit, 0)) {
        (void)SetHandleInformation(reading.Get(), HANDLE_FLAG_INHERIT, 0);
        run.log.Line(L"the removal continues in a copy of the uninstaller");
        // The copy holds the product's lock until it is done.
        if (StartRemovalCopy(program, run, !uninstall.UserEntry(), writing.Get(), lock.Get())) {
            writing.Reset(); // the copy holds the only writing end: its end breaks the pipe
            uint32_t code = config::kExitFailed;
            DWORD read = 0;
            if (!ReadFile(reading.Get(), &code, sizeof code, &read, nullptr) || read != sizeof code)
                code = config::kExitFailed; // the copy ended without telling
            return code;
        }
    }

    run.log.Line(L"no copy of the uninstaller could be started: this program removes, and Windows deletes it at "
                 L"the next restart");
    ClsUninstall::Outcome outcome;
    const std::vector<std::string> held = sys::HeldFiles(uninstall.FilesToRemove());
    const install::Storage storage = install::MachineStorage();
    install::Transaction tx = UninstallTransaction(storage, uninstall);
    ClsUninstall::Start start = ClsUninstall::Start::NotBegun;
    WithProgress(run, [&](const std::function<void()>& step) {
        start = uninstall.RemoveInstalled(tx, held, outcome, step);
        if (start == ClsUninstall::Start::Removing)
            uninstall.RemoveProgram(tx, true, outcome);
    });
    if (start != ClsUninstall::Start::Removing)
        return TellNotBegun(run, start, outcome);
    LogOutcome(run, uninstall, outcome);
    Tell(run, OutcomeText(name, uninstall, outcome), outcome.remaining.empty() ? MB_ICONINFORMATION : MB_ICONWARNING);
    return ExitCodeOf(outcome);
}

uint32_t Start()
{
    Run run;
    int count = 0;
    const sys::UniqueLocal argumentList(CommandLineToArgvW(GetCommandLineW(), &count));
    auto* arguments = static_cast<LPWSTR*>(argumentList.Get());
    const bool copy = arguments != nullptr && count >= 7 && std::wcscmp(arguments[1], kRemoveSwitch) == 0;

    // The copy's own switches follow its handles and the program's path.
    std::wstring line = GetCommandLineW();
    if (copy) {
        line = L"copy";
        for (int i = 7; i < count; ++i)
            line += std::wstring(L" \"") + arguments[i] + L"\"";
    }
    const config::CommandLineResult parsed = config::ParseCommandLine(line, config::Program::Uninstall, run.options);
    if (parsed.problem != config::CommandLineProblem::None) {
        if (!run.options.silent)
            Tell(run,
                std::wstring(config::CommandLineProblemText(parsed.problem)) + L": " + parsed.argument + L"\n\n"
                    + kUsage,
                MB_ICONERROR);
        return config::kExitBadCommandLine;
    }
    if (run.options.help) {
        Tell(run, kUsage);
        return config::kExitSuccess;
    }
    // The copy writes through the log handle it inherited, the program
    // started elevated into its caller's pipe; only a program started with
    // /LOG= opens that file.
    if (copy) {
        const HANDLE log = HandleArgument(arguments[4]);
        const DWORD type = log != nullptr ? GetFileType(log) : FILE_TYPE_UNKNOWN;
        if (type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE)
            run.log.Adopt(log);
    } else if (!run.options.logPipe.empty()) {
        (void)run.log.OpenPipe(run.options.logPipe); // without it, nothing is logged
    } else if (!run.options.log.empty() && !run.log.Open(run.options.log, run.options.elevated)) {
        Tell(run, L"ログファイルを作れません: " + run.options.log, MB_ICONERROR);
        return config::kExitBadCommandLine;
    }
    if (!copy)
        run.log.Line(std::wstring(L"uninstall: ") + GetCommandLineW());
    ui::Application::Initialize();
    const uint32_t code
        = copy ? RunCopy(run, arguments[2], arguments[3], arguments[5], arguments[6]) : RunUninstaller(run);
    run.log.Line(L"exit code " + std::to_wstring(code));
    return code;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    sys::HardenDllSearch();
    if (const std::optional<uint32_t> code = app::RefuseWithoutProduct(config::Program::Uninstall))
        return static_cast<int>(*code);
    try {
        return static_cast<int>(Start());
    } catch (const ui::Error&) {
        ui::ButtonTexts texts;
        texts.ok = L"OK";
        (void)ui::MessageBoxExact(
            nullptr, L"アンインストール中にエラーが発生したため終了します。", kCaption, MB_OK | MB_ICONERROR, texts);
        return static_cast<int>(config::kExitFailed);
    }
}
