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

#include <aclapi.h>
#include <shlobj.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "Driver.h"
#include "package/ClsSecurity.h"
#include "sys/ClsFile.h"
#include "sys/Text.h"

namespace {

using driver::ClassOf;
using driver::Text;

// Its Shift-JIS form holds the trail byte 0x5C (in ソ), which must not split
// the shortcut names.
const wchar_t kProductName[] = L"ケース検証ソフト";
// The uninstall key is named after the first component only.
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Cases";
const wchar_t kCopyFailed[] = L"へのコピーに失敗しました。";
constexpr int32_t kManifestKey = YNB_CASES_MANIFEST_KEY;

std::string Ansi(const std::wstring& text)
{
    return sys::ToAnsi(text.c_str());
}

using driver::Exists;
using driver::ReadBytes;

// The install log as the uninstaller reads it.
std::string PlainLog(const std::wstring& path)
{
    std::string log = ReadBytes(path);
    if (log.rfind("<missing", 0) == 0)
        return log;
    (void)ClsSecurity::Unscramble(log.data(), static_cast<int32_t>(log.size()), kManifestKey);
    return log;
}

std::wstring Folder(bool (*getter)(char*))
{
    return driver::FolderFrom(getter);
}

bool KeyExists(const char* path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::string RegistryText(const char* value)
{
    return driver::RegistryText(kUninstallKey, value);
}

DWORD ValueCount(const char* path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0xFFFFFFFF;
    DWORD values = 0;
    const LONG status = RegQueryInfoKeyA(
        key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? values : 0xFFFFFFFF;
}

// Gives the key a DACL: everyone may only read it, change its DACL and delete
// it (so that the test can remove it again). False when it cannot be done.
bool RestrictKey(const char* path, DWORD rights)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr)
        != ERROR_SUCCESS)
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

void RemoveKey(const char* path)
{
    if (!KeyExists(path))
        return;
    // A key left restricted by an earlier run gets full access back first.
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, WRITE_DAC, &key) == ERROR_SUCCESS) {
        (void)SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION,
            nullptr, nullptr, nullptr, nullptr);
        RegCloseKey(key);
    }
    (void)RegDeleteTreeA(HKEY_LOCAL_MACHINE, path);
    (void)RegDeleteKeyA(HKEY_LOCAL_MACHINE, path);
}

// The target stored in a shortcut file, read back through the shell link.
std::string LinkTarget(const std::wstring& file)
{
    std::string target = "<not loaded>";
    const HRESULT init = CoInitialize(nullptr);
    IShellLinkA* link = nullptr;
    IPersistFile* persist = nullptr;
    if (SUCCEEDED(CoCreateInstance(
            CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, reinterpret_cast<void**>(&link)))
        && SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))
        && SUCCEEDED(persist->Load(file.c_str(), STGM_READ))) {
        char text[MAX_PATH * 2] = {};
        target = SUCCEEDED(link->GetPath(text, sizeof text, nullptr, SLGP_RAWPATH)) ? text : "<no path>";
    }
    if (persist != nullptr)
        persist->Release();
    if (link != nullptr)
        link->Release();
    if (SUCCEEDED(init))
        CoUninitialize();
    return target;
}

