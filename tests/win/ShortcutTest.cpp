// ClsFile::CreateShortcut under Wine: the shortcut files are loaded back
// through the shell-link object and their properties compared. Its result is
// true whatever became of the file (but for an empty target or COM that cannot
// be initialised), so the file is what tells.
#include <gtest/gtest.h>

#include "ShellLink.h"
#include "SysScratch.h"
#include "sys/ClsFile.h"

#include <windows.h>
#include <objbase.h>

#include <string>
#include <vector>

using scratch::TempFolder;

class ShortcutTest : public ::testing::Test {
protected:
    TempFolder dir { "lnk" };
    std::string links = dir / "links";
    std::string program = dir / "app\\bin\\tool.exe";

    void SetUp() override
    {
        ASSERT_TRUE(scratch::MakeFolder(links));
        ASSERT_TRUE(scratch::MakeFolder(dir / "app"));
        ASSERT_TRUE(scratch::MakeFolder(dir / "app\\bin"));
        ASSERT_TRUE(scratch::Write(program, "MZ"));
    }

    // Writes links\name.lnk and reads it back.
    shell_link::Properties Shortcut(const std::string& target, const std::string& name)
    {
        (void)ClsFile::CreateShortcut(target.c_str(), links.c_str(), name.c_str());
        return shell_link::Read(driver::Wide(links + "\\" + name + ".lnk"));
    }
};

TEST_F(ShortcutTest, PointsAtTheTargetWithItsFolderAndIcon)
{
    const shell_link::Properties link = Shortcut(program, "Product");
    ASSERT_TRUE(link.loaded);
    EXPECT_EQ(0, _stricmp(program.c_str(), link.path.c_str())) << link.path;
    EXPECT_EQ(dir / "app\\bin", link.workingDirectory);
    EXPECT_EQ(program, link.iconPath);
    EXPECT_EQ(0, link.iconIndex);
    EXPECT_EQ("", link.description);
    EXPECT_EQ("", link.arguments);
    EXPECT_EQ(std::vector<std::string> { "Product.lnk" }, scratch::List(links));
}

TEST_F(ShortcutTest, ShiftJisNamesAndPaths)
{
    const std::string sjisFolder = dir / "\x83\x65\x83\x58\x83\x67\x95\x5C"; // "テスト表", trail byte 0x5C last
    ASSERT_TRUE(scratch::MakeFolder(sjisFolder));
    const std::string target = sjisFolder + "\\\x83\x76.exe"; // "プ.exe"
    ASSERT_TRUE(scratch::Write(target, "MZ"));
    const shell_link::Properties link = Shortcut(target, "\x90\xBB\x95\x69"); // "製品"
    ASSERT_TRUE(link.loaded);
    EXPECT_EQ(sjisFolder, link.workingDirectory); // cut at the real separator, not at 0x5C of "表"
    EXPECT_EQ(target, link.iconPath);
}

TEST_F(ShortcutTest, WorkingDirectoryOfUnusualTargets)
{
    struct Case {
        const char* target;
        const char* workingDirectory;
    };
    const Case cases[] = {
        { "tool.exe", "" }, // no backslash
        { "C:\\tool.exe", "C:" }, // drive root: no backslash left
        { "C:\\dir\\sub\\", "C:\\dir\\sub" }, // ends in a backslash
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        const shell_link::Properties link = Shortcut(c.target, "case" + std::to_string(n++));
        ASSERT_TRUE(link.loaded);
        EXPECT_EQ(c.workingDirectory, link.workingDirectory);
        EXPECT_EQ(c.target, link.iconPath);
    }
}

