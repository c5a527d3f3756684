// Drives setup.exe from another process, as a user would: finds its windows,
// reads their texts as UTF-16, presses buttons and answers dialogs, and
// captures the screen. Header-only, for the Windows tests.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace driver {

constexpr DWORD kWait = 20000; // ms for anything the program should do at once

// A host path (/work/...) as Wine sees it (Z:\work\...).
inline std::wstring HostPath(const char* unixPath)
{
    std::wstring path = L"Z:";
    for (const char* p = unixPath; *p != '\0'; ++p)
        path += *p == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*p));
    return path;
}

// A UTF-16 text in the ANSI code page (paths in failure messages).
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

inline bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Calls visit(relative path, entry) for everything below root, a folder
// before what it holds.
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

// A special folder from one of ClsFile's getters.
inline std::wstring FolderFrom(bool (*getter)(char*))
{
    char path[260] = {};
    getter(path);
    wchar_t wide[260] = {};
    MultiByteToWideChar(CP_ACP, 0, path, -1, wide, 260);
    return wide;
}

// A string value under HKEY_LOCAL_MACHINE, or "<no key>", "<no value>",
// "<not REG_SZ>".
inline std::string RegistryText(const char* key, const char* value)
{
    HKEY open = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &open) != ERROR_SUCCESS)
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

inline void Click(HWND button)
{
    // Posted: the click may open a modal dialog.
    PostMessageW(button, BM_CLICK, 0, 0);
}

// The wizard's page that is shown now (its pages are frames of class YnbFrame).
inline HWND VisiblePage(HWND wizard)
{
    for (HWND child : Children(wizard))
        if (ClassOf(child) == L"YnbFrame" && IsVisible(child))
            return child;
    return nullptr;
}

// The button of the visible page with this text, once it is there; null when
// none appears in time.
inline HWND WaitPageButton(HWND wizard, const std::wstring& text)
{
    HWND button = nullptr;
    WaitFor([&] {
        HWND page = VisiblePage(wizard);
        button = page != nullptr ? ChildWithText(page, text, L"Button") : nullptr;
        return button != nullptr;
    });
    return button;
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

// A copy of setup.exe with its documents in a fresh folder, run there.
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

    bool Start()
    {
        std::wstring exe = folder_ + L"\\setup.exe";
        std::wstring commandLine = L"\"" + exe + L"\"";
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
    DWORD ThreadId() const { return process_.dwThreadId; }

    // Visible top-level windows of the program, front to back.
    std::vector<HWND> Windows() const
    {
        std::vector<HWND> all;
        EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&all));
        std::vector<HWND> found;
        for (HWND hwnd : all) {
            DWORD pid = 0;
            GetWindowThreadProcessId(hwnd, &pid);
            if (pid == process_.dwProcessId && IsWindowVisible(hwnd))
                found.push_back(hwnd);
        }
        return found;
    }

    HWND Find(const std::function<bool(HWND)>& match) const
    {
        for (HWND hwnd : Windows())
            if (match(hwnd))
                return hwnd;
        return nullptr;
    }

    HWND WaitWindow(const std::function<bool(HWND)>& match, DWORD timeout = kWait) const
    {
        HWND found = nullptr;
        WaitFor([&] { return (found = Find(match)) != nullptr; }, timeout);
        return found;
    }

    // The program's forms: the wizard has the system menu, the backdrop is a
    // tool window.
    HWND Wizard(DWORD timeout = kWait) const
    {
        return WaitWindow([](HWND h) { return ClassOf(h) == L"YnbForm" && (StyleOf(h) & WS_MAXIMIZEBOX); }, timeout);
    }
    HWND Backdrop(DWORD timeout = kWait) const
    {
        return WaitWindow(
            [](HWND h) { return ClassOf(h) == L"YnbForm" && (GetWindowLongPtrW(h, GWL_EXSTYLE) & WS_EX_TOOLWINDOW); },
            timeout);
    }
    // A message box or the directory dialog.
    HWND Dialog(const std::wstring& caption, DWORD timeout = kWait) const
    {
        return WaitWindow([&](HWND h) { return ClassOf(h) == L"#32770" && Text(h) == caption; }, timeout);
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

    static void RemoveTree(const std::wstring& folder)
    {
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = data.cFileName;
                if (name == L"." || name == L"..")
                    continue;
                std::wstring path = folder + L"\\" + name;
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(path);
                else
                    DeleteFileW(path.c_str());
            } while (FindNextFileW(find, &data));
            FindClose(find);
        }
        RemoveDirectoryW(folder.c_str());
    }

private:
    std::wstring folder_;
    PROCESS_INFORMATION process_ {};
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