class InstallCases : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Exists(L"D:\\")) << "the Wine root maps no drive D: (tests/scripts/cases-prefix.sh)";
        const std::wstring own = L"ynbcases-" + std::to_wstring(GetCurrentProcessId());
        root = L"C:\\" + own;
        rootD = L"D:\\" + own;
        desktop = Folder(ClsFile::GetDesktopFolder);
        documents = Folder(ClsFile::GetMyDocumentsFolder);
        const std::wstring startup = Folder(ClsFile::GetStartupFolder);
        programs = startup.substr(0, startup.rfind(L'\\'));
        ASSERT_FALSE(desktop.empty());
        ASSERT_FALSE(documents.empty());
        ASSERT_FALSE(programs.empty());
        link = std::wstring(L"\\") + kProductName + L".lnk";
        Clean();
        ASSERT_TRUE(CreateDirectoryW(root.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW(rootD.c_str(), nullptr));
    }

    void TearDown() override
    {
        setup.reset();
        Clean();
    }

    // Everything a case may have placed; the drive roots are this Wine root's own.
    void Clean()
    {
        for (const std::wstring& folder : { root, rootD, std::wstring(L"C:\\Cases"), std::wstring(L"D:\\Cases"),
                 desktop + L"Tools", documents + L"\\CasesDocs" })
            driver::Setup::RemoveTree(folder);
        for (const std::wstring& file :
            { std::wstring(L"C:\\ynbcases-root.txt"), std::wstring(L"D:\\ynbcases-root.txt"),
                std::wstring(L"C:\\instdir.dat"), std::wstring(L"D:\\instdir.dat"), desktop + link, programs + link })
            DeleteFileW(file.c_str());
        RemoveKey(kUninstallKey);
    }

    // setup.exe and the two documents in programFolder, with the payload of
    // the distribution when asked for; started from there.
    void Launch(const wchar_t* distribution, const std::wstring& programFolder, bool withPayload = true)
    {
        dist = driver::HostPath(YNB_CASES_DIST) + L"\\" + distribution;
        setup = std::make_unique<driver::Setup>(driver::HostPath(YNB_SETUP_CASES_EXE), dist, programFolder, true, true);
        if (withPayload) {
            ASSERT_TRUE(setup->CopyIn(dist + L"\\data00.dat", L"data00.dat"));
        }
        ASSERT_TRUE(setup->Start());
        wizard = setup->Wizard();
        ASSERT_NE(nullptr, wizard);
    }

    HWND VisiblePage() const { return driver::VisiblePage(wizard); }

    HWND WaitButton(const std::wstring& text) const { return driver::WaitPageButton(wizard, text); }

    void Press(const std::wstring& text)
    {
        HWND button = WaitButton(text);
        ASSERT_NE(nullptr, button) << "no button " << testing::PrintToString(text);
        driver::Click(button);
    }

    void SetCheck(HWND page, const wchar_t* option, bool checked)
    {
        HWND box = driver::ChildWithText(page, option, L"Button");
        ASSERT_NE(nullptr, box) << testing::PrintToString(std::wstring(option));
        DWORD_PTR result = 0;
        SendMessageTimeoutW(
            box, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0, SMTO_ABORTIFHUNG, 5000, &result);
        EXPECT_EQ(checked, driver::Checked(box));
    }

    // Welcome and the two documents, then the folder text and the options.
    void ToDestination(const std::wstring& folderText, bool desktopShortcut, bool startMenu)
    {
        Press(L"次へ >");
        Press(L"同意 >");
        Sleep(500); // the second document replaces the first on the same page
        Press(L"同意 >");
        ASSERT_NE(nullptr, WaitButton(L"開始 >"));
        SetFolderText(folderText);
        HWND page = VisiblePage();
        SetCheck(page, L"ﾃﾞｽｸﾄｯﾌﾟにショートカット作成", desktopShortcut);
        SetCheck(page, L"スタートメニューに登録", startMenu);
    }

    void SetFolderText(const std::wstring& folderText)
    {
        HWND edit = driver::ChildOfClass(VisiblePage(), L"Edit");
        ASSERT_NE(nullptr, edit);
        driver::SetText(edit, folderText);
        ASSERT_EQ(folderText, Text(edit));
    }

    // A message box of the program whose text is exactly this.
    HWND Message(const std::wstring& text) const
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

    // The failed-copy message of a target path, dismissed.
    void ExpectCopyFailed(const std::wstring& target)
    {
        HWND box = Message(target + kCopyFailed);
        ASSERT_NE(nullptr, box) << "no failed-copy message for " << Ansi(target);
        Answer(box, L"OK");
    }

    // The completion page, reached without any message left open.
    void ExpectCompletion()
    {
        ASSERT_NE(nullptr, WaitButton(L"終了")) << "no completion page";
        EXPECT_EQ(nullptr, ProgressWindow());
        EXPECT_TRUE(setup->NoDialog()) << "a message is open";
    }

    void Finish()
    {
        Press(L"終了");
        EXPECT_EQ(0u, setup->WaitExit());
    }

    // The failed-setup message, then the cancel question.
    HWND FailedSetupQuestion()
    {
        HWND failed = Message(L"セットアップに失敗しました。");
        if (failed == nullptr)
            return nullptr;
        Answer(failed, L"OK");
        return setup->Dialog(L"確認");
    }

    HWND ProgressWindow() const
    {
        return setup->Find([](HWND h) { return ClassOf(h) == L"YnbForm" && Text(h) == L"インストール"; });
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
        EXPECT_FALSE(KeyExists(kUninstallKey));
        EXPECT_FALSE(Exists(base + L"\\Cases"));
        EXPECT_FALSE(Exists(desktop + link));
        EXPECT_FALSE(Exists(programs + link));
        EXPECT_FALSE(Exists(setup->Folder() + L"\\temp.dat"));
    }

    std::wstring root, rootD, desktop, documents, programs, link, dist;
    std::unique_ptr<driver::Setup> setup;
    HWND wizard = nullptr;
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
    Launch(L"main", root + L"\\program");
    ToDestination(base, true, true);
    Press(L"開始 >");
    // The failed copy names its target path exactly; the entries after it are
    // still processed.
    ExpectCopyFailed(L"missing\\gone.txt");
    ExpectCompletion();

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
    EXPECT_FALSE(KeyExists("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Cases\\Bin"));
    EXPECT_FALSE(KeyExists("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Bin"));

    const std::string target = Ansi(base) + "\\Cases\\Bin\\app.exe";
    EXPECT_EQ(target, LinkTarget(desktop + link));
    EXPECT_EQ(target, LinkTarget(programs + link));

    // The log in the base folder\Cases\Bin\ynb; the failed entry is logged too.
    const std::string expected = "Cases\\\r\n" + Ansi(desktop) + "Tools\\glued.txt\r\n" + Ansi(documents)
        + "\\CasesDocs\\\\\r\n" + "\\ynbcases-root.txt\r\n" + "missing\\gone.txt\r\n" + Ansi(L"..\\説明.txt\r\n")
        + Ansi(desktop + link) + "\r\n" + Ansi(programs + link) + "\r\n" + Ansi(install) + "\\\r\n";
    EXPECT_EQ(expected, PlainLog(install + L"\\Bin\\ynb\\instdir.dat"));
    EXPECT_FALSE(Exists(install + L"\\ynb"));
    Finish();
}

