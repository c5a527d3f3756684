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
#include "sys/Text.h"

namespace install_fixture {

using driver::ClassOf;
using driver::Text;

const wchar_t kProductName[] = L"はなまる家計簿";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Hanamaru";

using driver::Exists;
using driver::ReadBytes;

// The files below a folder, as relative paths.
inline std::vector<std::wstring> FilesBelow(const std::wstring& root)
{
    std::vector<std::wstring> files;
    driver::ForEachBelow(root, [&](const std::wstring& path, const WIN32_FIND_DATAW& data) {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            files.push_back(path);
    });
    return files;
}

inline std::wstring Folder(bool (*getter)(char*))
{
    return driver::FolderFrom(getter);
}

inline std::string RegistryText(const char* value)
{
    return driver::RegistryText(kUninstallKey, value);
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
