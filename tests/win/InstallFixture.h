// The demo product installed by setup.exe, driven as a user would: the
// fixture that the installation and uninstallation tests share. Needs the
// demo product's distribution (YNB_INSTALL_DIST).
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "Driver.h"
#include "sys/ClsFile.h"
#include "ui/Text.h"

namespace install_fixture {

using driver::ClassOf;
using driver::Text;

const wchar_t kProductName[] = L"はなまる家計簿";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Hanamaru";

inline std::string ReadBytes(const std::wstring& path)
{
    std::string data;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "<missing " + ui::ToAnsi(path.c_str()) + ">";
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

// The files below a folder, as relative paths.
inline void Walk(const std::wstring& root, const std::wstring& relative, std::vector<std::wstring>& files)
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
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            Walk(root, path, files);
        else
            files.push_back(path);
    } while (FindNextFileW(find, &data));
    FindClose(find);
}

inline std::vector<std::wstring> FilesBelow(const std::wstring& root)
{
    std::vector<std::wstring> files;
    Walk(root, L"", files);
    return files;
}

inline std::wstring Folder(bool (*getter)(char*))
{
    char path[260] = {};
    getter(path);
    return ui::FromAnsi(path);
}

inline std::string RegistryText(const char* value)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "<no key>";
    char data[1024] = {};
    DWORD size = sizeof data - 1;
    DWORD type = 0;
    const LONG status = RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return "<no value>";
    if (type != REG_SZ)
        return "<not REG_SZ>";
    return data;
}

class InstallFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = L"C:\\ynb inst-" + std::to_wstring(GetCurrentProcessId());
        base = root + L"\\base";
        desktop = Folder(ClsFile::GetDesktopFolder);
        documents = Folder(ClsFile::GetMyDocumentsFolder);
        std::wstring startup = Folder(ClsFile::GetStartupFolder);
        programs = startup.substr(0, startup.rfind(L'\\'));
        ASSERT_FALSE(desktop.empty());
        ASSERT_FALSE(documents.empty());
        ASSERT_FALSE(programs.empty());
        // What an earlier run left.
        driver::Setup::RemoveTree(root);
        driver::Setup::RemoveTree(documents + L"\\HanamaruData");
        DeleteFileW((desktop + L"\\hanamaru_guide.txt").c_str());
        DeleteFileW((desktop + L"\\" + kProductName + L".lnk").c_str());
        DeleteFileW((programs + L"\\" + kProductName + L".lnk").c_str());
        (void)RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
        CreateDirectoryW(root.c_str(), nullptr);
        CreateDirectoryW(base.c_str(), nullptr);
    }

    void TearDown() override
    {
        setup.reset();
        driver::Setup::RemoveTree(root);
    }

    // setup.exe with its documents, and the payload when asked for.
    void Launch(bool withPayload)
    {
        const std::wstring dist = driver::HostPath(YNB_INSTALL_DIST);
        setup = std::make_unique<driver::Setup>(driver::HostPath(YNB_SETUP_EXE), dist, root + L"\\program", true, true);
        if (withPayload)
            CopyPayload();
        ASSERT_TRUE(setup->Start());
        wizard = setup->Wizard();
        ASSERT_NE(nullptr, wizard);
    }

    void CopyPayload()
    {
        ASSERT_TRUE(CopyFileW((driver::HostPath(YNB_INSTALL_DIST) + L"\\data00.dat").c_str(),
            (root + L"\\program\\data00.dat").c_str(), FALSE));
    }

    HWND VisiblePage() const { return driver::VisiblePage(wizard); }

    HWND WaitButton(const std::wstring& text) const { return driver::WaitPageButton(wizard, text); }

    void Press(const std::wstring& text)
    {
        HWND button = WaitButton(text);
        ASSERT_NE(nullptr, button) << "no button " << testing::PrintToString(text);
        driver::Click(button);
    }

    // Welcome, the two licence documents, then the destination page with the
    // folder text and both options.
    void ToDestination()
    {
        Press(L"次へ >");
        Press(L"同意 >");
        // The second document replaces the first on the same page.
        Sleep(500);
        Press(L"同意 >");
        HWND start = WaitButton(L"開始 >");
        ASSERT_NE(nullptr, start);
        HWND page = VisiblePage();
        HWND edit = driver::ChildOfClass(page, L"Edit");
        ASSERT_NE(nullptr, edit);
        driver::SetText(edit, base);
        for (const wchar_t* option : { L"ﾃﾞｽｸﾄｯﾌﾟにショートカット作成", L"スタートメニューに登録" }) {
            HWND box = driver::ChildWithText(page, option, L"Button");
            ASSERT_NE(nullptr, box) << testing::PrintToString(std::wstring(option));
            DWORD_PTR result = 0;
            SendMessageTimeoutW(box, BM_SETCHECK, BST_CHECKED, 0, SMTO_ABORTIFHUNG, 5000, &result);
            EXPECT_TRUE(driver::Checked(box));
        }
    }

    HWND MessageWithText(const std::wstring& text) const
    {
        return setup->WaitWindow(
            [&](HWND h) { return ClassOf(h) == L"#32770" && driver::ChildWithText(h, text, L"Static") != nullptr; });
    }

    void Answer(HWND box, const std::wstring& button)
    {
        HWND target = driver::ChildWithText(box, button, L"Button");
        ASSERT_NE(nullptr, target);
        driver::Click(target);
        ASSERT_TRUE(driver::WaitFor([&] { return !IsWindow(box) || !driver::IsVisible(box); }));
    }

    HWND ProgressWindow() const
    {
        return setup->Find([](HWND h) { return ClassOf(h) == L"YnbForm" && Text(h) == L"インストール"; });
    }

    void FinishAndExpectExit()
    {
        Press(L"終了");
        EXPECT_EQ(0u, setup->WaitExit());
    }

    std::wstring root, base, desktop, documents, programs;
    std::unique_ptr<driver::Setup> setup;
    HWND wizard = nullptr;
};

} // namespace install_fixture
