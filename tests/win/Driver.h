// Drives setup.exe from another process, as a user would: finds its windows,
// reads their texts as UTF-16, walks its wizard, presses buttons, answers
// dialogs and captures the screen; with the file and registry helpers that the
// Windows tests share. Header-only and free of the test framework, so that the
// installation benchmark drives setup.exe with it too: every step reports
// through its result, and the tests assert on that.
#pragma once

#include <windows.h>

#include <aclapi.h>
#include <shlobj.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "sys/SpecialFolder.h"

namespace driver {

constexpr DWORD kWait = 20000; // ms for anything the program should do at once

// The two options of the destination page.
const wchar_t kDesktopOption[] = L"ﾃﾞｽｸﾄｯﾌﾟにショートカット作成";
const wchar_t kStartMenuOption[] = L"スタートメニューに登録";

// ---- Texts and files

// A host path (/work/...) as Wine sees it (Z:\work\...).
inline std::wstring HostPath(const char* unixPath)
{
    std::wstring path = L"Z:";
    for (const char* p = unixPath; *p != '\0'; ++p)
        path += *p == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*p));
    return path;
}

// What a host-side script hands a test through the environment variable
// NAME, or empty when the test runs on its own (and skips).
inline std::string HostGiven(const char* name)
{
    char value[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? value : "";
}

// A UTF-16 text in the ANSI code page (paths in failure messages), and back.
inline std::string Narrow(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return std::string();
    std::string narrow(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, narrow.data(), size, nullptr, nullptr);
    narrow.resize(static_cast<std::size_t>(size) - 1);
    return narrow;
}

inline std::wstring Wide(const std::string& text)
{
    const int size = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (size <= 1)
        return std::wstring();
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), size);
    wide.resize(static_cast<std::size_t>(size) - 1);
    return wide;
}

// A whole file, or "<missing PATH>".
inline std::string ReadBytes(const std::wstring& path)
{
    std::string data;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "<missing " + Narrow(path) + ">";
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
        data.append(buffer, read);
    CloseHandle(file);
    return data;
}

// Writes the file anew with these bytes; false when any of them is not written.
inline bool WriteBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok
        = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
    CloseHandle(file);
    return ok;
}

// Rewrites a file and keeps its last-write time: damage, which a repair
// puts back, rather than a user's change, which it keeps.
inline bool Damage(const std::wstring& path, const std::string& bytes)
{
    WIN32_FILE_ATTRIBUTE_DATA data {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) || !WriteBytes(path, bytes))
        return false;
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = SetFileTime(file, nullptr, nullptr, &data.ftLastWriteTime) != FALSE;
    CloseHandle(file);
    return ok;
}

inline bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The names in a folder, "." and ".." left out, sorted.
inline std::vector<std::wstring> Names(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

// Calls visit(relative path, entry) for everything below root, a folder
// before what it holds. Links to folders are entered: in a Wine prefix the
// desktop and the documents are links into the test's home.
inline void ForEachBelow(const std::wstring& root,
    const std::function<void(const std::wstring&, const WIN32_FIND_DATAW&)>& visit,
    const std::wstring& relative = std::wstring())
{
    WIN32_FIND_DATAW data;
    const std::wstring folder = relative.empty() ? root : root + L"\\" + relative;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const std::wstring path = relative.empty() ? name : relative + L"\\" + name;
        visit(path, data);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ForEachBelow(root, visit, path);
    } while (FindNextFileW(find, &data));
    FindClose(find);
}

// Removes a file or a tree, read-only entries too. A link (to a folder or a
// file) is removed itself and never entered, so nothing it names is touched;
// where the system cannot remove a link (Wine), it stays, and so do the
// folders above it.
inline void RemoveTree(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        (void)((attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(path.c_str()) : DeleteFileW(path.c_str()));
        return;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY)
        (void)SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        (void)DeleteFileW(path.c_str());
        return;
    }
    for (const std::wstring& name : Names(path))
        RemoveTree(path + L"\\" + name);
    (void)RemoveDirectoryW(path.c_str());
}

// A special folder from one of ClsFile's getters.
inline std::wstring FolderFrom(bool (*getter)(char*));

// The user's program folder, the default base folder for the user alone.
inline std::wstring UserProgramsFolder()
{
    return FolderFrom([](char* out) {
        sys::GetSpecialFolder(CSIDL_LOCAL_APPDATA, out);
        return true;
    }) + L"\\Programs";
}

inline std::wstring FolderFrom(bool (*getter)(char*))
{
    char path[260] = {};
    (void)getter(path);
    return Wide(path);
}

// ---- Registry

