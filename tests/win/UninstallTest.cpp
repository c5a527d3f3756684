// The uninstaller from end to end: the demo product installed by setup.exe,
// then uninstall.exe started from the install folder as the system's list of
// programs starts it, and answered as a user would. The machine afterwards is
// compared with the machine before.
#include <gtest/gtest.h>

#include <windows.h>

#include <cwchar>
#include <map>
#include <string>
#include <vector>

#include <aclapi.h>

#include "InstallFixture.h"
#include "sys/FileSecurity.h"
#include "sys/Text.h"

#ifdef YNB_INSTALL_DIST

namespace {

using namespace install_fixture;
using driver::ClassOf;
using driver::Text;

const std::wstring kConfirm = std::wstring(kProductName) + L"をアンインストールします。よろしいですか？";
const std::wstring kDone = std::wstring(kProductName) + L"をアンインストールしました。";
const std::wstring kNotInstalled = std::wstring(kProductName) + L"はインストールされていません。";

// Every folder (ending in a backslash) and file (with its size) below root.
std::map<std::wstring, ULONGLONG> Tree(const std::wstring& root)
{
    std::map<std::wstring, ULONGLONG> tree;
    driver::ForEachBelow(root, [&](const std::wstring& path, const WIN32_FIND_DATAW& data) {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            tree[path + L"\\"] = 0;
        else
            tree[path] = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    });
    return tree;
}

// What differs between two listings, one line each, for the failure message.
std::string Difference(const std::map<std::wstring, ULONGLONG>& before, const std::map<std::wstring, ULONGLONG>& after)
{
    std::string text;
    for (const auto& [path, size] : before)
        if (after.count(path) == 0 || after.at(path) != size)
            text += "  gone or changed: " + sys::ToAnsi(path.c_str()) + "\n";
    for (const auto& [path, size] : after)
        if (before.count(path) == 0)
            text += "  new: " + sys::ToAnsi(path.c_str()) + "\n";
    return text;
}

// The text of a message box: its longest static text.
std::wstring BoxText(HWND box)
{
    std::wstring text;
    for (HWND child : driver::Descendants(box))
        if (ClassOf(child) == L"Static" && Text(child).size() > text.size())
            text = Text(child);
    return text;
}

// A message box of any process: the uninstaller hands its work to a copy of
// itself, a process the test did not start.
HWND Box(const std::wstring& caption, DWORD timeout = driver::kWait)
{
    return driver::WaitWindow([&](HWND h) { return ClassOf(h) == L"#32770" && Text(h) == caption; }, 0, timeout);
}

std::wstring ShotPath(const std::wstring& name)
{
    return driver::ShotPath(driver::HostPath(YNB_ARTIFACTS), name);
}

class Uninstall : public InstallFixture {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(InstallFixture::SetUp());
        install = base + L"\\Hanamaru";
        log = install + L"\\ynb\\instdir.dat";
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        tempFolder = sys::FromAnsi(temp);
    }

    void TearDown() override
    {
        // A box left open by a failed case.
        for (const wchar_t* caption : { L"確認", L"アンインストール" })
            if (HWND box = Box(caption, 0))
                PostMessageW(box, WM_CLOSE, 0, 0);
        WaitForCopies();
        InstallFixture::TearDown();
    }

    // setup.exe installs the demo product with both shortcuts.
    bool InstallDemo() { return Launch(true) && ToCompletion() && setup->Finish() == 0 && Exists(log); }

    // Everything the test compares: the drive (which holds the desktop and
    // the documents, in the test's home) and the uninstall entry.
    std::map<std::wstring, ULONGLONG> Machine() const
    {
        std::map<std::wstring, ULONGLONG> machine = Tree(L"C:");
        machine[L"<uninstall entry> " + sys::FromAnsi(RegistryText("UninstallString").c_str())] = 0;
        return machine;
    }

