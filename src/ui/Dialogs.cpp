#include "ui/Dialogs.h"

#include <winnetwk.h>

#include <cstring>
#include <iterator>
#include <vector>

#include "sys/DllSearch.h"
#include "sys/Handle.h"
#include "sys/Text.h"
#include "sys/Win32.h"

namespace ui {

namespace {

// The texts for the next message box of this thread; the hook puts them on
// its buttons when the box is activated, and removes itself.
thread_local ButtonTexts pendingTexts;
thread_local HHOOK relabelHook = nullptr;

void SetButtonText(HWND box, int id, const wchar_t* text)
{
    if (text != nullptr)
        (void)SetDlgItemTextW(box, id, text);
}

LRESULT CALLBACK RelabelButtons(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        HWND box = reinterpret_cast<HWND>(wParam);
        wchar_t name[16] = {};
        if (GetClassNameW(box, name, 16) > 0 && std::wcscmp(name, L"#32770") == 0) {
            SetButtonText(box, IDOK, pendingTexts.ok);
            SetButtonText(box, IDCANCEL, pendingTexts.cancel);
            SetButtonText(box, IDYES, pendingTexts.yes);
            SetButtonText(box, IDNO, pendingTexts.no);
            (void)UnhookWindowsHookEx(relabelHook);
            relabelHook = nullptr;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

constexpr wchar_t kOk[] = L"OK";
constexpr wchar_t kCancel[] = L"キャンセル";
constexpr wchar_t kConfirmCaption[] = L"確認";

// Control ids of the directory dialog.
enum : WORD {
    kNameLabel = 200,
    kName,
    kDirsLabel,
    kPath,
    kDirs,
    kFilesLabel,
    kFiles,
    kDrivesLabel,
    kDrives,
    kNetwork,
};

// An in-memory dialog template (DLGTEMPLATE followed by its items).
class DialogTemplate {
public:
    DialogTemplate(const wchar_t* caption, short cx, short cy, WORD pointSize, const wchar_t* face)
    {
        const DWORD style = DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
        AddDword(style);
        AddDword(0);
        countIndex_ = data_.size();
        data_.push_back(0); // item count
        AddShorts({ 0, 0, cx, cy });
        data_.push_back(0); // no menu
        data_.push_back(0); // default class
        AddString(caption);
        data_.push_back(pointSize);
        AddString(face);
    }

    void Add(WORD classAtom, WORD id, const wchar_t* text, DWORD style, short x, short y, short cx, short cy)
    {
        if (data_.size() % 2 != 0)
            data_.push_back(0); // items start on a DWORD boundary
        AddDword(style | WS_CHILD | WS_VISIBLE);
        AddDword(0);
        AddShorts({ x, y, cx, cy });
        data_.push_back(id);
        data_.push_back(0xFFFF);
        data_.push_back(classAtom);
        AddString(text);
        data_.push_back(0); // no creation data
        ++data_[countIndex_];
    }

    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(data_.data()); }

private:
    void AddDword(DWORD value)
    {
        data_.push_back(LOWORD(value));
        data_.push_back(HIWORD(value));
    }
    void AddShorts(std::initializer_list<short> values)
    {
        for (short v : values)
            data_.push_back(static_cast<WORD>(v));
    }
    void AddString(const wchar_t* text)
    {
        for (; *text != L'\0'; ++text)
            data_.push_back(static_cast<WORD>(*text));
        data_.push_back(0);
    }

    std::vector<WORD> data_; // new[] storage is aligned for DWORDs
    std::size_t countIndex_ = 0;
};

constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kEditAtom = 0x0081;
constexpr WORD kStaticAtom = 0x0082;
constexpr WORD kListBoxAtom = 0x0083;
constexpr WORD kComboBoxAtom = 0x0085;

struct DirectoryDialogState {
    std::string initial;
    std::string result;
};

std::wstring ItemText(HWND dialog, int id)
{
    HWND item = GetDlgItem(dialog, id);
    const int length = item != nullptr ? GetWindowTextLengthW(item) : 0;
    if (length <= 0)
        return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(item, text.data(), length + 1);
    text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    return text;
}

// Fills the lists from the current directory.
void FillLists(HWND dialog)
{
    char spec[MAX_PATH] = "*.*";
    (void)DlgDirListA(dialog, spec, kDirs, kPath, DDL_DIRECTORY | DDL_EXCLUSIVE);
    std::strcpy(spec, "*.*");
    (void)DlgDirListA(dialog, spec, kFiles, 0, DDL_READWRITE | DDL_READONLY | DDL_ARCHIVE);
    std::strcpy(spec, "*.*");
    (void)DlgDirListComboBoxA(dialog, spec, kDrives, 0, DDL_DRIVES | DDL_EXCLUSIVE);
    const std::string current = sys::CurrentDirectory();
    if (current.size() >= 2 && current[1] == ':') {
        char drive[8] = { '[', '-', static_cast<char>(current[0] | 0x20), '-', ']', '\0' };
        (void)SendDlgItemMessageA(
            dialog, kDrives, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(drive));
    }
}

void ShowCurrentInName(HWND dialog)
{
    (void)SetDlgItemTextW(dialog, kName, sys::FromAnsi(sys::CurrentDirectory().c_str()).c_str());
}

void AcceptOrAsk(HWND dialog, DirectoryDialogState& state)
{
    const std::string typed = sys::ToAnsi(ItemText(dialog, kName).c_str());
    char full[MAX_PATH] = {};
    const DWORD length = typed.empty() ? 0 : GetFullPathNameA(typed.c_str(), MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH) {
        MessageBeep(MB_ICONEXCLAMATION);
        (void)SetFocus(GetDlgItem(dialog, kName));
        return;
    }
    const DWORD attributes = GetFileAttributesA(full);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        if (!AskYesNo(dialog, L"指定されたディレクトリが存在しません。作成しますか？", kConfirmCaption)) {
            (void)SetFocus(GetDlgItem(dialog, kName));
            return;
        }
        // A folder that cannot be made is taken all the same; the
        // installation reports what it cannot write.
        (void)sys::CreateFolderTree(full);
    }
    state.result = full;
    (void)EndDialog(dialog, IDOK);
}

// The system's dialog for connecting a network drive. mpr.dll is no known
// DLL, so it is loaded from the system folder by its full path rather than
// imported (an import would be looked for beside the program first).
bool ConnectNetworkDrive(HWND owner)
{
    const sys::UniqueModule mpr = sys::LoadSystemLibrary(L"mpr.dll");
    if (!mpr)
        return false;
    using ConnectionDialog = DWORD(WINAPI*)(HWND, DWORD);
    auto connect = reinterpret_cast<ConnectionDialog>(
        reinterpret_cast<void (*)()>(GetProcAddress(mpr.Get(), "WNetConnectionDialog")));
    return connect != nullptr && connect(owner, RESOURCETYPE_DISK) == NO_ERROR;
}

INT_PTR CALLBACK DirectoryDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        auto* state = reinterpret_cast<DirectoryDialogState*>(GetWindowLongPtrW(dialog, DWLP_USER));
        switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            state = reinterpret_cast<DirectoryDialogState*>(lParam);
            FillLists(dialog);
            (void)SetDlgItemTextW(dialog, kName, sys::FromAnsi(state->initial.c_str()).c_str());
            return TRUE;
        case WM_COMMAND:
            if (state == nullptr)
                return FALSE;
            switch (LOWORD(wParam)) {
            case IDOK:
                AcceptOrAsk(dialog, *state);
                return TRUE;
            case IDCANCEL:
                (void)EndDialog(dialog, IDCANCEL);
                return TRUE;
            case kDirs:
                if (HIWORD(wParam) == LBN_DBLCLK) {
                    char chosen[MAX_PATH] = {};
                    if (DlgDirSelectExA(dialog, chosen, MAX_PATH, kDirs) && SetCurrentDirectoryA(chosen)) {
                        FillLists(dialog);
                        ShowCurrentInName(dialog);
                    }
                }
                return TRUE;
            case kDrives:
                if (HIWORD(wParam) == CBN_SELCHANGE) {
                    char drive[MAX_PATH] = {};
                    (void)DlgDirSelectComboBoxExA(dialog, drive, MAX_PATH, kDrives);
                    if (drive[0] != '\0' && SetCurrentDirectoryA(drive))
                        ShowCurrentInName(dialog);
                    else
                        MessageBeep(MB_ICONEXCLAMATION);
                    FillLists(dialog);
                }
                return TRUE;
            case kNetwork:
                if (HIWORD(wParam) == BN_CLICKED && ConnectNetworkDrive(dialog))
                    FillLists(dialog);
                return TRUE;
            default:
                return FALSE;
            }
        default:
            return FALSE;
        }
    } catch (...) {
        // Nothing may unwind through the dialog manager.
        (void)EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
}

} // namespace

