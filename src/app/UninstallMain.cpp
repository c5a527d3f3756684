// The uninstaller's entry. Started from the install folder (the system's list
// of programs runs the registered command), it reads the install log, asks
// the user, and removes what the installation placed.
//
// A program cannot delete its own running file, and the install folder that
// holds it cannot go while it runs. So once the user has agreed, the program
// copies itself to the temporary folder, opens that copy with
// FILE_FLAG_DELETE_ON_CLOSE through an inheritable handle, starts the copy
// (which inherits the handle, and a handle to this process) and ends. The copy
// waits for this process to end, removes everything, the original program
// file and the install folder included, and ends in turn: its inherited
// handle, the last one to its own file, closes and Windows deletes the file.
// When the copy cannot be started, this process removes everything itself
// and asks Windows to delete its own file and the install folder at the next
// restart (MoveFileEx with MOVEFILE_DELAY_UNTIL_REBOOT).
#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

#include "app/Progress.h"
#include "install/ClsUninstall.h"
#include "sys/DllSearch.h"
#include "sys/Handle.h"
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

void Tell(const std::wstring& text, UINT icon = MB_ICONINFORMATION)
{
    ui::ButtonTexts texts;
    texts.ok = L"OK";
    (void)ui::MessageBoxExact(nullptr, text, kCaption, MB_OK | icon, texts);
}

bool Ask(const std::wstring& text)
{
    ui::ButtonTexts texts;
    texts.yes = L"はい(&Y)";
    texts.no = L"いいえ(&N)";
    return ui::MessageBoxExact(nullptr, text, kQuestionCaption, MB_YESNO | MB_ICONQUESTION, texts) == IDYES;
}

// Tells why nothing was done; false when the uninstallation may go on.
bool TellState(ClsUninstall::State state, const std::wstring& name)
{
    switch (state) {
    case ClsUninstall::State::Ready:
        return false;
    case ClsUninstall::State::NotInstalled:
        Tell(name + L"はインストールされていません。");
        break;
    case ClsUninstall::State::Unreadable:
        Tell(L"アンインストール情報（instdir.dat）を読み込めません。\n何も削除しませんでした。", MB_ICONERROR);
        break;
    case ClsUninstall::State::Damaged:
        Tell(L"アンインストール情報（instdir.dat）が壊れています。\n何も削除しませんでした。", MB_ICONERROR);
        break;
    case ClsUninstall::State::WrongFolder:
        Tell(L"アンインストール情報がこのフォルダーのものではありません。\n何も削除しませんでした。", MB_ICONERROR);
        break;
    }
    return true;
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

std::wstring OutcomeText(const std::wstring& name, const ClsUninstall::Outcome& outcome)
{
    std::wstring text = name + L"をアンインストールしました。\n\n削除したもの: ファイル "
        + std::to_wstring(outcome.files) + L" 個、フォルダー " + std::to_wstring(outcome.folders)
        + L" 個、ショートカット " + std::to_wstring(outcome.shortcuts) + L" 個";
    if (outcome.keyRemoved)
        text += L"、プログラムの一覧の登録";
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

// Removes everything with the progress window shown, then says what was done.
void RunRemoval(ClsUninstall& uninstall, const std::wstring& name, bool programRunning)
{
    TForm3 progress(kCaption, L"アンインストール中...");
    progress.Show();
    ui::Application::ProcessMessages();
    const ClsUninstall::Outcome outcome = uninstall.Remove(programRunning, [] { ui::Application::ProcessMessages(); });
    progress.Hide();
    ui::Application::ProcessMessages();
    Tell(OutcomeText(name, outcome), outcome.remaining.empty() ? MB_ICONINFORMATION : MB_ICONWARNING);
}

// Starts the temporary copy that does the removal (see the top of this file);
// false, leaving no copy behind, when it cannot.
bool StartRemovalCopy(const std::wstring& program)
{
    const std::wstring temp = sys::TempFolder();
    if (temp.empty())
        return false;
    std::wstring copy;
    for (int attempt = 0;; ++attempt) {
        if (attempt == 100)
            return false;
        copy = temp + L"ynb-uninstall-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(attempt)
            + L".exe";
        if (CopyFileW(program.c_str(), copy.c_str(), TRUE))
            break;
        if (GetLastError() != ERROR_FILE_EXISTS)
            return false;
    }
    SECURITY_ATTRIBUTES inherit { sizeof inherit, nullptr, TRUE };
    // From here on, closing this handle deletes the copy.
    sys::UniqueFile deleteOnClose(CreateFileW(copy.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, &inherit,
        OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!deleteOnClose) {
        (void)DeleteFileW(copy.c_str());
        return false;
    }
    HANDLE self = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self, SYNCHRONIZE, TRUE, 0))
        return false;
    sys::UniqueHandle selfOwner(self);
    std::wstring commandLine = L"\"" + copy + L"\" " + kRemoveSwitch + L" "
        + std::to_wstring(static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(self))) + L" \"" + program
        + L"\"";
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process {};
    if (!CreateProcessW(
            copy.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, temp.c_str(), &startup, &process))
        return false;
    sys::UniqueHandle thread(process.hThread);
    sys::UniqueHandle started(process.hProcess);
    return true;
}

// The temporary copy: waits for the program it was started by, then removes.
void RunCopy(const wchar_t* parentHandle, const wchar_t* program)
{
    wchar_t* end = nullptr;
    const unsigned long long value = std::wcstoull(parentHandle, &end, 10);
    if (end == parentHandle || *end != L'\0')
        return;
    sys::UniqueHandle parent(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value)));
    // Only a copy started by the uninstaller holds a handle to it.
    if (WaitForSingleObject(parent.Get(), 60000) != WAIT_OBJECT_0)
        return;
    const std::string programPath = sys::ToAnsi(program);
    ClsUninstall uninstall;
    const ClsUninstall::State state = uninstall.Prepare(programPath.c_str());
    const std::wstring name = sys::FromAnsi(uninstall.Record().ProductName);
    if (TellState(state, name))
        return;
    RunRemoval(uninstall, name, false);
}

void RunUninstaller()
{
    int count = 0;
    const sys::UniqueLocal argumentList(CommandLineToArgvW(GetCommandLineW(), &count));
    auto* arguments = static_cast<LPWSTR*>(argumentList.Get());
    if (arguments != nullptr && count == 4 && std::wcscmp(arguments[1], kRemoveSwitch) == 0) {
        RunCopy(arguments[2], arguments[3]);
        return;
    }

    const std::wstring program = sys::ModulePath();
    if (program.empty())
        return;
    const std::string programPath = sys::ToAnsi(program);
    ClsUninstall uninstall;
    const ClsUninstall::State state = uninstall.Prepare(programPath.c_str());
    const std::wstring name = sys::FromAnsi(uninstall.Record().ProductName);
    if (TellState(state, name))
        return;
    if (!Ask(name + L"をアンインストールします。よろしいですか？"))
        return;
    if (StartRemovalCopy(program))
        return;
    RunRemoval(uninstall, name, true);
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    sys::HardenDllSearch();
    try {
        ui::Application::Initialize();
        RunUninstaller();
    } catch (const ui::Error&) {
        Tell(L"アンインストール中にエラーが発生したため終了します。", MB_ICONERROR);
    }
    return 0;
}