    // Starts the uninstaller from the install folder, as the system's list of
    // programs does, with the test's environment or the one given.
    void StartUninstaller(const std::wstring& program, const std::wstring& environment = std::wstring(),
        const std::wstring& arguments = std::wstring())
    {
        std::wstring commandLine = L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
        STARTUPINFOW startup {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process {};
        const std::wstring folder = program.substr(0, program.rfind(L'\\'));
        void* block = environment.empty() ? nullptr : const_cast<wchar_t*>(environment.c_str());
        ASSERT_TRUE(CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
            CREATE_UNICODE_ENVIRONMENT, block, folder.c_str(), &startup, &process));
        first = process.hProcess;
        CloseHandle(process.hThread);
    }

    // The first process: it ends once the user has answered (or been told),
    // with the exit code of the whole uninstallation; STILL_ACTIVE when not.
    DWORD FirstExitCode()
    {
        DWORD code = STILL_ACTIVE;
        if (first != nullptr && WaitForSingleObject(first, driver::kWait) == WAIT_OBJECT_0)
            GetExitCodeProcess(first, &code);
        if (first != nullptr)
            CloseHandle(first);
        first = nullptr;
        return code;
    }
    bool FirstEnded() { return FirstExitCode() != STILL_ACTIVE; }

    // setup.exe installs the demo product silently, as a deployment tool does.
    bool InstallSilently() { return SetUpSilently() == 0 && Exists(log); }
    DWORD SetUpSilently()
    {
        setup = std::make_unique<driver::Setup>(driver::HostPath(YNB_SETUP_EXE), dist, root + L"\\program", true, true);
        return setup->Start(dist + L"\\data00.dat", L"/S /D=" + base) ? setup->WaitExit(60000) : STILL_ACTIVE;
    }

    // Confirms, waits for the final message and closes it; its text.
    std::wstring UninstallAndRead(const char* shot = nullptr, const std::wstring& environment = std::wstring())
    {
        StartUninstaller(install + L"\\uninstall.exe", environment);
        HWND question = Box(L"確認");
        EXPECT_NE(nullptr, question) << "no question";
        if (question == nullptr)
            return L"";
        EXPECT_EQ(kConfirm, BoxText(question));
        if (shot != nullptr)
            driver::Screenshot(ShotPath(L"uninstall-question"));
        EXPECT_TRUE(driver::Answer(question, L"はい(&Y)"));
        HWND done = Box(L"アンインストール");
        EXPECT_NE(nullptr, done) << "no final message";
        if (done == nullptr)
            return L"";
        const std::wstring text = BoxText(done);
        if (shot != nullptr)
            driver::Screenshot(ShotPath(sys::FromAnsi(shot)));
        EXPECT_TRUE(driver::Answer(done, L"OK"));
        EXPECT_TRUE(FirstEnded());
        WaitForCopies();
        return text;
    }

    // A message shown without a question (nothing to uninstall); its text.
    std::wstring RefusedAndRead(const std::wstring& program)
    {
        StartUninstaller(program);
        HWND box = Box(L"アンインストール");
        EXPECT_NE(nullptr, box) << "no message";
        if (box == nullptr)
            return L"";
        EXPECT_EQ(nullptr, Box(L"確認", 0));
        const std::wstring text = BoxText(box);
        EXPECT_TRUE(driver::Answer(box, L"OK"));
        EXPECT_TRUE(FirstEnded());
        return text;
    }

    // The temporary copies that did the work have ended and are deleted.
    void WaitForCopies()
    {
        EXPECT_TRUE(driver::WaitFor([&] {
            WIN32_FIND_DATAW data;
            HANDLE find = FindFirstFileW((copyFolder + L"ynb-*").c_str(), &data);
            if (find == INVALID_HANDLE_VALUE)
                return true;
            FindClose(find);
            return false;
        })) << "a copy of the uninstaller, or its folder, is left in "
            << sys::ToAnsi(copyFolder);
    }

    static std::string Scrambled(std::string plain)
    {
        (void)ClsSecurity::Scramble(plain.data(), static_cast<int32_t>(plain.size()), kManifestKey);
        return plain;
    }

    std::wstring install, log, tempFolder;
    // Where the machine's uninstaller makes the folder its copy runs from.
    const std::wstring copyFolder = [] {
        wchar_t windows[MAX_PATH] = {};
        GetSystemWindowsDirectoryW(windows, MAX_PATH);
        return std::wstring(windows) + L"\\Temp\\";
    }();
    HANDLE first = nullptr;
};

