// The installation from end to end: setup.exe of the demo product, driven as a
// user would, installs its distribution; everything it placed is checked.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "InstallFixture.h"
#include "sys/Text.h"

#ifdef YNB_INSTALL_DIST

namespace {

using namespace install_fixture;
using Install = InstallFixture;

TEST_F(Install, InstallsTheDemoProductCompletely)
{
    ASSERT_TRUE(Launch(true));
    ASSERT_TRUE(ToCompletion());

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
    EXPECT_TRUE(Exists(desktop + link));
    EXPECT_TRUE(Exists(programs + link));

    // The log in the log folder, scrambled with the manifest key.
    const std::string d = sys::ToAnsi(desktop.c_str());
    const std::string expected = "Hanamaru\\\r\n" + d + "\\hanamaru_guide.txt\r\n" + sys::ToAnsi(documents.c_str())
        + "\\HanamaruData\\\\\r\n" + "..\\help\\\\\r\n" + "..\\kakeibo.ini\r\n" + "..\\kakeibo.exe\r\n"
        + "..\\readme.txt\r\n" + "..\\ynb\\\\\r\n" + sys::ToAnsi((desktop + link).c_str()) + "\r\n"
        + sys::ToAnsi((programs + link).c_str()) + "\r\n" + installAnsi + "\\\r\n";
    EXPECT_EQ(expected, PlainLog(install + L"\\ynb\\instdir.dat"));

    EXPECT_EQ(0u, setup->Finish());
}

TEST_F(Install, FailedUnpackingLeavesThePageUsableAndStartWorksAgain)
{
    ASSERT_TRUE(Launch(false));
    ASSERT_TRUE(setup->StartInstallation(base, true, true));
    // The wizard asks before it closes; the user stays.
    ASSERT_NO_FATAL_FAILURE(StayAfterFailedSetup());
    EXPECT_EQ("<no key>", RegistryText("DisplayName"));
    EXPECT_FALSE(Exists(base + L"\\Hanamaru"));

    // The cause mended, Start installs.
    ASSERT_TRUE(setup->CopyIn(dist + L"\\data00.dat", L"data00.dat"));
    ASSERT_TRUE(setup->Press(L"開始 >"));
    ASSERT_TRUE(setup->Completed());
    EXPECT_TRUE(Exists(base + L"\\Hanamaru\\kakeibo.exe"));
    EXPECT_EQ("\"" + sys::ToAnsi(base.c_str()) + "\\Hanamaru\\uninstall.exe\"", RegistryText("UninstallString"));
    const std::string log = PlainLog(base + L"\\Hanamaru\\ynb\\instdir.dat");
    // The folder text of the second run, not of both.
    EXPECT_EQ(sys::ToAnsi(base.c_str()) + "\\Hanamaru\\\r\n", log.substr(log.size() - base.size() - 12));
    EXPECT_EQ(0u, setup->Finish());
}

} // namespace

#else

TEST(Install, NeedsTheDemoProduct)
{
    GTEST_SKIP() << "the product builds no program of its own; the installation test needs the demo product";
}

#endif
