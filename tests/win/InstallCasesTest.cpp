// Installation cases from end to end: setup.exe of a product whose folder has
// two components (Cases\Bin) installs one of three distributions with various
// folder texts and options, or meets a payload it cannot read. Every case
// checks what really landed: files, registry values, shortcuts and the install
// log, unscrambled and compared byte for byte.
//
// The Wine root of these tests maps D: to a folder of its own
// (tests/scripts/cases-prefix.sh), so that the drive a path lands on can be
// told from C:.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "InstallFixture.h"
#include "sys/ClsRegist.h"
#include "sys/Names.h"
#include "ShellLink.h"
#include "sys/Text.h"

namespace {

using driver::Exists;
using driver::ReadBytes;
using shell_link::Target;

// Its Shift-JIS form holds the trail byte 0x5C (in ソ), which must not split
// the shortcut names.
const wchar_t kProductName[] = L"ケース検証ソフト";
// The uninstall key is named after the first component only.
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Cases";

std::string Ansi(const std::wstring& text)
{
    return sys::ToAnsi(text.c_str());
}

class InstallCases : public install_fixture::Installation {
protected:
    InstallCases()
        : Installation(kProductName, kUninstallKey, YNB_CASES_MANIFEST_KEY, L"C:\\ynbcases-")
        , rootD(L"D:\\ynbcases-" + std::to_wstring(GetCurrentProcessId()))
    {
    }

    void SetUp() override
    {
        ASSERT_TRUE(Exists(L"D:\\")) << "the Wine root maps no drive D: (tests/scripts/cases-prefix.sh)";
        ASSERT_NO_FATAL_FAILURE(Installation::SetUp());
        ASSERT_TRUE(CreateDirectoryW(rootD.c_str(), nullptr));
    }

    // Everything a case may have placed; the drive roots are this Wine root's own.
    void Clean() override
    {
        Installation::Clean();
        for (const std::wstring& folder : { rootD, std::wstring(L"C:\\Cases"), std::wstring(L"D:\\Cases"),
                 desktop + L"Tools", documents + L"\\CasesDocs" })
            driver::RemoveTree(folder);
        for (const wchar_t* file :
            { L"C:\\ynbcases-root.txt", L"D:\\ynbcases-root.txt", L"C:\\instdir.dat", L"D:\\instdir.dat" })
            DeleteFileW(file);
    }

    // setup.exe and the two documents of a distribution in programFolder,
    // with its payload when asked for.
    bool Launch(const wchar_t* distribution, const std::wstring& programFolder, bool withPayload = true)
    {
        return Installation::Launch(
            YNB_SETUP_CASES_EXE, driver::HostPath(YNB_CASES_DIST) + L"\\" + distribution, programFolder, withPayload);
    }

    // The failed-copy message of a target path, dismissed.
    bool CopyFailed(const std::wstring& target)
    {
        HWND box = setup->Message(target + L"へのコピーに失敗しました。");
        return box != nullptr && driver::Answer(box, L"OK");
    }

    // The payload files of the product outside the staging folder, as they
    // must lie below the base folder.
    void ExpectPayloadBelow(const std::wstring& base, bool withLogFolder = true)
    {
        const std::wstring payload = driver::HostPath(YNB_CASES_PAYLOAD);
        EXPECT_EQ(ReadBytes(payload + L"\\Cases\\Bin\\app.exe"), ReadBytes(base + L"\\Cases\\Bin\\app.exe"));
        if (withLogFolder) {
            EXPECT_EQ(ReadBytes(payload + L"\\Cases\\Bin\\ynb\\version.txt"),
                ReadBytes(base + L"\\Cases\\Bin\\ynb\\version.txt"));
        }
        // The manifest and the staging folder are gone.
        EXPECT_FALSE(Exists(base + L"\\Cases\\ins"));
    }

    std::wstring Staged(const wchar_t* name) const
    {
        return driver::HostPath(YNB_CASES_PAYLOAD) + L"\\Cases\\ins\\" + name;
    }