TEST_F(ShortcutTest, SecondCallReplacesTheFirst)
{
    const std::string other = dir / "app\\other.exe";
    ASSERT_TRUE(scratch::Write(other, "MZ"));
    ASSERT_TRUE(Shortcut(program, "Same").loaded);
    const shell_link::Properties link = Shortcut(other, "Same");
    EXPECT_EQ(std::vector<std::string> { "Same.lnk" }, scratch::List(links));
    ASSERT_TRUE(link.loaded);
    EXPECT_EQ(0, _stricmp(other.c_str(), link.path.c_str())) << link.path;
    EXPECT_EQ(dir / "app", link.workingDirectory);
}

TEST_F(ShortcutTest, MissingOrEmptyTargetGivesFalseAndNoFile)
{
    EXPECT_FALSE(ClsFile::CreateShortcut("", links.c_str(), "Empty"));
    EXPECT_FALSE(ClsFile::CreateShortcut(nullptr, links.c_str(), "Missing"));
    EXPECT_TRUE(scratch::List(links).empty());
}

TEST_F(ShortcutTest, UnwritableLinkWritesNoFile)
{
    EXPECT_FALSE(Shortcut(program, "bad|name").loaded);
    EXPECT_FALSE(Shortcut(program, "bad?name").loaded);
    (void)ClsFile::CreateShortcut(program.c_str(), (dir / "no\\such\\folder").c_str(), "Product");
    EXPECT_TRUE(scratch::List(links).empty());
    EXPECT_FALSE(scratch::Exists(dir / "no"));
}

TEST_F(ShortcutTest, LinkPathThatDoesNotFitIsNotWritten)
{
    // folder + "\" + name + ".lnk" + zero: 261 bytes with this name, 260 with one byte less.
    const std::size_t room = 260 - links.size() - 1 - 4 - 1;
    const std::string fits(room, 'n');
    const std::string tooLong = fits + "x";
    (void)ClsFile::CreateShortcut(program.c_str(), links.c_str(), tooLong.c_str());
    EXPECT_TRUE(scratch::List(links).empty()); // not cut into a shorter name either
    (void)ClsFile::CreateShortcut(program.c_str(), links.c_str(), fits.c_str());
    EXPECT_EQ(std::vector<std::string> { fits + ".lnk" }, scratch::List(links));
}

TEST_F(ShortcutTest, LeavesTheThreadsComStateAsItWas)
{
    // Without COM before: afterwards the thread can still choose the multithreaded model.
    (void)ClsFile::CreateShortcut(program.c_str(), links.c_str(), "One");
    const HRESULT multi = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_EQ(S_OK, multi);
    if (SUCCEEDED(multi))
        CoUninitialize();

    // With COM before: still initialised afterwards, and balanced.
    ASSERT_EQ(S_OK, CoInitialize(nullptr));
    (void)ClsFile::CreateShortcut(program.c_str(), links.c_str(), "Two");
    EXPECT_EQ(S_FALSE, CoInitialize(nullptr)); // still initialised on this thread
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ((std::vector<std::string> { "One.lnk", "Two.lnk" }), scratch::List(links));
}

TEST_F(ShortcutTest, FailingComInitialisationGivesFalse)
{
    // A thread in the multithreaded model cannot enter a single-threaded apartment.
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    const bool result = ClsFile::CreateShortcut(program.c_str(), links.c_str(), "Mta");
    CoUninitialize();
    EXPECT_FALSE(result);
    EXPECT_TRUE(scratch::List(links).empty());
}

// Writes one shortcut where tests/scripts/sys-shortcut.sh asks, for lnkinfo.
TEST(ShortcutForHost, WritesTheRequestedShortcut)
{
    const std::string folder = driver::HostGiven("YNB_LNK_FOLDER");
    const std::string target = driver::HostGiven("YNB_LNK_TARGET");
    if (folder.empty() || target.empty())
        GTEST_SKIP() << "run through tests/scripts/sys-shortcut.sh";
    (void)ClsFile::CreateShortcut(target.c_str(), folder.c_str(), "Product");
    EXPECT_TRUE(scratch::Exists(folder + "\\Product.lnk"));
}
