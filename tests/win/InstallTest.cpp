// The installation from end to end: setup.exe of the demo product, driven as a
// user would, installs its distribution; everything it placed is checked.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "Driver.h"
#include "InstallFixture.h"
#include "config/ProductData.h"
#include "package/ClsSecurity.h"
#include "sys/ClsFile.h"
#include "sys/Text.h"

#ifdef YNB_INSTALL_DIST

namespace {

using namespace install_fixture;
using Install = InstallFixture;

TEST_F(Install, InstallsTheDemoProductCompletely)
{
    Launch(true);
    ToDestination();
    Press(L"開始 >");
    ASSERT_NE(nullptr, WaitButton(L"終了")) << "no completion page";
    EXPECT_EQ(nullptr, ProgressWindow());
    EXPECT_TRUE(setup->NoDialog()) << "a message was shown";

    const std::wstring product = driver::HostPath(YNB_PRODUCT_PAYLOAD);
    const std::wstring install = base + L"\\Hanamaru";
    // Outside the staging folder the payload holds only the uninstaller;
    // everything else reaches its place through the manifest.
    for (const std::wstring& file : FilesBelow(product))
        EXPECT_EQ(0u, file.rfind(L"Hanamaru\\ins\\", 0)) << sys::ToAnsi(file.c_str());
    EXPECT_EQ(ReadBytes(driver::HostPath(YNB_UNINSTALL_EXE)), ReadBytes(install + L"\\uninstall.exe"));
    EXPECT_EQ(ReadBytes(driver::HostPath(YNB_BUILT_PAYLOAD) + L"\\Hanamaru\\ins\\kakeibo.exe"),
        ReadBytes(install + L"\\kakeibo.exe"));

    // The manifest's entries: a file to the desktop, a folder to the documents,
    // a folder and a file beside the staging folder.
    const std::wstring staging = product + L"\\Hanamaru\\ins";
    EXPECT_EQ(ReadBytes(staging + L"\\hanamaru_guide.txt"), ReadBytes(desktop + L"\\hanamaru_guide.txt"));
    const std::vector<std::wstring> data = FilesBelow(staging + L"\\HanamaruData");
    EXPECT_EQ(2u, data.size());
    for (const std::wstring& file : data)
        EXPECT_EQ(ReadBytes(staging + L"\\HanamaruData\\" + file), ReadBytes(documents + L"\\HanamaruData\\" + file));
    const std::vector<std::wstring> help = FilesBelow(staging + L"\\help");
    EXPECT_EQ(3u, help.size());
    for (const std::wstring& file : help)
        EXPECT_EQ(ReadBytes(staging + L"\\help\\" + file), ReadBytes(install + L"\\help\\" + file));
    for (const wchar_t* file : { L"kakeibo.ini", L"readme.txt", L"ynb\\version.txt" })
        EXPECT_EQ(ReadBytes(staging + L"\\" + file), ReadBytes(install + L"\\" + file));

    // Nothing left of the manifest, the staging folder or the temporary cabinet.
    EXPECT_FALSE(Exists(install + L"\\ins"));
    EXPECT_FALSE(Exists(root + L"\\program\\temp.dat"));
    EXPECT_TRUE(Exists(root + L"\\program\\data00.dat"));

    // The uninstall entry; the command holds a space, so it is quoted.
    const std::string installAnsi = sys::ToAnsi(install.c_str());
    EXPECT_EQ(sys::ToAnsi(kProductName), RegistryText("DisplayName"));
    EXPECT_EQ("\"" + installAnsi + "\\uninstall.exe\"", RegistryText("UninstallString"));

    // Both shortcuts.
    const std::wstring link = std::wstring(L"\\") + kProductName + L".lnk";
    EXPECT_TRUE(Exists(desktop + link));
    EXPECT_TRUE(Exists(programs + link));

    // The log in the log folder, scrambled with the manifest key.
    std::string log = ReadBytes(install + L"\\ynb\\instdir.dat");
    ASSERT_FALSE(log.empty());
    ClsSecurity::Unscramble(log.data(), static_cast<int32_t>(log.size()), kManifestKey);
    const std::string d = sys::ToAnsi(desktop.c_str());
    const std::string expected = "Hanamaru\\\r\n" + d + "\\hanamaru_guide.txt\r\n" + sys::ToAnsi(documents.c_str())
        + "\\HanamaruData\\\\\r\n" + "..\\help\\\\\r\n" + "..\\kakeibo.ini\r\n" + "..\\kakeibo.exe\r\n"
        + "..\\readme.txt\r\n" + "..\\ynb\\\\\r\n" + sys::ToAnsi((desktop + link).c_str()) + "\r\n"
        + sys::ToAnsi((programs + link).c_str()) + "\r\n" + installAnsi + "\\\r\n";
    EXPECT_EQ(expected, log);

    FinishAndExpectExit();
}

TEST_F(Install, FailedUnpackingLeavesThePageUsableAndStartWorksAgain)
{
    Launch(false);
    ToDestination();
    Press(L"開始 >");
    HWND failed = MessageWithText(L"セットアップに失敗しました。");
    ASSERT_NE(nullptr, failed);
    Answer(failed, L"OK");
    // The wizard asks before it closes; the user stays.
    HWND question = setup->Dialog(L"確認");
    ASSERT_NE(nullptr, question);
    Answer(question, L"キャンセル");

    HWND start = WaitButton(L"開始 >");
    ASSERT_NE(nullptr, start);
    EXPECT_TRUE(driver::WaitFor([&] { return IsWindowEnabled(start) != FALSE; })) << "Start stays disabled";
    EXPECT_TRUE(IsWindowEnabled(WaitButton(L"< 戻る")));
    EXPECT_TRUE(IsWindowEnabled(WaitButton(L"キャンセル")));
    EXPECT_EQ(nullptr, ProgressWindow());
    EXPECT_EQ("<no key>", RegistryText("DisplayName"));
    EXPECT_FALSE(Exists(base + L"\\Hanamaru"));

    // The cause mended, Start installs.
    CopyPayload();
    Press(L"開始 >");
    ASSERT_NE(nullptr, WaitButton(L"終了")) << "no completion page";
    EXPECT_TRUE(setup->NoDialog());
    EXPECT_TRUE(Exists(base + L"\\Hanamaru\\kakeibo.exe"));
    EXPECT_EQ("\"" + sys::ToAnsi(base.c_str()) + "\\Hanamaru\\uninstall.exe\"", RegistryText("UninstallString"));
    std::string log = ReadBytes(base + L"\\Hanamaru\\ynb\\instdir.dat");
    ClsSecurity::Unscramble(log.data(), static_cast<int32_t>(log.size()), kManifestKey);
    // The folder text of the second run, not of both.
    EXPECT_EQ(sys::ToAnsi(base.c_str()) + "\\Hanamaru\\\r\n", log.substr(log.size() - base.size() - 12));
    FinishAndExpectExit();
}

} // namespace

#else

TEST(Install, NeedsTheDemoProduct)
{
    GTEST_SKIP() << "the product builds no program of its own; the installation test needs the demo product";
}

#endif
