// ClsFile::CreateShortcut under Wine: the shortcut files are loaded back
// through the shell-link object and their properties compared.
#include <gtest/gtest.h>

#include "SysScratch.h"
#include "sys/ClsFile.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>

using scratch::TempFolder;

namespace {

struct LinkProperties {
    bool loaded = false;
    std::string path;
    std::string workingDirectory;
    std::string iconPath;
    int iconIndex = -1;
    std::string description;
    std::string arguments;
};

// Reads a shortcut file back through IShellLinkA and IPersistFile::Load.
LinkProperties LoadLink(const std::string& file)
{
    LinkProperties properties;
    const HRESULT init = CoInitialize(nullptr);
    IShellLinkA* link = nullptr;
    IPersistFile* persist = nullptr;
    wchar_t wide[MAX_PATH];
    if (SUCCEEDED(CoCreateInstance(
            CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, reinterpret_cast<void**>(&link)))
        && SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))
        && MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide, MAX_PATH) > 0
        && SUCCEEDED(persist->Load(wide, STGM_READ))) {
        char text[MAX_PATH * 2];
        properties.loaded = true;
        if (SUCCEEDED(link->GetPath(text, sizeof text, nullptr, SLGP_RAWPATH)))
            properties.path = text;
        if (SUCCEEDED(link->GetWorkingDirectory(text, sizeof text)))
            properties.workingDirectory = text;
        if (SUCCEEDED(link->GetIconLocation(text, sizeof text, &properties.iconIndex)))
            properties.iconPath = text;
        if (SUCCEEDED(link->GetDescription(text, sizeof text)))
            properties.description = text;
        if (SUCCEEDED(link->GetArguments(text, sizeof text)))
            properties.arguments = text;
    }
    if (persist != nullptr)
        persist->Release();
    if (link != nullptr)
        link->Release();
    if (SUCCEEDED(init))
        CoUninitialize();
    return properties;
}

} // namespace

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
};

TEST_F(ShortcutTest, PointsAtTheTargetWithItsFolderAndIcon)
{
    EXPECT_TRUE(ClsFile::CreateShortcut(program.c_str(), links.c_str(), "Product"));
    const LinkProperties link = LoadLink(links + "\\Product.lnk");
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
    EXPECT_TRUE(ClsFile::CreateShortcut(target.c_str(), links.c_str(), "\x90\xBB\x95\x69")); // "製品"
    const LinkProperties link = LoadLink(links + "\\\x90\xBB\x95\x69.lnk");
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
        const std::string name = "case" + std::to_string(n++);
        EXPECT_TRUE(ClsFile::CreateShortcut(c.target, links.c_str(), name.c_str()));
        const LinkProperties link = LoadLink(links + "\\" + name + ".lnk");
        ASSERT_TRUE(link.loaded);
        EXPECT_EQ(c.workingDirectory, link.workingDirectory);
        EXPECT_EQ(c.target, link.iconPath);
    }
}

TEST_F(ShortcutTest, SecondCallReplacesTheFirst)
{
    const std::string other = dir / "app\\other.exe";
    ASSERT_TRUE(scratch::Write(other, "MZ"));
    EXPECT_TRUE(ClsFile::CreateShortcut(program.c_str(), links.c_str(), "Same"));
    EXPECT_TRUE(ClsFile::CreateShortcut(other.c_str(), links.c_str(), "Same"));
    EXPECT_EQ(std::vector<std::string> { "Same.lnk" }, scratch::List(links));
    const LinkProperties link = LoadLink(links + "\\Same.lnk");
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

TEST_F(ShortcutTest, UnwritableLinkGivesTrueAndNoFile)
{
    EXPECT_TRUE(ClsFile::CreateShortcut(program.c_str(), links.c_str(), "bad|name"));
    EXPECT_TRUE(ClsFile::CreateShortcut(program.c_str(), links.c_str(), "bad?name"));
    EXPECT_TRUE(ClsFile::CreateShortcut(program.c_str(), (dir / "no\\such\\folder").c_str(), "Product"));
    EXPECT_TRUE(scratch::List(links).empty());
    EXPECT_FALSE(scratch::Exists(dir / "no"));
}

TEST_F(ShortcutTest, LinkPathThatDoesNotFitIsNotWritten)
{
    // folder + "\" + name + ".lnk" + zero: 261 bytes with this name, 260 with one byte less.
    const std::size_t room = 260 - links.size() - 1 - 4 - 1;
    const std::string fits(room, 'n');
    const std::string tooLong = fits + "x";
    EXPECT_TRUE(ClsFile::CreateShortcut(program.c_str(), links.c_str(), tooLong.c_str()));
    EXPECT_TRUE(scratch::List(links).empty()); // not cut into a shorter name either
    EXPECT_TRUE(ClsFile::CreateShortcut(program.c_str(), links.c_str(), fits.c_str()));
    EXPECT_EQ(std::vector<std::string> { fits + ".lnk" }, scratch::List(links));
}

TEST_F(ShortcutTest, LeavesTheThreadsComStateAsItWas)
{
    // Without COM before: afterwards the thread can still choose the multithreaded model.
    EXPECT_TRUE(ClsFile::CreateShortcut(program.c_str(), links.c_str(), "One"));
    const HRESULT multi = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    EXPECT_EQ(S_OK, multi);
    if (SUCCEEDED(multi))
        CoUninitialize();

    // With COM before: still initialised afterwards, and balanced.
    ASSERT_EQ(S_OK, CoInitialize(nullptr));
    EXPECT_TRUE(ClsFile::CreateShortcut(program.c_str(), links.c_str(), "Two"));
    EXPECT_EQ(S_FALSE, CoInitialize(nullptr)); // still initialised on this thread
    CoUninitialize();
    CoUninitialize();
    EXPECT_TRUE(LoadLink(links + "\\Two.lnk").loaded);
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
    char folder[MAX_PATH];
    char target[MAX_PATH];
    if (GetEnvironmentVariableA("YNB_LNK_FOLDER", folder, sizeof folder) == 0
        || GetEnvironmentVariableA("YNB_LNK_TARGET", target, sizeof target) == 0)
        GTEST_SKIP() << "run through tests/scripts/sys-shortcut.sh";
    EXPECT_TRUE(ClsFile::CreateShortcut(target, folder, "Product"));
    EXPECT_TRUE(scratch::Exists(std::string(folder) + "\\Product.lnk"));
}