TEST_F(Uninstall, LeavesTheMachineAsItWasBeforeTheInstallation)
{
    ASSERT_TRUE(Launch(true)); // the program folder with setup.exe exists before the installation
    const auto before = Machine();
    ASSERT_TRUE(ToCompletion());
    EXPECT_EQ(0u, setup->Finish());
    ASSERT_TRUE(Exists(install + L"\\kakeibo.exe"));
    ASSERT_NE(before, Machine());

    const std::wstring text = UninstallAndRead("uninstall-done");
    EXPECT_EQ(0u, text.rfind(kDone, 0)) << sys::ToAnsi(text.c_str());
    EXPECT_EQ(std::wstring::npos, text.find(L"残っています")) << sys::ToAnsi(text.c_str());
    EXPECT_NE(std::wstring::npos, text.find(L"ショートカット 2 個")) << sys::ToAnsi(text.c_str());
    EXPECT_NE(std::wstring::npos, text.find(L"プログラムの一覧の登録")) << sys::ToAnsi(text.c_str());
    std::map<std::wstring, ULONGLONG> after;
    driver::WaitFor([&] { return (after = Machine()) == before; });
    EXPECT_EQ(before, after) << Difference(before, after);
    EXPECT_EQ("<no key>", RegistryText("DisplayName"));

    // A second run (the program put back where it was): not installed, and
    // nothing changes.
    CreateDirectoryW(install.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(driver::HostPath(YNB_UNINSTALL_EXE).c_str(), (install + L"\\uninstall.exe").c_str(), FALSE));
    const auto again = Machine();
    EXPECT_EQ(kNotInstalled, RefusedAndRead(install + L"\\uninstall.exe"));
    EXPECT_EQ(again, Machine()) << Difference(again, Machine());
}

TEST_F(Uninstall, AnsweringNoChangesNothing)
{
    ASSERT_TRUE(InstallDemo());
    const auto installed = Machine();
    StartUninstaller(install + L"\\uninstall.exe");
    HWND question = Box(L"確認");
    ASSERT_NE(nullptr, question);
    ASSERT_TRUE(driver::Answer(question, L"いいえ(&N)"));
    EXPECT_TRUE(FirstEnded());
    WaitForCopies();
    EXPECT_EQ(installed, Machine()) << Difference(installed, Machine());
}