// "C:\": the joins keep the doubled backslash. A manifest without entries and
// neither option: the log holds its first and last lines only.
TEST_F(InstallCases, FolderTextEndingInABackslashWithoutEntriesOrShortcuts)
{
    Launch(L"empty", root + L"\\program");
    ToDestination(L"C:\\", false, false);
    Press(L"開始 >");
    ExpectCompletion();

    ExpectPayloadBelow(L"C:");
    EXPECT_EQ("C:\\\\Cases\\uninstall.exe", RegistryText("UninstallString"));
    EXPECT_EQ(Ansi(kProductName), RegistryText("DisplayName"));
    EXPECT_FALSE(Exists(desktop + link));
    EXPECT_FALSE(Exists(programs + link));
    EXPECT_EQ("Cases\\\r\nC:\\\\Cases\\\r\n", PlainLog(L"C:\\Cases\\Bin\\ynb\\instdir.dat"));
    Finish();
}

// Blanks after the folder text: the system drops them when it makes the
// folder, so every path goes without them, the base folder's too (with them
// the payload would be unpacked into a folder that never exists).
TEST_F(InstallCases, TrailingBlanksAreDroppedFromEveryPath)
{
    const std::wstring base = root + L"\\with blank";
    Launch(L"empty", root + L"\\program");
    ToDestination(base + L"  \t", true, true);
    Press(L"開始 >");
    ExpectCompletion();

    ExpectPayloadBelow(base);
    // The blank inside stays, and the command that holds it is quoted.
    EXPECT_EQ("\"" + Ansi(base) + "\\Cases\\uninstall.exe\"", RegistryText("UninstallString"));
    EXPECT_EQ(Ansi(base) + "\\Cases\\Bin\\app.exe", LinkTarget(desktop + link));
    EXPECT_EQ(Ansi(base) + "\\Cases\\Bin\\app.exe", LinkTarget(programs + link));
    EXPECT_EQ(
        "Cases\\\r\n" + Ansi(desktop + link) + "\r\n" + Ansi(programs + link) + "\r\n" + Ansi(base) + "\\Cases\\\r\n",
        PlainLog(base + L"\\Cases\\Bin\\ynb\\instdir.dat"));
    EXPECT_FALSE(Exists(root + L"\\instdir.dat"));
    Finish();
}

// An empty folder text: the payload goes to the root of the current drive,
// which is the program's (D:), and every path built on it starts with a
// backslash.
TEST_F(InstallCases, EmptyFolderTextInstallsAtTheRootOfTheProgramsDrive)
{
    Launch(L"empty", rootD + L"\\program");
    ToDestination(L"", true, false);
    Press(L"開始 >");
    ExpectCompletion();

    ExpectPayloadBelow(L"D:");
    EXPECT_FALSE(Exists(L"C:\\Cases"));
    EXPECT_EQ("\\Cases\\uninstall.exe", RegistryText("UninstallString"));
    // The shell link completes the target \Cases\Bin\app.exe on the
    // current drive, so the shortcut points at the program installed there.
    EXPECT_EQ("D:\\Cases\\Bin\\app.exe", LinkTarget(desktop + link));
    EXPECT_FALSE(Exists(programs + link));
    EXPECT_EQ(
        "Cases\\\r\n" + Ansi(desktop + link) + "\r\n\\Cases\\\r\n", PlainLog(L"D:\\Cases\\Bin\\ynb\\instdir.dat"));
    Finish();
}