// A string value under HKEY_LOCAL_MACHINE, or "<no key>", "<no value>",
// "<not REG_SZ>".
// The renames and deletions waiting for the restart, taken away so that
// they never run; empty when there are none.
inline std::wstring ReadPendingRenames(bool take = false)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
            KEY_READ | KEY_SET_VALUE, &key)
        != ERROR_SUCCESS)
        return {};
    std::vector<wchar_t> pending(32768);
    DWORD size = static_cast<DWORD>(pending.size() * sizeof(wchar_t));
    const LONG read = RegQueryValueExW(
        key, L"PendingFileRenameOperations", nullptr, nullptr, reinterpret_cast<BYTE*>(pending.data()), &size);
    if (take)
        (void)RegDeleteValueW(key, L"PendingFileRenameOperations");
    RegCloseKey(key);
    return read == ERROR_SUCCESS ? std::wstring(pending.data(), size / sizeof(wchar_t)) : std::wstring();
}

inline std::wstring TakePendingRenames()
{
    return ReadPendingRenames(true);
}

// The file that the restart renames over `target`, as the operations (the
// value's text) name it: the last such rename, without "\??\"; empty when none.
inline std::wstring PendingSourceFor(const std::wstring& operations, const std::wstring& target)
{
    std::vector<std::wstring> strings;
    for (std::size_t at = 0; at < operations.size();) {
        const std::size_t end = std::min(operations.find(L'\0', at), operations.size());
        strings.push_back(operations.substr(at, end - at));
        at = end + 1;
    }
    const auto plain = [](std::wstring path) {
        if (!path.empty() && path.front() == L'!')
            path.erase(0, 1);
        return path.rfind(L"\\??\\", 0) == 0 ? path.substr(4) : path;
    };
    std::wstring source;
    for (std::size_t i = 0; i + 1 < strings.size(); i += 2)
        if (!strings[i + 1].empty() && _wcsicmp(plain(strings[i + 1]).c_str(), target.c_str()) == 0)
            source = plain(strings[i]);
    return source;
}

inline std::string RegistryText(const char* key, const char* value, HKEY root = HKEY_LOCAL_MACHINE)
{
    HKEY open = nullptr;
    if (RegOpenKeyExA(root, key, 0, KEY_READ, &open) != ERROR_SUCCESS)
        return "<no key>";
    char data[1024] = {};
    DWORD size = sizeof data - 1;
    DWORD type = 0;
    const LONG status = RegQueryValueExA(open, value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(open);
    if (status != ERROR_SUCCESS)
        return "<no value>";
    if (type != REG_SZ)
        return "<not REG_SZ>";
    return data;
}

// Runs a command line (its program first, quoted or not) in the program's
// folder, as the system's list of programs does; its exit code, STILL_ACTIVE
// when it does not end in time.
inline DWORD RunCommand(std::wstring commandLine)
{
    const bool quoted = !commandLine.empty() && commandLine[0] == L'"';
    const std::wstring program
        = quoted ? commandLine.substr(1, commandLine.find(L'"', 1) - 1) : commandLine.substr(0, commandLine.find(L' '));
    const std::wstring folder = program.substr(0, program.rfind(L'\\'));
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process {};
    if (!CreateProcessW(
            nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup, &process))
        return GetLastError();
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return code;
}

inline bool KeyExists(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// The number of values of a key, 0xFFFFFFFF when it cannot be read.
inline DWORD ValueCount(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0xFFFFFFFF;
    DWORD values = 0;
    const LONG status = RegQueryInfoKeyA(
        key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? values : 0xFFFFFFFF;
}

// Creates the key when missing and gives it a protected DACL that grants
// everyone these rights only; false when it cannot be done. With WRITE_DAC and
// DELETE among them, RemoveKey can still remove it.
inline bool RestrictKey(HKEY root, const std::string& path, DWORD rights)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    EXPLICIT_ACCESS_A access = {};
    char everyone[] = "EVERYONE";
    BuildExplicitAccessWithNameA(&access, everyone, rights, SET_ACCESS, NO_INHERITANCE);
    PACL acl = nullptr;
    DWORD status = SetEntriesInAclA(1, &access, nullptr, &acl);
    if (status == ERROR_SUCCESS) {
        status = SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
            nullptr, nullptr, acl, nullptr);
        LocalFree(acl);
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

// Removes a key with everything below it, giving a restricted one its
// inherited access back first.
inline void RemoveKey(HKEY root, const std::string& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, WRITE_DAC, &key) == ERROR_SUCCESS) {
        (void)SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION,
            nullptr, nullptr, nullptr, nullptr);
        RegCloseKey(key);
    }
    (void)RegDeleteTreeA(root, path.c_str());
    (void)RegDeleteKeyA(root, path.c_str());
}