int MessageBoxExact(
    HWND owner, const std::wstring& text, const std::wstring& caption, UINT type, const ButtonTexts& buttons)
{
    pendingTexts = buttons;
    if (relabelHook == nullptr)
        relabelHook = SetWindowsHookExW(WH_CBT, RelabelButtons, nullptr, GetCurrentThreadId());
    const int answer = MessageBoxW(owner, text.c_str(), caption.c_str(), type);
    if (relabelHook != nullptr) {
        (void)UnhookWindowsHookEx(relabelHook);
        relabelHook = nullptr;
    }
    return answer;
}

install::InUseAnswer FilesInUseQuestion(const std::vector<std::string>& files,
    const std::vector<std::wstring>& programs, bool closeTried, bool removing, const std::wstring& caption)
{
    std::wstring text = closeTried ? L"プログラムを閉じることができませんでした。\n\n" : L"";
    if (programs.empty())
        text += removing ? L"次のファイルがほかのプログラムで使用されているため、削除できません。\n"
                         : L"次のファイルがほかのプログラムで使用されているため、置き換えられません。\n";
    else
        text += removing ? L"次のプログラムが、削除するファイルを使用しています。\n"
                         : L"次のプログラムが、置き換えるファイルを使用しています。\n";
    if (programs.empty())
        for (const std::string& file : files)
            text += L"\n" + sys::FromAnsi(file.c_str());
    for (const std::wstring& program : programs)
        text += L"\n" + program;
    text += programs.empty() ? L"\n\n「閉じる」で、これらのファイルを使っているプログラムに終了を求めてから続けます。"
                             : L"\n\n「閉じる」で、これらのプログラムに終了を求めてから続けます。";
    text += L"ご自分で閉じた場合は「再試行」を押してください。";
    ButtonTexts buttons;
    buttons.yes = L"閉じる";
    buttons.no = L"再試行";
    buttons.cancel = kCancel;
    const int answer = MessageBoxExact(DialogOwner(), text, caption, MB_YESNOCANCEL | MB_ICONWARNING, buttons);
    return answer == IDYES ? install::InUseAnswer::Close
        : answer == IDNO   ? install::InUseAnswer::Retry
                           : install::InUseAnswer::Cancel;
}