// Lines setup.exe must refuse itself, and a payload without the log folder:
// the log lands in the install folder's parent.
TEST_F(InstallCases, RefusedLinesAndMissingLogFolder)
{
    const std::wstring base = root + L"\\nolog";
    const std::wstring install = base + L"\\Cases";
    Launch(L"refused", root + L"\\program");
    ToDestination(base, false, false);
    Press(L"開始 >");
    // A line without a TAB is reported by its text and not logged; the empty
    // line after it is passed over; a source that does not exist fails.
    ExpectCopyFailed(L"noTabLine");
    ExpectCopyFailed(L"..\\absent.txt");
    ExpectCompletion();

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
    Finish();
}

// ---- Registry

// An uninstall key that refuses writing: the installation completes and
// writes no value.
TEST_F(InstallCases, UninstallKeyThatRefusesWriting)
{
    ASSERT_TRUE(RestrictKey(kUninstallKey, KEY_READ | WRITE_DAC | DELETE));
    HKEY probe = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_ALL_ACCESS, &probe) == ERROR_SUCCESS) {
        RegCloseKey(probe);
        GTEST_SKIP() << "this system does not enforce registry key permissions for this account";
    }
    const std::wstring base = root + L"\\denied";
    Launch(L"empty", root + L"\\program");
    ToDestination(base, false, false);
    Press(L"開始 >");
    ExpectCompletion();

    ExpectPayloadBelow(base);
    EXPECT_TRUE(KeyExists(kUninstallKey));
    EXPECT_EQ(0u, ValueCount(kUninstallKey));
    EXPECT_EQ("Cases\\\r\n" + Ansi(base) + "\\Cases\\\r\n", PlainLog(base + L"\\Cases\\Bin\\ynb\\instdir.dat"));
    Finish();
}

// ---- Payload failures

// No data00.dat; the user confirms the cancellation: the program ends with 0
// and leaves nothing.
TEST_F(InstallCases, MissingPayloadAnsweredOkEndsTheProgram)
{
    const std::wstring base = root + L"\\base";
    Launch(L"main", root + L"\\program", false);
    ToDestination(base, true, true);
    Press(L"開始 >");
    HWND question = FailedSetupQuestion();
    ASSERT_NE(nullptr, question);
    Answer(question, L"OK");
    EXPECT_EQ(0u, setup->WaitExit());
    ExpectNothingInstalled(base);
}

// A folder where data00.dat should be: it cannot be read, the same ending.
TEST_F(InstallCases, PayloadThatIsAFolderAnsweredOkEndsTheProgram)
{
    const std::wstring base = root + L"\\base";
    Launch(L"main", root + L"\\program", false);
    ASSERT_TRUE(CreateDirectoryW((setup->Folder() + L"\\data00.dat").c_str(), nullptr));
    ToDestination(base, true, true);
    Press(L"開始 >");
    HWND question = FailedSetupQuestion();
    ASSERT_NE(nullptr, question);
    Answer(question, L"OK");
    EXPECT_EQ(0u, setup->WaitExit());
    ExpectNothingInstalled(base);
}

// data00.dat locked by another program; the user stays: the page is usable
// again, and once the lock is gone Start installs into the folder then typed.
TEST_F(InstallCases, LockedPayloadAnsweredCancelThenStartAgain)
{
    const std::wstring first = root + L"\\first";
    const std::wstring second = root + L"\\second";
    Launch(L"empty", root + L"\\program");
    HANDLE lock = CreateFileW((setup->Folder() + L"\\data00.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    ToDestination(first, true, false);
    Press(L"開始 >");
    HWND question = FailedSetupQuestion();
    if (question == nullptr)
        CloseHandle(lock);
    ASSERT_NE(nullptr, question);
    Answer(question, L"キャンセル");

    HWND start = WaitButton(L"開始 >");
    ASSERT_NE(nullptr, start);
    EXPECT_TRUE(driver::WaitFor([&] { return IsWindowEnabled(start) != FALSE; })) << "Start stays disabled";
    EXPECT_TRUE(IsWindowEnabled(WaitButton(L"< 戻る")));
    EXPECT_TRUE(IsWindowEnabled(WaitButton(L"キャンセル")));
    EXPECT_EQ(nullptr, ProgressWindow());
    ExpectNothingInstalled(first);

    CloseHandle(lock);
    SetFolderText(second);
    Press(L"開始 >");
    ExpectCompletion();
    // Only the second folder text counts: extraction, shortcut and log.
    EXPECT_FALSE(Exists(first));
    ExpectPayloadBelow(second);
    EXPECT_EQ(Ansi(second) + "\\Cases\\Bin\\app.exe", LinkTarget(desktop + link));
    EXPECT_EQ("Cases\\\r\n" + Ansi(desktop + link) + "\r\n" + Ansi(second) + "\\Cases\\\r\n",
        PlainLog(second + L"\\Cases\\Bin\\ynb\\instdir.dat"));
    Finish();
}

} // namespace