TEST_F(Uninstall, KeepsTheUsersFileAndTheFileInUse)
{
    ASSERT_TRUE(InstallDemo());
    // The user's own file in the install folder, and the product's
    // readme.txt open in a program that lets nobody delete it.
    const std::wstring mine = install + L"\\家計メモ.txt";
    ASSERT_TRUE(driver::WriteBytes(mine, ""));
    HANDLE open = CreateFileW(
        (install + L"\\readme.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, open);

    // Asked about the file in use before anything is removed (Wine's Restart
    // Manager names no program); the user closes it and retries.
    StartUninstaller(install + L"\\uninstall.exe");
    HWND question = Box(L"確認");
    ASSERT_NE(nullptr, question);
    ASSERT_TRUE(driver::Answer(question, L"はい(&Y)"));
    HWND held = Box(L"アンインストール");
    ASSERT_NE(nullptr, held);
    const std::wstring installText = sys::FromAnsi(sys::ToAnsi(install.c_str()).c_str());
    EXPECT_EQ(0u,
        BoxText(held).rfind(L"次のファイルがほかのプログラムで使用されているため、削除できません。\n\n" + installText
                + L"\\readme.txt\n\n",
            0))
        << sys::ToAnsi(BoxText(held).c_str());
    EXPECT_TRUE(Exists(desktop + L"\\hanamaru_guide.txt")); // nothing removed yet
    driver::Screenshot(ShotPath(L"uninstall-files-in-use"));
    CloseHandle(open);
    ASSERT_TRUE(driver::Answer(held, L"再試行"));
    HWND done = Box(L"アンインストール");
    ASSERT_NE(nullptr, done);
    const std::wstring text = BoxText(done);
    driver::Screenshot(ShotPath(L"uninstall-remaining"));
    EXPECT_TRUE(driver::Answer(done, L"OK"));
    EXPECT_TRUE(FirstEnded());
    WaitForCopies();
    EXPECT_EQ(0u, text.rfind(kDone, 0)) << sys::ToAnsi(text.c_str());
    EXPECT_NE(std::wstring::npos, text.find(installText + L"（ほかのファイルがあるため残しました）"))
        << sys::ToAnsi(text.c_str());

    // The user's file stays, with its folder; everything else is gone.
    std::map<std::wstring, ULONGLONG> left = Tree(install);
    EXPECT_EQ(1u, left.size()) << Difference({}, left);
    EXPECT_TRUE(Exists(mine));
    EXPECT_FALSE(Exists(documents + L"\\HanamaruData"));
    EXPECT_FALSE(Exists(desktop + L"\\hanamaru_guide.txt"));
    EXPECT_FALSE(Exists(desktop + L"\\" + kProductName + L".lnk"));
    EXPECT_EQ("<no key>", RegistryText("DisplayName"));
}

TEST_F(Uninstall, WithoutItsLogSaysNotInstalledAndDeletesNothing)
{
    ASSERT_TRUE(InstallDemo());
    ASSERT_TRUE(DeleteFileW(log.c_str()));
    const auto installed = Machine();
    EXPECT_EQ(kNotInstalled, RefusedAndRead(install + L"\\uninstall.exe"));
    WaitForCopies();
    EXPECT_EQ(installed, Machine()) << Difference(installed, Machine());
}

TEST_F(Uninstall, RefusesADamagedLogWhole)
{
    ASSERT_TRUE(InstallDemo());
    const std::string good = PlainLog(log);
    // No line end at the end; a control byte; a zero byte; a log of another
    // product; bytes never scrambled, which unscramble to nothing like a log.
    const std::string damaged[] = {
        Scrambled(good.substr(0, good.size() - 2)),
        Scrambled(good.substr(0, 20) + '\x01' + good.substr(20)),
        Scrambled("Hanamaru\\\r\n" + std::string(1, '\0') + "\r\n" + good.substr(11)),
        Scrambled("Other\\" + good.substr(good.find("\r\n"))),
        good,
    };
    for (const std::string& bytes : damaged) {
        ASSERT_TRUE(driver::WriteBytes(log, bytes));
        const auto installed = Machine();
        const std::wstring text = RefusedAndRead(install + L"\\uninstall.exe");
        EXPECT_EQ(L"アンインストール情報（instdir.dat）が壊れています。\n何も削除しませんでした。", text);
        EXPECT_EQ(installed, Machine()) << Difference(installed, Machine());
    }
}

TEST_F(Uninstall, RefusesLinesThatReachBeyondTheInstallation)
{
    ASSERT_TRUE(InstallDemo());
    // Lines naming the drive's root, the desktop itself, the documents
    // through "..", a file outside every place the installation writes to,
    // and one climbing above the drive; the rest of the log is the real one.
    const std::wstring outside = L"C:\\ynb-outside.txt";
    const std::wstring sentinel = desktop + L"\\ynb-user-file.txt";
    // In the Windows folder only files are taken, and none of the system's.
    const std::wstring sealed = L"C:\\windows\\system32\\ynb-sealed.txt";
    const std::wstring windowsFolder = L"C:\\windows\\ynb-folder";
    const std::wstring windowsFile = L"C:\\windows\\ynb-file.txt";
    for (const std::wstring& path : { outside, sentinel, sealed, windowsFile })
        ASSERT_TRUE(driver::WriteBytes(path, ""));
    ASSERT_TRUE(CreateDirectoryW(windowsFolder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);

    const std::string plain = PlainLog(log);
    const std::size_t second = plain.find("\r\n") + 2;
    const std::string d = sys::ToAnsi(desktop.c_str());
    const std::string added = "C:\\\\\r\n" + d + "\\\\\r\n" + d + "\\..\\Documents\\\\\r\n" + "C:\\ynb-outside.txt\r\n"
        + "..\\..\\..\\..\\..\\..\\..\\..\\..\\x.txt\r\n" + "C:\\windows\\\\\r\n" + sys::ToAnsi(sealed.c_str()) + "\r\n"
        + sys::ToAnsi(windowsFolder.c_str()) + "\\\r\n" + sys::ToAnsi(windowsFile.c_str()) + "\r\n";
    ASSERT_TRUE(driver::WriteBytes(log, Scrambled(plain.substr(0, second) + added + plain.substr(second))));

    const std::wstring text = UninstallAndRead("uninstall-refused");
    EXPECT_EQ(0u, text.rfind(kDone, 0)) << sys::ToAnsi(text.c_str());
    for (const std::wstring& line : {
             std::wstring(L"C:\\（システムまたはユーザーのフォルダーのため削除しません）"),
             desktop + L"（システムまたはユーザーのフォルダーのため削除しません）",
             outside + L"（インストールした場所の外にあるため削除しません）",
             std::wstring(L"..\\..\\..\\..\\..\\..\\..\\..\\..\\x.txt（ドライブの外を指しているため削除しません）"),
         })
        EXPECT_NE(std::wstring::npos, text.find(line)) << sys::ToAnsi(line.c_str()) << "\n"
                                                       << sys::ToAnsi(text.c_str());
    EXPECT_TRUE(Exists(outside));
    EXPECT_TRUE(Exists(sentinel));
    EXPECT_TRUE(Exists(sealed));
    EXPECT_TRUE(Exists(windowsFolder));
    EXPECT_FALSE(Exists(windowsFile));
    EXPECT_TRUE(Exists(documents));
    EXPECT_TRUE(Exists(L"C:\\windows\\system32"));
    // The installation's own lines were removed all the same.
    EXPECT_FALSE(Exists(install));
    EXPECT_FALSE(Exists(documents + L"\\HanamaruData"));
    for (const std::wstring& path : { outside, sentinel, sealed, windowsFolder })
        driver::RemoveTree(path);
}

// A deployment tool's round trip: a silent installation and a silent
// uninstallation, which shows nothing, asks nothing, ends only when the work
// is done and tells it by its exit code.
TEST_F(Uninstall, SilentlyLeavesTheMachineAsItWasBeforeASilentInstallation)
{
    setup = std::make_unique<driver::Setup>(driver::HostPath(YNB_SETUP_EXE), dist, root + L"\\program", true, true);
    ASSERT_TRUE(setup->CopyIn(dist + L"\\data00.dat", L"data00.dat"));
    const auto before = Machine();
    ASSERT_TRUE(setup->Start(std::wstring(), L"/S /D=" + base));
    ASSERT_EQ(0u, setup->WaitExit(60000));
    ASSERT_TRUE(Exists(log));

    const std::wstring report = driver::HostPath(YNB_ARTIFACTS) + L"\\uninstall-silent.log";
    StartUninstaller(install + L"\\uninstall.exe", std::wstring(), L"/S \"/LOG=" + report + L"\"");
    EXPECT_EQ(0u, FirstExitCode());
    EXPECT_EQ(nullptr, Box(L"アンインストール", 0));
    WaitForCopies();
    std::map<std::wstring, ULONGLONG> after;
    driver::WaitFor([&] { return (after = Machine()) == before; });
    EXPECT_EQ(before, after) << Difference(before, after);
    const std::string text = ReadBytes(report);
    for (const char* line : { "removed ", "the uninstall entry", "exit code 0" })
        EXPECT_NE(std::string::npos, text.find(line)) << line << " not in\n" << text;
}

// Another program's work for the restart on a file to remove (a rename over
// it): the uninstallation waits for the restart (350) and removes nothing.
TEST_F(Uninstall, WorkLeftForTheRestartOnItsFilesRefusesIt)
{
    ASSERT_TRUE(InstallSilently());
    const std::wstring other = root + L"\\other.txt";
    ASSERT_TRUE(driver::WriteBytes(other, "another program's"));
    ASSERT_TRUE(MoveFileExW(
        other.c_str(), (install + L"\\readme.txt").c_str(), MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
    const auto installed = Machine();
    StartUninstaller(install + L"\\uninstall.exe", std::wstring(), L"/S");
    EXPECT_EQ(350u, FirstExitCode());
    WaitForCopies();
    EXPECT_EQ(installed, Machine()) << Difference(installed, Machine());
    (void)driver::TakePendingRenames();
}

// Silently, a file held open without delete sharing is asked for with
// /CLOSEAPPLICATIONS (Wine's Restart Manager closes nothing), then goes at
// the restart: named so in the /LOG= file, and the exit code says so.
TEST_F(Uninstall, SilentlyLeavesAHeldFileToTheRestart)
{
    ASSERT_TRUE(InstallSilently());
    HANDLE open = CreateFileW(
        (install + L"\\readme.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, open);
    const std::wstring report = driver::HostPath(YNB_ARTIFACTS) + L"\\uninstall-left.log";
    StartUninstaller(install + L"\\uninstall.exe", std::wstring(), L"/S /CLOSEAPPLICATIONS \"/LOG=" + report + L"\"");
    EXPECT_EQ(3010u, FirstExitCode());
    WaitForCopies();
    CloseHandle(open);
    const std::string text = ReadBytes(report);
    for (const std::string& line : { std::string("held by programs:"), std::string("the programs were asked to close"),
             "\\readme.txt: " + sys::Narrow(L"Windows の再起動後に削除されます", CP_UTF8) })
        EXPECT_NE(std::string::npos, text.find(line)) << line << " not in\n" << text;
    // Held without delete sharing, it goes under its own name; a setup before
    // the restart is refused until then.
    const std::wstring operations = driver::ReadPendingRenames();
    EXPECT_NE(std::wstring::npos, operations.find(install + L"\\readme.txt")) << sys::ToAnsi(operations);
    EXPECT_EQ(350u, SetUpSilently());
    (void)driver::TakePendingRenames();
}

// A log anybody may change (Wine keeps no access list; granting Everyone
// write makes the host file world-writable, which Wine reports back as
// such): only the lines inside the install folder are taken, everything
// else stays, named with its reason, and the message says why.
TEST_F(Uninstall, AnUnprotectedLogIsHonouredOnlyInsideTheInstallFolder)
{
    ASSERT_TRUE(InstallSilently());
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), LetEveryoneWrite(log));
    ASSERT_EQ(sys::Protection::OthersMayWrite, sys::JudgePath(sys::ToAnsi(log).c_str(), sys::TrustScope::Machine));

    const std::wstring text = UninstallAndRead("uninstall-unprotected");
    EXPECT_NE(std::wstring::npos, text.find(L"アンインストール情報が保護されていなかった")) << sys::ToAnsi(text);
    const wchar_t* const kept
        = L"（保護されていないアンインストール情報にあり、インストールしたフォルダーの外にあるため削除しません）";
    for (const std::wstring& path :
        { desktop + L"\\hanamaru_guide.txt", documents + L"\\HanamaruData", desktop + link, programs + link }) {
        EXPECT_TRUE(Exists(path)) << sys::ToAnsi(path);
        EXPECT_NE(std::wstring::npos, text.find(path + kept)) << sys::ToAnsi(path) << "\n" << sys::ToAnsi(text);
    }
    EXPECT_FALSE(Exists(install));
}

// Links made from the host (Wine cannot make them) by
// tests/scripts/uninstall-links.sh, in a folder of the drive:
//   inst\Hanamaru\help -> outside1 (a folder line names the link itself)
//   inst\Hanamaru\data -> outside2 (a file line lies behind the link)
TEST_F(Uninstall, NeverReachesBehindALink)
{
    const std::string base = driver::HostGiven("YNB_LINK_BASE");
    if (base.empty())
        GTEST_SKIP() << "run through tests/scripts/uninstall-links.sh";
    const std::wstring root = sys::FromAnsi(base.c_str());
    install = root + L"\\inst\\Hanamaru";
    log = install + L"\\ynb\\instdir.dat";
    ASSERT_TRUE(GetFileAttributesW((install + L"\\help").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
    ASSERT_TRUE(GetFileAttributesW((install + L"\\data").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
    ASSERT_TRUE(CopyFileW(driver::HostPath(YNB_UNINSTALL_EXE).c_str(), (install + L"\\uninstall.exe").c_str(), FALSE));
    ASSERT_TRUE(driver::WriteBytes(log,
        Scrambled("Hanamaru\\\r\n..\\own.txt\r\n..\\help\\\\\r\n..\\data\\precious2.txt\r\n"
            + sys::ToAnsi(install.c_str()) + "\\\r\n")));

    const std::wstring text = UninstallAndRead();
    EXPECT_NE(std::wstring::npos, text.find(install + L"\\data\\precious2.txt（リンクを通る場所のため削除しません）"))
        << sys::ToAnsi(text.c_str());
    EXPECT_FALSE(Exists(install + L"\\own.txt"));
    // The link itself goes, where the system can remove links (Wine cannot);
    // otherwise it is reported as left.
    if (Exists(install + L"\\help")) {
        EXPECT_NE(std::wstring::npos, text.find(install + L"\\help（")) << sys::ToAnsi(text.c_str());
    }
    EXPECT_TRUE(Exists(root + L"\\outside1\\precious1.txt"));
    EXPECT_TRUE(Exists(root + L"\\outside2\\precious2.txt"));
}

// The test's environment with YNB_TEST_NO_COPY set (a seam of the test
// build), so that no temporary copy is made.
std::wstring WithoutTemporaryCopy()
{
    std::wstring block;
    wchar_t* strings = GetEnvironmentStringsW();
    for (const wchar_t* p = strings; *p != L'\0'; p += std::wcslen(p) + 1)
        block += std::wstring(p) + L'\0';
    FreeEnvironmentStringsW(strings);
    block += L"YNB_TEST_NO_COPY=1" + std::wstring(1, L'\0');
    return block; // the string's own terminator ends the block
}

TEST_F(Uninstall, WithoutATemporaryCopyLeavesItsOwnFileToTheRestart)
{
    ASSERT_TRUE(InstallDemo());
    const std::wstring text = UninstallAndRead(nullptr, WithoutTemporaryCopy());
    EXPECT_EQ(0u, text.rfind(kDone, 0)) << sys::ToAnsi(text.c_str());
    for (const std::wstring& path : { install + L"\\uninstall.exe", install })
        EXPECT_NE(std::wstring::npos, text.find(path + L"（Windows の再起動後に削除されます）"))
            << sys::ToAnsi(text.c_str());
    // Everything else is gone; the program file waits for the restart in the
    // transaction's folder, under a name of its own.
    const std::map<std::wstring, ULONGLONG> left = Tree(install);
    ASSERT_EQ(2u, left.size()) << Difference({}, left); // a folder and the file in it
    const std::wstring kept = install + L"\\" + std::next(left.begin())->first;
    EXPECT_EQ(0u, kept.rfind(install + L"\\.ynb", 0)) << sys::ToAnsi(kept);
    EXPECT_FALSE(Exists(install + L"\\uninstall.exe"));
    EXPECT_EQ("<no key>", RegistryText("DisplayName"));

    // Windows's list of what to delete at the restart names both.
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
            KEY_QUERY_VALUE | KEY_SET_VALUE, &key));
    std::vector<wchar_t> pending(65536);
    DWORD size = static_cast<DWORD>(pending.size() * sizeof(wchar_t));
    DWORD type = 0;
    const LONG status = RegQueryValueExW(
        key, L"PendingFileRenameOperations", nullptr, &type, reinterpret_cast<BYTE*>(pending.data()), &size);
    (void)RegDeleteValueW(key, L"PendingFileRenameOperations");
    RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, status);
    const std::wstring operations(pending.data(), size / sizeof(wchar_t));
    const std::wstring folder = kept.substr(0, kept.rfind(L'\\'));
    for (const std::wstring& path : { kept, folder, install })
        EXPECT_NE(std::wstring::npos, operations.find(path + std::wstring(1, L'\0'))) << sys::ToAnsi(path);
}

} // namespace

#else

TEST(Uninstall, NeedsTheDemoProduct)
{
    GTEST_SKIP() << "the product builds no program of its own; the uninstallation test needs the demo product";
}

#endif