bool AskYesNo(HWND owner, const std::wstring& text, const std::wstring& caption)
{
    ButtonTexts texts;
    texts.yes = L"はい(&Y)";
    texts.no = L"いいえ(&N)";
    return MessageBoxExact(owner, text, caption, MB_YESNO | MB_ICONQUESTION, texts) == IDYES;
}

HWND DialogOwner()
{
    HWND active = GetActiveWindow();
    return active != nullptr && IsWindowVisible(active) ? active : nullptr;
}

std::wstring ApplicationTitle()
{
    std::wstring name = sys::ModulePath();
    if (name.empty())
        return L"setup";
    const std::size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos)
        name.erase(0, slash + 1);
    const std::size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos && dot > 0)
        name.erase(dot);
    return name;
}

void ShowMessage(const std::wstring& text)
{
    ButtonTexts texts;
    texts.ok = kOk;
    (void)MessageBoxExact(DialogOwner(), text, ApplicationTitle(), MB_OK, texts);
}

void ShowErrorBox(const std::wstring& text)
{
    ButtonTexts texts;
    texts.ok = kOk;
    (void)MessageBoxExact(DialogOwner(), text, ApplicationTitle(), MB_OK | MB_ICONERROR, texts);
}

bool Confirm(const std::wstring& text)
{
    ButtonTexts texts;
    texts.ok = kOk;
    texts.cancel = kCancel;
    return MessageBoxExact(DialogOwner(), text, kConfirmCaption, MB_OKCANCEL | MB_ICONQUESTION, texts) == IDOK;
}

bool SelectDirectory(std::string& directory)
{
    DialogTemplate dialog(L"ディレクトリの選択", 258, 190, 9, L"ＭＳ Ｐゴシック");
    dialog.Add(kStaticAtom, kNameLabel, L"ディレクトリ名(&N):", SS_LEFT, 6, 6, 180, 9);
    dialog.Add(kEditAtom, kName, L"", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 6, 16, 180, 12);
    dialog.Add(kStaticAtom, kDirsLabel, L"ディレクトリ(&D):", SS_LEFT, 6, 34, 90, 9);
    dialog.Add(kStaticAtom, kPath, L"", SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, 6, 44, 180, 9);
    dialog.Add(kListBoxAtom, kDirs, L"",
        LBS_NOTIFY | LBS_SORT | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER | WS_TABSTOP, 6, 56, 90, 96);
    dialog.Add(kStaticAtom, kFilesLabel, L"ファイル(&F): (*.*)", SS_LEFT, 102, 34, 84, 9);
    dialog.Add(kListBoxAtom, kFiles, L"", LBS_SORT | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER | WS_TABSTOP, 102,
        56, 84, 96);
    dialog.Add(kStaticAtom, kDrivesLabel, L"ドライブ(&R):", SS_LEFT, 6, 158, 90, 9);
    dialog.Add(kComboBoxAtom, kDrives, L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 6, 168, 90, 80);
    dialog.Add(kButtonAtom, kNetwork, L"ネットワーク(&N)...", BS_PUSHBUTTON | WS_TABSTOP, 102, 167, 84, 14);
    dialog.Add(kButtonAtom, IDOK, L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 196, 16, 56, 14);
    dialog.Add(kButtonAtom, IDCANCEL, L"キャンセル", BS_PUSHBUTTON | WS_TABSTOP, 196, 34, 56, 14);

    DirectoryDialogState state;
    state.initial = directory;
    const INT_PTR result = DialogBoxIndirectParamW(
        GetModuleHandleW(nullptr), dialog.Get(), DialogOwner(), DirectoryDialogProc, reinterpret_cast<LPARAM>(&state));
    if (result != IDOK)
        return false;
    directory = state.result;
    return true;
}

} // namespace ui