// The journals' pointers that an earlier case's cut run may have left, in
// both scopes: the next run would recover them.
inline void RemoveJournals()
{
    RemoveKey(HKEY_LOCAL_MACHINE, "Software\\ynbsetup");
    RemoveKey(HKEY_CURRENT_USER, "Software\\ynbsetup");
}

// ---- Windows

// Where a screenshot named `name` goes: the artifacts folder's screenshots.
inline std::wstring ShotPath(const std::wstring& artifacts, const std::wstring& name)
{
    const std::wstring folder = artifacts + L"\\screenshots";
    CreateDirectoryW(artifacts.c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder + L"\\" + name + L".bmp";
}

inline std::wstring Text(HWND hwnd)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
        return L"<no answer>";
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(
            hwnd, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 5000, &copied))
        return L"<no answer>";
    text.resize(copied);
    return text;
}

inline std::wstring ClassOf(HWND hwnd)
{
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

inline LONG_PTR StyleOf(HWND hwnd)
{
    return GetWindowLongPtrW(hwnd, GWL_STYLE);
}
inline bool IsVisible(HWND hwnd)
{
    return IsWindowVisible(hwnd) != FALSE;
}

// Direct children in z-order (the order the dialog manager tabs through).
inline std::vector<HWND> Children(HWND parent)
{
    std::vector<HWND> result;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        result.push_back(child);
    return result;
}

// Every descendant.
inline BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM param)
{
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
    return TRUE;
}

inline std::vector<HWND> Descendants(HWND parent)
{
    std::vector<HWND> result;
    EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&result));
    return result;
}

inline HWND ChildWithText(HWND parent, const std::wstring& text, const wchar_t* windowClass = nullptr)
{
    for (HWND child : Descendants(parent))
        if (Text(child) == text && (windowClass == nullptr || ClassOf(child) == windowClass))
            return child;
    return nullptr;
}

inline HWND ChildOfClass(HWND parent, const wchar_t* windowClass, LONG_PTR styleBits = 0)
{
    for (HWND child : Descendants(parent))
        if (ClassOf(child) == windowClass && (StyleOf(child) & styleBits) == styleBits)
            return child;
    return nullptr;
}

// The rectangle of a window in the client coordinates of another.
inline RECT RectIn(HWND hwnd, HWND reference)
{
    RECT rect {};
    GetWindowRect(hwnd, &rect);
    MapWindowPoints(nullptr, reference, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

inline bool WaitFor(const std::function<bool()>& condition, DWORD timeout = kWait)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout);
    while (std::chrono::steady_clock::now() < end) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return condition();
}

// Visible top-level windows of a process (of every process for 0), front to back.
inline std::vector<HWND> TopWindows(DWORD process)
{
    std::vector<HWND> all;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&all));
    std::vector<HWND> found;
    for (HWND hwnd : all) {
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        if ((process == 0 || pid == process) && IsWindowVisible(hwnd))
            found.push_back(hwnd);
    }
    return found;
}

// The first of them that matches, once there is one; null when none comes in time.
inline HWND WaitWindow(const std::function<bool(HWND)>& match, DWORD process, DWORD timeout = kWait)
{
    HWND found = nullptr;
    WaitFor(
        [&] {
            for (HWND hwnd : TopWindows(process))
                if (match(hwnd))
                    return (found = hwnd) != nullptr;
            return false;
        },
        timeout);
    return found;
}

inline void Click(HWND button)
{
    // Posted: the click may open a modal dialog.
    PostMessageW(button, BM_CLICK, 0, 0);
}

// Presses a button of a message box or dialog and waits until the box is gone.
inline bool Answer(HWND box, const std::wstring& button)
{
    HWND target = ChildWithText(box, button, L"Button");
    if (target == nullptr)
        return false;
    Click(target);
    return WaitFor([&] { return !IsWindow(box) || !IsVisible(box); });
}

inline void SetText(HWND hwnd, const std::wstring& text)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, 5000, &result);
}

inline bool Checked(HWND checkBox)
{
    DWORD_PTR state = 0;
    SendMessageTimeoutW(checkBox, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &state);
    return state == BST_CHECKED;
}

// The wizard's page that is shown now (its pages are frames of class YnbFrame).
inline HWND VisiblePage(HWND wizard)
{
    for (HWND child : Children(wizard))
        if (ClassOf(child) == L"YnbFrame" && IsVisible(child))
            return child;
    return nullptr;
}

// ---- setup.exe

