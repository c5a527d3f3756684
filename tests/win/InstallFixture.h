// Installations by setup.exe, driven as a user would (driver::Setup): the
// fixture of every test that installs a product. Installation holds what all
// share (the special folders, the shortcut names, the uninstall key, the
// cleaning of what a run may leave); InstallFixture is the demo product's
// installation, which needs its distribution (YNB_INSTALL_DIST).
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>

#include <memory>
#include <string>
#include <vector>

#include "Driver.h"
#include "config/ProductData.h"
#include "package/ClsSecurity.h"
#include "sys/ClsFile.h"

namespace install_fixture {

using driver::Exists;
using driver::ReadBytes;

// The files below a folder, as relative paths.
// Lets Everyone do everything with the file or folder: Wine keeps that as a
// host mode that lets others write, and reports it back as such.
inline DWORD LetEveryoneWrite(const std::wstring& path)
{
    EXPLICIT_ACCESS_W everyone {};
    wchar_t trustee[] = L"EVERYONE";
    BuildExplicitAccessWithNameW(&everyone, trustee, GENERIC_ALL, SET_ACCESS, NO_INHERITANCE);
    PACL acl = nullptr;
    DWORD result = SetEntriesInAclW(1, &everyone, nullptr, &acl);
    if (result == ERROR_SUCCESS)
        result = SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
            nullptr, nullptr, acl, nullptr);
    LocalFree(acl);
    return result;
}

inline std::vector<std::wstring> FilesBelow(const std::wstring& root)
{
    std::vector<std::wstring> files;
    driver::ForEachBelow(root, [&](const std::wstring& path, const WIN32_FIND_DATAW& data) {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            files.push_back(path);
    });
    return files;
}

class Installation : public ::testing::Test {
protected:
    // root: the test's own folder on drive C: (the process id is appended),
    // made anew for every case.
    Installation(const wchar_t* productName, const char* uninstallKey, int32_t manifestKey, const std::wstring& root)
        : productName(productName)
        , uninstallKey(uninstallKey)
        , manifestKey(manifestKey)
        , root(root + std::to_wstring(GetCurrentProcessId()))
        , link(std::wstring(L"\\") + productName + L".lnk")
    {
    }

    void SetUp() override
    {
        desktop = driver::FolderFrom(ClsFile::GetDesktopFolder);
        documents = driver::FolderFrom(ClsFile::GetMyDocumentsFolder);
        const std::wstring startup = driver::FolderFrom(ClsFile::GetStartupFolder);
        programs = startup.substr(0, startup.rfind(L'\\'));
        ASSERT_FALSE(desktop.empty());
        ASSERT_FALSE(documents.empty());
        ASSERT_FALSE(programs.empty());
        Clean();
        ASSERT_TRUE(CreateDirectoryW(root.c_str(), nullptr));
    }

    void TearDown() override
    {
        setup.reset();
        Clean();
    }

    // What a case may have left: the test's folder, the shortcuts, the
    // uninstall key; a product adds its own.
    virtual void Clean()
    {
        driver::RemoveTree(root);
        DeleteFileW((desktop + link).c_str());
        DeleteFileW((programs + link).c_str());
        driver::RemoveKey(HKEY_LOCAL_MACHINE, uninstallKey);
        driver::RemoveJournals();
        driver::RemoveKey(HKEY_CURRENT_USER, uninstallKey);
    }

    // setup.exe with the distribution's documents in programFolder, with its
    // payload when asked for; started there, up to its wizard.
    bool Launch(const char* program, const std::wstring& dist, const std::wstring& programFolder, bool withPayload)
    {
        setup = std::make_unique<driver::Setup>(driver::HostPath(program), dist, programFolder, true, true);
        return setup->Start(withPayload ? dist + L"\\data00.dat" : std::wstring()) && setup->Wizard() != nullptr;
    }

    // The failed-setup message and the cancel question after it, where the
    // user stays: the destination page is usable again.
    void StayAfterFailedSetup()
    {
        HWND question = setup->FailedSetupQuestion();
        ASSERT_NE(nullptr, question);
        ASSERT_TRUE(driver::Answer(question, L"キャンセル"));
        HWND start = setup->WaitButton(L"開始 >");
        ASSERT_NE(nullptr, start);
        EXPECT_TRUE(driver::WaitFor([&] { return IsWindowEnabled(start) != FALSE; })) << "Start stays disabled";
        EXPECT_TRUE(IsWindowEnabled(setup->WaitButton(L"< 戻る")));
        EXPECT_TRUE(IsWindowEnabled(setup->WaitButton(L"キャンセル")));
        EXPECT_EQ(nullptr, setup->ProgressWindow());
    }

    std::string RegistryText(const char* value) const { return driver::RegistryText(uninstallKey, value); }

    // An install log as the uninstaller reads it: unscrambled with the manifest key.
    std::string PlainLog(const std::wstring& path) const
    {
        std::string log = ReadBytes(path);
        if (log.rfind("<missing", 0) != 0)
            (void)ClsSecurity::Unscramble(log.data(), static_cast<int32_t>(log.size()), manifestKey);
        return log;
    }

    const wchar_t* const productName;
    const char* const uninstallKey;
    const int32_t manifestKey;
    const std::wstring root, link;
    std::wstring desktop, documents, programs;
    std::unique_ptr<driver::Setup> setup;
};

#ifdef YNB_INSTALL_DIST

const wchar_t kProductName[] = L"はなまる家計簿";

// The demo product, installed below root\base with both shortcuts.
class InstallFixture : public Installation {
protected:
    InstallFixture()
        : Installation(kProductName, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Hanamaru", kManifestKey,
            L"C:\\ynb inst-")
        , base(root + L"\\base")
    {
    }

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(Installation::SetUp());
        ASSERT_TRUE(CreateDirectoryW(base.c_str(), nullptr));
    }

    void Clean() override
    {
        Installation::Clean();
        driver::RemoveTree(documents + L"\\HanamaruData");
        DeleteFileW((desktop + L"\\hanamaru_guide.txt").c_str());
    }

    bool Launch(bool withPayload)
    {
        return Installation::Launch(YNB_SETUP_EXE, dist, root + L"\\program", withPayload);
    }

    // Through the wizard to the completion page.
    bool ToCompletion() { return setup->StartInstallation(base, true, true) && setup->Completed(); }

    const std::wstring dist = driver::HostPath(YNB_INSTALL_DIST);
    const std::wstring base;
};

#endif

} // namespace install_fixture