    // Nothing of an installation: no key, no files, no log, no shortcut.
    void ExpectNothingInstalled(const std::wstring& base)
    {
        EXPECT_FALSE(driver::KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
        EXPECT_FALSE(Exists(base + L"\\Cases"));
        EXPECT_FALSE(Exists(desktop + link));
        EXPECT_FALSE(Exists(programs + link));
        EXPECT_FALSE(Exists(setup->Folder() + L"\\temp.dat"));
    }

    const std::wstring rootD;
};

// ---- Paths

// The base folder on D:, the program on C:. Every kind of manifest entry:
// DESKTOP glued to a name, a folder to MYDOC, an empty destination, a
// destination folder that does not exist, a Shift-JIS name beside the
// staging folder.
TEST_F(InstallCases, ProductFolderOfTwoComponentsWithEveryKindOfEntry)
{
    const std::wstring base = rootD + L"\\base";
    const std::wstring install = base + L"\\Cases";
    // The folder that "DESKTOPTools" names: the desktop's path with Tools glued on.
    ASSERT_TRUE(CreateDirectoryW((desktop + L"Tools").c_str(), nullptr));
    // What an earlier version with a product.txt left in the entry; this one
    // has none, so they go.
    for (const char* value : { "DisplayVersion", "Publisher", "URLInfoAbout" })
        ASSERT_TRUE(ClsRegist().WriteString(sys::kUninstallRoot, kUninstallKey, value, "earlier"));
    ASSERT_TRUE(Launch(L"main", root + L"\\program"));
    ASSERT_TRUE(setup->StartInstallation(base, true, true));
    // The failed copy names its target path exactly; the entries after it are
    // still processed.
    ASSERT_TRUE(CopyFailed(L"missing\\gone.txt"));
    ASSERT_TRUE(setup->Completed());

    ExpectPayloadBelow(base);
    EXPECT_FALSE(Exists(setup->Folder() + L"\\temp.dat"));
    EXPECT_EQ(ReadBytes(Staged(L"glued.txt")), ReadBytes(desktop + L"Tools\\glued.txt"));
    EXPECT_FALSE(Exists(desktop + L"\\glued.txt"));
    EXPECT_EQ(ReadBytes(Staged(L"CasesDocs\\a.txt")), ReadBytes(documents + L"\\CasesDocs\\a.txt"));
    EXPECT_EQ(ReadBytes(Staged(L"CasesDocs\\sub\\b.txt")), ReadBytes(documents + L"\\CasesDocs\\sub\\b.txt"));
    // The empty destination is the root of the staging folder's drive, not
    // of the program's.
    EXPECT_EQ(ReadBytes(Staged(L"ynbcases-root.txt")), ReadBytes(L"D:\\ynbcases-root.txt"));
    EXPECT_FALSE(Exists(L"C:\\ynbcases-root.txt"));
    EXPECT_EQ(ReadBytes(Staged(L"説明.txt")), ReadBytes(install + L"\\説明.txt"));

    // The uninstall entry under the first component only; the command has no
    // space, so it is not quoted.
    EXPECT_EQ(Ansi(kProductName), RegistryText("DisplayName"));
    EXPECT_EQ(Ansi(install) + "\\uninstall.exe", RegistryText("UninstallString"));
    for (const char* value : { "DisplayVersion", "Publisher", "URLInfoAbout" })
        EXPECT_EQ("<no value>", RegistryText(value)) << value;
    EXPECT_FALSE(
        driver::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Cases\\Bin"));
    EXPECT_FALSE(driver::KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Bin"));

    const std::string target = Ansi(base) + "\\Cases\\Bin\\app.exe";
    EXPECT_EQ(target, Target(desktop + link));
    EXPECT_EQ(target, Target(programs + link));

    // The log in the base folder\Cases\Bin\ynb; the failed entry is logged too.
    const std::string expected = "Cases\\\r\n" + Ansi(desktop) + "Tools\\glued.txt\r\n" + Ansi(documents)
        + "\\CasesDocs\\\\\r\n" + "\\ynbcases-root.txt\r\n" + "missing\\gone.txt\r\n" + Ansi(L"..\\説明.txt\r\n")
        + Ansi(desktop + link) + "\r\n" + Ansi(programs + link) + "\r\n" + Ansi(install) + "\\\r\n";
    EXPECT_EQ(expected, PlainLog(install + L"\\Bin\\ynb\\instdir.dat"));
    EXPECT_FALSE(Exists(install + L"\\ynb"));
    EXPECT_EQ(0u, setup->Finish());
}

// "C:\": the joins keep the doubled backslash. A manifest without entries and
// neither option: the log holds its first and last lines only.
TEST_F(InstallCases, FolderTextEndingInABackslashWithoutEntriesOrShortcuts)
{
    ASSERT_TRUE(Launch(L"empty", root + L"\\program"));
    ASSERT_TRUE(setup->StartInstallation(L"C:\\", false, false));
    ASSERT_TRUE(setup->Completed());

    ExpectPayloadBelow(L"C:");
    EXPECT_EQ("C:\\\\Cases\\uninstall.exe", RegistryText("UninstallString"));
    EXPECT_EQ(Ansi(kProductName), RegistryText("DisplayName"));
    EXPECT_FALSE(Exists(desktop + link));
    EXPECT_FALSE(Exists(programs + link));
    EXPECT_EQ("Cases\\\r\nC:\\\\Cases\\\r\n", PlainLog(L"C:\\Cases\\Bin\\ynb\\instdir.dat"));
    EXPECT_EQ(0u, setup->Finish());
}

// Blanks after the folder text: the system drops them when it makes the
// folder, so every path goes without them, the base folder's too (with them
// the payload would be unpacked into a folder that never exists).
TEST_F(InstallCases, TrailingBlanksAreDroppedFromEveryPath)
{
    const std::wstring base = root + L"\\with blank";
    ASSERT_TRUE(Launch(L"empty", root + L"\\program"));
    ASSERT_TRUE(setup->StartInstallation(base + L"  \t", true, true));
    ASSERT_TRUE(setup->Completed());

    ExpectPayloadBelow(base);
    // The blank inside stays, and the command that holds it is quoted.
    EXPECT_EQ("\"" + Ansi(base) + "\\Cases\\uninstall.exe\"", RegistryText("UninstallString"));
    EXPECT_EQ(Ansi(base) + "\\Cases\\Bin\\app.exe", Target(desktop + link));
    EXPECT_EQ(Ansi(base) + "\\Cases\\Bin\\app.exe", Target(programs + link));
    EXPECT_EQ(
        "Cases\\\r\n" + Ansi(desktop + link) + "\r\n" + Ansi(programs + link) + "\r\n" + Ansi(base) + "\\Cases\\\r\n",
        PlainLog(base + L"\\Cases\\Bin\\ynb\\instdir.dat"));
    EXPECT_FALSE(Exists(root + L"\\instdir.dat"));
    EXPECT_EQ(0u, setup->Finish());
}

// An empty folder text: the payload goes to the root of the current drive,
// which is the program's (D:), and every path built on it starts with a
// backslash.
TEST_F(InstallCases, EmptyFolderTextInstallsAtTheRootOfTheProgramsDrive)
{
    ASSERT_TRUE(Launch(L"empty", rootD + L"\\program"));
    ASSERT_TRUE(setup->StartInstallation(L"", true, false));
    ASSERT_TRUE(setup->Completed());

    ExpectPayloadBelow(L"D:");
    EXPECT_FALSE(Exists(L"C:\\Cases"));
    EXPECT_EQ("\\Cases\\uninstall.exe", RegistryText("UninstallString"));
    // The shell link completes the target \Cases\Bin\app.exe on the
    // current drive, so the shortcut points at the program installed there.
    EXPECT_EQ("D:\\Cases\\Bin\\app.exe", Target(desktop + link));
    EXPECT_FALSE(Exists(programs + link));
    EXPECT_EQ(
        "Cases\\\r\n" + Ansi(desktop + link) + "\r\n\\Cases\\\r\n", PlainLog(L"D:\\Cases\\Bin\\ynb\\instdir.dat"));
    EXPECT_EQ(0u, setup->Finish());
}

// Lines setup.exe must refuse itself, and a payload without the log folder:
// the log lands in the install folder's parent.
TEST_F(InstallCases, RefusedLinesAndMissingLogFolder)
{
    const std::wstring base = root + L"\\nolog";
    const std::wstring install = base + L"\\Cases";
    ASSERT_TRUE(Launch(L"refused", root + L"\\program"));
    ASSERT_TRUE(setup->StartInstallation(base, false, false));
    // A line without a TAB is reported by its text and not logged; the empty
    // line after it is passed over; a source that does not exist fails.
    ASSERT_TRUE(CopyFailed(L"noTabLine"));
    ASSERT_TRUE(CopyFailed(L"..\\absent.txt"));
    ASSERT_TRUE(setup->Completed());

    ExpectPayloadBelow(base, false);
    EXPECT_FALSE(Exists(install + L"\\Bin\\ynb"));
    EXPECT_FALSE(Exists(install + L"\\absent.txt"));
    // "desktop" in lower case is a folder of the staging folder, not the desktop.
    EXPECT_FALSE(Exists(desktop + L"\\lower.txt"));
    // LF line ends read as CR LF ones.
    EXPECT_EQ(ReadBytes(Staged(L"説明.txt")), ReadBytes(install + L"\\説明.txt"));
    const std::string expected
        = "Cases\\\r\n..\\absent.txt\r\ndesktop\\lower.txt\r\n" + Ansi(L"..\\説明.txt\r\n") + Ansi(install) + "\\\r\n";
    EXPECT_EQ(expected, PlainLog(base + L"\\instdir.dat"));
    EXPECT_FALSE(Exists(install + L"\\instdir.dat"));
    EXPECT_EQ(0u, setup->Finish());
}

// ---- Registry

// An uninstall key that refuses writing: the installation fails, and leaves
// nothing of the payload and no value.
TEST_F(InstallCases, UninstallKeyThatRefusesWriting)
{
    ASSERT_TRUE(driver::RestrictKey(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_READ | WRITE_DAC | DELETE));
    HKEY probe = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_ALL_ACCESS, &probe) == ERROR_SUCCESS) {
        RegCloseKey(probe);
        GTEST_SKIP() << "this system does not enforce registry key permissions for this account";
    }
    const std::wstring base = root + L"\\denied";
    ASSERT_TRUE(Launch(L"empty", root + L"\\program"));
    ASSERT_TRUE(setup->StartInstallation(base, false, false));
    HWND question = setup->FailedSetupQuestion(
        L"プログラムの一覧に登録できませんでした。何も変更していません。\nセットアップに失敗しました。");
    ASSERT_NE(nullptr, question);
    ASSERT_TRUE(driver::Answer(question, L"OK"));
    EXPECT_EQ(1603u, setup->WaitExit());
    EXPECT_FALSE(Exists(base + L"\\Cases"));
    EXPECT_EQ(0u, driver::ValueCount(HKEY_LOCAL_MACHINE, kUninstallKey));
}

// ---- Payload failures

// No data00.dat, or a folder where it should be (it cannot be read); the
// user confirms the cancellation: the program ends with 0 and leaves nothing.
TEST_F(InstallCases, UnreadablePayloadAnsweredOkEndsTheProgram)
{
    for (const bool folderInstead : { false, true }) {
        SCOPED_TRACE(folderInstead ? "a folder data00.dat" : "no data00.dat");
        const std::wstring base = root + L"\\base";
        ASSERT_TRUE(Launch(L"main", root + L"\\program", false));
        if (folderInstead) {
            ASSERT_TRUE(CreateDirectoryW((setup->Folder() + L"\\data00.dat").c_str(), nullptr));
        }
        ASSERT_TRUE(setup->StartInstallation(base, true, true));
        HWND question = setup->FailedSetupQuestion();
        ASSERT_NE(nullptr, question);
        ASSERT_TRUE(driver::Answer(question, L"OK"));
        EXPECT_EQ(1603u, setup->WaitExit()); // failed
        ExpectNothingInstalled(base);
    }
}

// data00.dat locked by another program; the user stays: the page is usable
// again, and once the lock is gone Start installs into the folder then typed.
TEST_F(InstallCases, LockedPayloadAnsweredCancelThenStartAgain)
{
    const std::wstring first = root + L"\\first";
    const std::wstring second = root + L"\\second";
    ASSERT_TRUE(Launch(L"empty", root + L"\\program"));
    HANDLE lock = CreateFileW((setup->Folder() + L"\\data00.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    if (setup->StartInstallation(first, true, false))
        StayAfterFailedSetup();
    CloseHandle(lock);
    ASSERT_FALSE(HasFatalFailure());
    ExpectNothingInstalled(first);

    ASSERT_TRUE(setup->SetFolderText(second));
    ASSERT_TRUE(setup->Press(L"開始 >"));
    ASSERT_TRUE(setup->Completed());
    // Only the second folder text counts: extraction, shortcut and log.
    EXPECT_FALSE(Exists(first));
    ExpectPayloadBelow(second);
    EXPECT_EQ(Ansi(second) + "\\Cases\\Bin\\app.exe", Target(desktop + link));
    EXPECT_EQ("Cases\\\r\n" + Ansi(desktop + link) + "\r\n" + Ansi(second) + "\\Cases\\\r\n",
        PlainLog(second + L"\\Cases\\Bin\\ynb\\instdir.dat"));
    EXPECT_EQ(0u, setup->Finish());
}

} // namespace