// A copy of setup.exe with its documents in a fresh folder, run there and
// driven through its wizard.
class Setup {
public:
    // folder: a new folder (removed first when it exists); documents: which of
    // setup.txt and license.txt to copy beside the program.
    Setup(const std::wstring& program, const std::wstring& documents, const std::wstring& folder, bool withSetupText,
        bool withLicenseText)
        : folder_(folder)
    {
        RemoveTree(folder_);
        CreateDirectoryW(folder_.c_str(), nullptr);
        CopyFileW(program.c_str(), (folder_ + L"\\setup.exe").c_str(), FALSE);
        if (withSetupText)
            CopyFileW((documents + L"\\setup.txt").c_str(), (folder_ + L"\\setup.txt").c_str(), FALSE);
        if (withLicenseText)
            CopyFileW((documents + L"\\license.txt").c_str(), (folder_ + L"\\license.txt").c_str(), FALSE);
    }

    ~Setup()
    {
        if (process_.hProcess != nullptr) {
            if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(process_.hProcess, 99);
                WaitForSingleObject(process_.hProcess, 5000);
            }
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
    }
    Setup(const Setup&) = delete;
    Setup& operator=(const Setup&) = delete;

    // Starts the program, with payload (a data00.dat) copied beside it first
    // when one is named, and the arguments given.
    bool Start(const std::wstring& payload = std::wstring(), const std::wstring& arguments = std::wstring())
    {
        if (!payload.empty() && !CopyIn(payload, L"data00.dat"))
            return false;
        std::wstring exe = folder_ + L"\\setup.exe";
        std::wstring commandLine = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
        STARTUPINFOW startup {};
        startup.cb = sizeof startup;
        return CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder_.c_str(),
                   &startup, &process_)
            != FALSE;
    }

    bool CopyIn(const std::wstring& file, const std::wstring& name)
    {
        return CopyFileW(file.c_str(), (folder_ + L"\\" + name).c_str(), FALSE) != FALSE;
    }

    const std::wstring& Folder() const { return folder_; }
    DWORD Id() const { return process_.dwProcessId; }
    HANDLE Process() const { return process_.hProcess; }

    // Visible top-level windows of the program, front to back.
    std::vector<HWND> Windows() const { return TopWindows(process_.dwProcessId); }

    HWND Find(const std::function<bool(HWND)>& match) const
    {
        for (HWND hwnd : Windows())
            if (match(hwnd))
                return hwnd;
        return nullptr;
    }

    HWND WaitWindow(const std::function<bool(HWND)>& match, DWORD timeout = kWait) const
    {
        return driver::WaitWindow(match, process_.dwProcessId, timeout);
    }

    // The program's forms: the wizard has the system menu, the backdrop is a
    // tool window.
    HWND Wizard(DWORD timeout = kWait)
    {
        if (wizard_ == nullptr)
            wizard_
                = WaitWindow([](HWND h) { return ClassOf(h) == L"YnbForm" && (StyleOf(h) & WS_MAXIMIZEBOX); }, timeout);
        return wizard_;
    }
    HWND Backdrop(DWORD timeout = kWait) const
    {
        return WaitWindow(
            [](HWND h) { return ClassOf(h) == L"YnbForm" && (GetWindowLongPtrW(h, GWL_EXSTYLE) & WS_EX_TOOLWINDOW); },
            timeout);
    }
    // The progress window while it is shown.
    HWND ProgressWindow() const
    {
        return Find([](HWND h) { return ClassOf(h) == L"YnbForm" && Text(h) == L"インストール"; });
    }
    // A message box or the directory dialog, by its caption.
    HWND Dialog(const std::wstring& caption, DWORD timeout = kWait) const
    {
        return WaitWindow([&](HWND h) { return ClassOf(h) == L"#32770" && Text(h) == caption; }, timeout);
    }
    // A message box whose text is exactly this.
    HWND Message(const std::wstring& text) const
    {
        return WaitWindow(
            [&](HWND h) { return ClassOf(h) == L"#32770" && ChildWithText(h, text, L"Static") != nullptr; });
    }
    bool NoDialog() const
    {
        return Find([](HWND h) { return ClassOf(h) == L"#32770"; }) == nullptr;
    }

    // The exit code, or STILL_ACTIVE when it did not end in time.
    DWORD WaitExit(DWORD timeout = kWait) const
    {
        if (WaitForSingleObject(process_.hProcess, timeout) != WAIT_OBJECT_0)
            return STILL_ACTIVE;
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

    HWND Focus() const
    {
        GUITHREADINFO info {};
        info.cbSize = sizeof info;
        return GetGUIThreadInfo(process_.dwThreadId, &info) ? info.hwndFocus : nullptr;
    }

    // ---- The wizard

    HWND Page() { return VisiblePage(Wizard()); }

    // The button of the visible page with this text, once it is there (and
    // enabled, when asked for); null when none comes in time.
    HWND WaitButton(const std::wstring& text, bool enabled = false)
    {
        HWND button = nullptr;
        const bool found = WaitFor([&] {
            HWND page = Page();
            button = page != nullptr ? ChildWithText(page, text, L"Button") : nullptr;
            return button != nullptr && (!enabled || IsWindowEnabled(button));
        });
        return found ? button : nullptr;
    }

    // Presses the button of the visible page once it is there and enabled.
    bool Press(const std::wstring& text)
    {
        HWND button = WaitButton(text, true);
        if (button != nullptr)
            Click(button);
        return button != nullptr;
    }

    // The close box of the wizard.
    void CloseBox() { PostMessageW(Wizard(), WM_SYSCOMMAND, SC_CLOSE, 0); }

    // Welcome and both licence documents agreed to, up to the destination page.
    bool ToDestinationPage()
    {
        return Press(L"次へ >") && WaitTitle(L"ソフトウェア使用許諾") && Press(L"同意 >")
            && WaitTitle(L"シェアウェアパッケージ使用許諾") && Press(L"同意 >") && WaitButton(L"開始 >") != nullptr;
    }

    // Then the folder text and both options as given.
    bool ToDestination(const std::wstring& folderText, bool desktopShortcut, bool startMenu)
    {
        return ToDestinationPage() && SetFolderText(folderText) && SetOption(kDesktopOption, desktopShortcut)
            && SetOption(kStartMenuOption, startMenu);
    }

    // Then Start pressed.
    bool StartInstallation(const std::wstring& folderText, bool desktopShortcut, bool startMenu)
    {
        return ToDestination(folderText, desktopShortcut, startMenu) && Press(L"開始 >");
    }

    bool SetFolderText(const std::wstring& text)
    {
        HWND edit = ChildOfClass(Page(), L"Edit");
        if (edit == nullptr)
            return false;
        SetText(edit, text);
        return driver::Text(edit) == text;
    }

    bool SetOption(const wchar_t* caption, bool checked)
    {
        HWND box = ChildWithText(Page(), caption, L"Button");
        if (box == nullptr)
            return false;
        DWORD_PTR result = 0;
        SendMessageTimeoutW(
            box, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0, SMTO_ABORTIFHUNG, 5000, &result);
        return Checked(box) == checked;
    }

    // The completion page, with neither the progress window nor a message left open.
    bool Completed() { return WaitButton(L"終了") != nullptr && ProgressWindow() == nullptr && NoDialog(); }

    // Finish on the completion page; the exit code (STILL_ACTIVE when it does not end).
    DWORD Finish() { return Press(L"終了") ? WaitExit() : STILL_ACTIVE; }

    // The failed-setup message answered, then the cancel question that follows it.
    HWND FailedSetupQuestion(const std::wstring& text = L"セットアップに失敗しました。")
    {
        HWND failed = Message(text);
        if (failed == nullptr || !Answer(failed, L"OK"))
            return nullptr;
        return Dialog(L"確認");
    }

private:
    bool WaitTitle(const std::wstring& title)
    {
        return WaitFor([&] {
            HWND page = Page();
            return page != nullptr && ChildWithText(page, title, L"Static") != nullptr;
        });
    }

    std::wstring folder_;
    PROCESS_INFORMATION process_ {};
    HWND wizard_ = nullptr;
};

// The screen as a 24-bit BMP file (a later step converts it to PNG).
inline bool Screenshot(const std::wstring& path, DWORD settle = 700)
{
    Sleep(settle); // let the program paint
    HDC screen = GetDC(nullptr);
    if (screen == nullptr)
        return false;
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (bitmap != nullptr) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY) != FALSE;
        SelectObject(memory, old);
        GdiFlush();
        const DWORD rowSize = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
        const DWORD imageSize = rowSize * static_cast<DWORD>(height);
        BITMAPFILEHEADER file {};
        file.bfType = 0x4D42;
        file.bfOffBits = sizeof file + sizeof info.bmiHeader;
        file.bfSize = file.bfOffBits + imageSize;
        HANDLE out
            = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (ok && out != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            ok = WriteFile(out, &file, sizeof file, &written, nullptr)
                && WriteFile(out, &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr)
                && WriteFile(out, bits, imageSize, &written, nullptr);
        } else {
            ok = false;
        }
        if (out != INVALID_HANDLE_VALUE)
            CloseHandle(out);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok;
}

} // namespace driver
