// The installation from end to end: setup.exe of the demo product installs its
// distribution, driven through its wizard as a user would, or run silently as
// a deployment tool runs it; everything it placed is checked, and its exit
// code read as the tool reads it.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "InstallFixture.h"
#include "sys/ClsRegist.h"
#include "sys/FileSecurity.h"
#include "sys/Names.h"
#include "sys/Text.h"

#ifdef YNB_INSTALL_DIST

namespace {

using namespace install_fixture;

// A DWORD value of the demo product's uninstall entry, or -1.
int64_t RegistryNumber(const char* key, const char* value)
{
    HKEY open = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &open) != ERROR_SUCCESS)
        return -1;
    DWORD data = 0;
    DWORD size = sizeof data;
    DWORD type = 0;
    const LONG status = RegQueryValueExA(open, value, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    RegCloseKey(open);
    return status == ERROR_SUCCESS && type == REG_DWORD ? data : -1;
}

// What `reg query KEY` prints, as the system's own tool reads the registry.
std::string RegQuery(const char* key)
{
    SECURITY_ATTRIBUTES inherit { sizeof inherit, nullptr, TRUE };
    HANDLE reading = nullptr;
    HANDLE writing = nullptr;
    if (!CreatePipe(&reading, &writing, &inherit, 0))
        return "<no pipe>";
    SetHandleInformation(reading, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writing;
    startup.hStdError = writing;
    PROCESS_INFORMATION process {};
    std::wstring commandLine = L"reg.exe query \"HKLM\\" + driver::Wide(key) + L"\"";
    const bool started = CreateProcessW(
        nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
    CloseHandle(writing);
    std::string output;
    char buffer[4096];
    DWORD read = 0;
    while (started && ReadFile(reading, buffer, sizeof buffer, &read, nullptr) && read > 0)
        output.append(buffer, read);
    CloseHandle(reading);
    if (started) {
        WaitForSingleObject(process.hProcess, driver::kWait);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    return output;
}

// A whole hive as the registry itself writes it (every key with the time it
// last changed, every value), one line each: one call rather than one a
// value. `scratch` is a folder to save it in.
std::vector<std::wstring> HiveLines(HKEY root, const std::wstring& scratch)
{
    HANDLE token = nullptr;
    TOKEN_PRIVILEGES backup { 1, { { {}, SE_PRIVILEGE_ENABLED } } };
    EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)
        && LookupPrivilegeValueW(nullptr, L"SeBackupPrivilege", &backup.Privileges[0].Luid)
        && AdjustTokenPrivileges(token, FALSE, &backup, 0, nullptr, nullptr));
    CloseHandle(token);
    const std::wstring saved = scratch + L"\\hive.reg";
    DeleteFileW(saved.c_str());
    EXPECT_EQ(ERROR_SUCCESS, RegSaveKeyW(root, saved.c_str(), nullptr));
    const std::string hive = driver::ReadBytes(saved);
    EXPECT_GT(hive.size(), 1000u) << "the hive saved whole";
    DeleteFileW(saved.c_str());
    // Each value with its key's name before it; no blank lines, nor the time
    // the hive was saved.
    std::vector<std::wstring> lines;
    std::wstring key;
    std::size_t start = 0;
    for (std::size_t end; (end = hive.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::wstring line = driver::Wide(hive.substr(start, end - start));
        if (line.empty() || line.rfind(L"#time=", 0) == 0)
            continue;
        if (line[0] == L'[') {
            key = line.substr(0, line.find(L"] ") + 1);
            lines.push_back(line);
        } else
            lines.push_back(key + L" " + line);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The machine as a per-user installation must leave it: the whole of
// HKEY_LOCAL_MACHINE and every file of drive C: outside the user's profile
// and the test's own folder (size and last write).
std::vector<std::wstring> MachineState(const std::wstring& profile, const std::wstring& ownFolder)
{
    std::vector<std::wstring> lines = HiveLines(HKEY_LOCAL_MACHINE, ownFolder);
    driver::ForEachBelow(L"C:", [&](const std::wstring& path, const WIN32_FIND_DATAW& data) {
        const std::wstring full = L"C:\\" + path;
        if (full.rfind(profile, 0) == 0 || full.rfind(ownFolder, 0) == 0)
            return;
        lines.push_back(full + L" " + std::to_wstring(data.nFileSizeLow) + L" "
            + std::to_wstring(data.ftLastWriteTime.dwLowDateTime) + L" " + std::to_wstring(data.dwFileAttributes));
    });
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The lines only one of the two holds, for the failure message.
std::string Changed(const std::vector<std::wstring>& before, const std::vector<std::wstring>& after)
{
    std::vector<std::wstring> gone;
    std::vector<std::wstring> added;
    std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::back_inserter(gone));
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(added));
    std::string text;
    for (const std::wstring& line : gone)
        text += "- " + sys::ToAnsi(line.substr(0, 200).c_str()) + "\n";
    for (const std::wstring& line : added)
        text += "+ " + sys::ToAnsi(line.substr(0, 200).c_str()) + "\n";
    return text;
}

std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

class Install : public InstallFixture {
protected:
    // Everything the demo product places below base, on the desktop, in the
    // documents, the Start menu and the registry.
    void ExpectInstalled(const std::wstring& base, bool desktopShortcut, bool startMenu)
    {
        const std::wstring product = driver::HostPath(YNB_PRODUCT_PAYLOAD);
        const std::wstring install = base + L"\\Hanamaru";
        // Outside the staging folder the payload holds only the uninstaller;
        // everything else reaches its place through the manifest.
        for (const std::wstring& file : FilesBelow(product))
            EXPECT_EQ(0u, file.rfind(L"Hanamaru\\ins\\", 0)) << sys::ToAnsi(file.c_str());
        EXPECT_EQ(ReadBytes(driver::HostPath(YNB_UNINSTALL_EXE)), ReadBytes(install + L"\\uninstall.exe"));
        EXPECT_EQ(ReadBytes(driver::HostPath(YNB_BUILT_PAYLOAD) + L"\\Hanamaru\\ins\\kakeibo.exe"),
            ReadBytes(install + L"\\kakeibo.exe"));

        // The manifest's entries: a file to the desktop, a folder to the
        // documents, a folder and a file beside the staging folder.
        const std::wstring staging = product + L"\\Hanamaru\\ins";
        EXPECT_EQ(ReadBytes(staging + L"\\hanamaru_guide.txt"), ReadBytes(desktop + L"\\hanamaru_guide.txt"));
        const std::vector<std::wstring> data = FilesBelow(staging + L"\\HanamaruData");
        EXPECT_EQ(2u, data.size());
        for (const std::wstring& file : data)
            EXPECT_EQ(
                ReadBytes(staging + L"\\HanamaruData\\" + file), ReadBytes(documents + L"\\HanamaruData\\" + file));
        const std::vector<std::wstring> help = FilesBelow(staging + L"\\help");
        EXPECT_EQ(3u, help.size());
        for (const std::wstring& file : help)
            EXPECT_EQ(ReadBytes(staging + L"\\help\\" + file), ReadBytes(install + L"\\help\\" + file));
        for (const wchar_t* file : { L"kakeibo.ini", L"readme.txt", L"ynb\\version.txt" })
            EXPECT_EQ(ReadBytes(staging + L"\\" + file), ReadBytes(install + L"\\" + file));

        // Nothing left of the manifest or the staging folder, and nothing
        // written beside the payload.
        EXPECT_FALSE(Exists(install + L"\\ins"));
        EXPECT_EQ((std::vector<std::wstring> { L"data00.dat", L"license.txt", L"setup.exe", L"setup.txt" }),
            driver::Names(root + L"\\program"));

        // The uninstall entry; the command holds a space, so it is quoted.
        const std::string installAnsi = sys::ToAnsi(install.c_str());
        EXPECT_EQ(sys::ToAnsi(kProductName), RegistryText("DisplayName"));
        EXPECT_EQ("\"" + installAnsi + "\\uninstall.exe\"", RegistryText("UninstallString"));
        EXPECT_EQ("\"" + installAnsi + "\\uninstall.exe\" /S", RegistryText("QuietUninstallString"));
        EXPECT_EQ(installAnsi, RegistryText("InstallLocation"));
        EXPECT_EQ(installAnsi + "\\kakeibo.exe", RegistryText("DisplayIcon"));
        EXPECT_EQ(kDisplayVersion, RegistryText("DisplayVersion"));
        EXPECT_EQ(kPublisher, RegistryText("Publisher"));
        EXPECT_EQ(kUrlInfoAbout, RegistryText("URLInfoAbout"));
        EXPECT_EQ(1, RegistryNumber(uninstallKey, "NoModify"));
        EXPECT_EQ(1, RegistryNumber(uninstallKey, "NoRepair"));
        // The payload's files in KiB, rounded up.
        uint64_t bytes = 0;
        driver::ForEachBelow(product, [&bytes](const std::wstring&, const WIN32_FIND_DATAW& file) {
            bytes += (static_cast<uint64_t>(file.nFileSizeHigh) << 32) | file.nFileSizeLow;
        });
        bytes += ReadBytes(driver::HostPath(YNB_UNINSTALL_EXE)).size()
            + ReadBytes(driver::HostPath(YNB_BUILT_PAYLOAD) + L"\\Hanamaru\\ins\\kakeibo.exe").size();
        EXPECT_NEAR(static_cast<double>((bytes + 1023) / 1024),
            static_cast<double>(RegistryNumber(uninstallKey, "EstimatedSize")),
            2) // the payload's manifest is scrambled
            << "EstimatedSize";

        EXPECT_EQ(desktopShortcut, Exists(desktop + link));
        EXPECT_EQ(startMenu, Exists(programs + link));

        // The log in the log folder, scrambled with the manifest key.
        std::string expected = "Hanamaru\\\r\n" + sys::ToAnsi(desktop.c_str()) + "\\hanamaru_guide.txt\r\n"
            + sys::ToAnsi(documents.c_str()) + "\\HanamaruData\\\\\r\n" + "..\\help\\\\\r\n" + "..\\kakeibo.ini\r\n"
            + "..\\kakeibo.exe\r\n" + "..\\readme.txt\r\n" + "..\\ynb\\\\\r\n";
        if (desktopShortcut)
            expected += sys::ToAnsi((desktop + link).c_str()) + "\r\n";
        if (startMenu)
            expected += sys::ToAnsi((programs + link).c_str()) + "\r\n";
        EXPECT_EQ(expected + installAnsi + "\\\r\n", PlainLog(install + L"\\ynb\\instdir.dat"));
    }

    // setup.exe in the program folder, started with the arguments and the
    // payload when asked for; its exit code as a deployment tool reads it.
    DWORD RunSilently(const std::wstring& arguments, bool withPayload = true, const char* program = YNB_SETUP_EXE)
    {
        setup = std::make_unique<driver::Setup>(driver::HostPath(program), dist, root + L"\\program", true, true);
        if (!setup->Start(withPayload ? dist + L"\\data00.dat" : std::wstring(), arguments))
            return STILL_ACTIVE;
        // No window comes up, not even for a moment.
        const DWORD code = setup->WaitExit(60000);
        EXPECT_TRUE(setup->Windows().empty());
        return code;
    }
};

TEST_F(Install, InstallsTheDemoProductCompletely)
{
    ASSERT_TRUE(Launch(true));
    ASSERT_TRUE(ToCompletion());
    ExpectInstalled(base, true, true);
    EXPECT_EQ(0u, setup->Finish());
}

// Silently, into a folder with blanks and Japanese in its name: the same
// files, registry values and log as the wizard's, and a log of its own.
TEST_F(Install, SilentlyPlacesWhatTheWizardPlaces)
{
    const std::wstring folder = root + L"\\ぼくの フォルダー";
    const std::wstring log = root + L"\\setup log.txt";
    ASSERT_EQ(0u, RunSilently(L"/S \"/LOG=" + log + L"\" /D=" + folder));
    ExpectInstalled(folder, true, true);
    const std::string text = ReadBytes(log); // UTF-8
    for (const char* line :
        { "unpacking the payload", "placed ", "uninstall entry", "seconds per phase: unpacking ", "exit code 0" })
        EXPECT_NE(std::string::npos, text.find(line)) << line << " not in\n" << text;
}

// The options given on the command line, read back with the system's own
// tool; and the codes of what cannot be done.
TEST_F(Install, SilentChoicesAndTheExitCodesOfFailures)
{
    const std::wstring folder = root + L"\\plain";
    ASSERT_EQ(0u, RunSilently(L"/s -NODESKTOP /nostartmenu /D=" + folder));
    ExpectInstalled(folder, false, false);
    const std::string query = RegQuery(uninstallKey);
    const std::string install = sys::ToAnsi((folder + L"\\Hanamaru").c_str());
    for (const std::string& line : { "InstallLocation    REG_SZ    " + install,
             "QuietUninstallString    REG_SZ    \"" + install + "\\uninstall.exe\" /S",
             std::string("NoModify    REG_DWORD    0x1"), std::string("NoRepair    REG_DWORD    0x1"),
             "DisplayVersion    REG_SZ    " + std::string(kDisplayVersion) })
        EXPECT_NE(std::string::npos, query.find(line)) << line << " not in\n" << query;

    Clean();
    ASSERT_TRUE(CreateDirectoryW(root.c_str(), nullptr));
    EXPECT_EQ(1603u, RunSilently(L"/S /D=" + folder, false)); // no payload
    EXPECT_FALSE(Exists(folder));
    EXPECT_EQ("<no key>", RegistryText("DisplayName"));
    EXPECT_EQ(87u, RunSilently(L"/S /UNKNOWN"));
    EXPECT_EQ(87u, RunSilently(L"/S /D="));

    // Another setup of the product holds its lock.
    HANDLE other = CreateMutexW(nullptr, TRUE, L"Global\\YnbSetup-Hanamaru");
    ASSERT_NE(nullptr, other);
    EXPECT_EQ(1618u, RunSilently(L"/S /D=" + folder));
    CloseHandle(other);
    EXPECT_FALSE(Exists(folder));
}

// A product installed already has one installation: set up again without
// /D= it goes into its folder, /D= naming another folder is refused, an
// older version replaces a newer one only with /ALLOWDOWNGRADE, and /REPAIR
// sets up the installed version again.
TEST_F(Install, AnInstalledProductKeepsItsFolderAndItsNewerVersion)
{
    const std::wstring folder = root + L"\\first";
    EXPECT_EQ(1605u, RunSilently(L"/S /REPAIR")); // nothing to repair
    ASSERT_EQ(0u, RunSilently(L"/S /NOSTARTMENU /D=" + folder));
    const std::wstring log = root + L"\\again.txt";
    ASSERT_EQ(0u, RunSilently(L"/S /NOSTARTMENU \"/LOG=" + log + L"\""));
    ExpectInstalled(folder, true, false);
    EXPECT_NE(std::string::npos, ReadBytes(log).find("set up again in its folder")) << ReadBytes(log);

    const std::wstring other = root + L"\\second";
    EXPECT_EQ(1638u, RunSilently(L"/S /D=" + other));
    EXPECT_FALSE(Exists(other));
    EXPECT_EQ(0u, RunSilently(L"/S /NOSTARTMENU /D=" + folder + L"\\.\\")); // the same folder, written otherwise

    ASSERT_TRUE(ClsRegist().WriteString(sys::kUninstallRoot, uninstallKey, "DisplayVersion", "99.0"));
    EXPECT_EQ(4u, RunSilently(L"/S"));
    EXPECT_EQ("99.0", RegistryText("DisplayVersion"));
    EXPECT_EQ(0u, RunSilently(L"/S /NOSTARTMENU /ALLOWDOWNGRADE"));
    EXPECT_EQ(kDisplayVersion, RegistryText("DisplayVersion"));
    ExpectInstalled(folder, true, false);

    // A repair puts back what is missing or changed, and repairs only the
    // version it carries.
    const std::wstring install = folder + L"\\Hanamaru";
    ASSERT_TRUE(DeleteFileW((install + L"\\kakeibo.exe").c_str()));
    ASSERT_TRUE(driver::Damage(install + L"\\readme.txt", "changed"));
    EXPECT_EQ(0u, RunSilently(L"/S /NOSTARTMENU /REPAIR"));
    ExpectInstalled(folder, true, false);
    ASSERT_TRUE(ClsRegist().WriteString(sys::kUninstallRoot, uninstallKey, "DisplayVersion", "99.0"));
    EXPECT_EQ(1638u, RunSilently(L"/S /REPAIR /ALLOWDOWNGRADE"));
    EXPECT_EQ("99.0", RegistryText("DisplayVersion"));

    // An entry whose folder is gone is no installation.
    driver::RemoveTree(folder);
    EXPECT_EQ(0u, RunSilently(L"/S /NOSTARTMENU /D=" + other));
    ExpectInstalled(other, true, false);
}

// For the current user alone: the user's program folder, the entry under
// HKEY_CURRENT_USER, and nothing of the machine's registry or folders changed
// by the installation or the uninstallation, after which the user's hive is
// as it was; set up again it keeps its
// scope, the other scope is refused while it is installed, and its
// uninstaller never asks for rights (a declined prompt would cancel it).
TEST_F(Install, ForTheCurrentUserAloneOnlyTheUsersHiveAndProfileChange)
{
    wchar_t text[MAX_PATH] = {};
    const std::wstring profile(text, GetEnvironmentVariableW(L"USERPROFILE", text, MAX_PATH));
    ASSERT_FALSE(profile.empty());
    const std::wstring programs = driver::UserProgramsFolder();
    const std::wstring install = programs + L"\\Hanamaru";
    driver::RemoveTree(install);
    // Wine's first program with a window sets up its display's keys: one
    // before the comparison.
    EXPECT_EQ(87u, RunSilently(L"/S /UNKNOWN"));
    const std::vector<std::wstring> before = MachineState(profile, root);
    // The user's hive, but for the time the uninstall entries' key last
    // changed (an entry came and went).
    const auto userHive = [this] {
        std::vector<std::wstring> lines = HiveLines(HKEY_CURRENT_USER, root);
        std::erase_if(lines, [](const std::wstring& line) {
            return line.rfind(L"[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall] ", 0) == 0;
        });
        return lines;
    };
    const std::vector<std::wstring> hiveBefore = userHive();

    const std::wstring log = root + L"\\user.txt";
    ASSERT_EQ(0u, RunSilently(L"/S /CURRENTUSER \"/LOG=" + log + L"\""));
    EXPECT_TRUE(Exists(install + L"\\kakeibo.exe"));
    EXPECT_TRUE(Exists(desktop + link));
    EXPECT_TRUE(Exists(this->programs + link));
    const std::string installAnsi = sys::ToAnsi(install.c_str());
    EXPECT_EQ(installAnsi, driver::RegistryText(uninstallKey, "InstallLocation", HKEY_CURRENT_USER));
    EXPECT_EQ("<no key>", RegistryText("DisplayName"));
    EXPECT_EQ(Changed(before, before), Changed(before, MachineState(profile, root)));
    EXPECT_EQ(sys::Protection::Protected,
        sys::JudgePath((installAnsi + "\\ynb\\instdir.dat").c_str(), sys::TrustScope::User));

    // Set up again without a switch, it stays the user's; the machine's
    // scope, asked for while the user's is installed, is refused.
    ASSERT_EQ(0u, RunSilently(L"/S"));
    EXPECT_EQ(installAnsi, driver::RegistryText(uninstallKey, "InstallLocation", HKEY_CURRENT_USER));
    EXPECT_EQ("<no key>", RegistryText("DisplayName"));
    EXPECT_EQ(183u, RunSilently(L"/S /ALLUSERS /D=" + root + L"\\machine"));
    EXPECT_FALSE(Exists(root + L"\\machine"));

    // The entry's own command, as the system's list of programs runs it.
    SetEnvironmentVariableW(L"YNB_TEST_TOKEN", L"declined");
    const std::string quiet = driver::RegistryText(uninstallKey, "QuietUninstallString", HKEY_CURRENT_USER);
    EXPECT_EQ(0u, driver::RunCommand(driver::Wide(quiet) + L" \"/LOG=" + log + L"\""));
    SetEnvironmentVariableW(L"YNB_TEST_TOKEN", nullptr);
    EXPECT_TRUE(driver::WaitFor([&] { return !Exists(install); })) << "the install folder stays";
    EXPECT_FALSE(driver::KeyExists(HKEY_CURRENT_USER, uninstallKey));
    EXPECT_FALSE(Exists(desktop + link));
    EXPECT_EQ(Changed(before, before), Changed(before, MachineState(profile, root)));
    EXPECT_EQ("", Changed(hiveBefore, userHive()));
    EXPECT_EQ(std::string::npos, ReadBytes(log).find("administrator rights")) << ReadBytes(log);
}

// A machine installation by a process without administrator rights starts
// the setup again with them ("runas"; under Wine every process has them, and
// YNB_TEST_TOKEN makes the first one read its token as a filtered
// administrator's): the same choices, the log written on, the exit code
// passed through. A declined prompt cancels a silent setup.
TEST_F(Install, AMachineInstallationWithoutRightsStartsItselfElevated)
{
    const std::wstring folder = root + L"\\elevated";
    const std::wstring log = root + L"\\elevated log.txt";
    SetEnvironmentVariableW(L"YNB_TEST_TOKEN", L"filtered");
    ASSERT_EQ(0u, RunSilently(L"/S /NOSTARTMENU \"/LOG=" + log + L"\" /D=" + folder));
    ExpectInstalled(folder, true, false);
    const std::string text = ReadBytes(log);
    // The copy is never given the log's path: its lines come through the pipe
    // of the program that was started with it.
    for (const std::string& line : { std::string("the program starts again with them: /ELEVATED /ALLUSERS /S "
                                                 "/NOSTARTMENU /LOGPIPE=ynb-log-"),
             "/D=\"" + sys::ToAnsi(folder.c_str()) + "\"\r", std::string("setup.exe\" /ELEVATED /ALLUSERS"),
             std::string("scope: the machine"), std::string("the program with administrator rights ended with 0\r") })
        EXPECT_NE(std::string::npos, text.find(line)) << line << " not in\n" << text;
    EXPECT_EQ(1u, Count(text, "/LOG=")) << text; // the first program's own command line alone
    EXPECT_EQ(1638u, RunSilently(L"/S /D=" + root + L"\\other")); // the copy's refusal, passed on
    SetEnvironmentVariableW(L"YNB_TEST_TOKEN", L"declined");
    EXPECT_EQ(1602u, RunSilently(L"/S /CLOSEAPPLICATIONS"));
    SetEnvironmentVariableW(L"YNB_TEST_TOKEN", L"filtered");
    EXPECT_EQ(183u, RunSilently(L"/S /CURRENTUSER"));
    // The machine's uninstaller elevates the same way, and its copy removes
    // the program it ran; the copy runs from a folder of its own in the
    // Windows folder's Temp, which it removes, and its lines, as the
    // elevated uninstaller's, reach the log through the pipe.
    const std::wstring removal = root + L"\\elevated uninstall.txt";
    EXPECT_EQ(
        0u, driver::RunCommand(driver::Wide(RegistryText("QuietUninstallString")) + L" \"/LOG=" + removal + L"\""));
    SetEnvironmentVariableW(L"YNB_TEST_TOKEN", nullptr);
    EXPECT_TRUE(driver::WaitFor([&] { return !Exists(folder + L"\\Hanamaru"); })) << "the install folder stays";
    EXPECT_EQ("<no key>", RegistryText("DisplayName"));
    char windows[MAX_PATH] = {};
    ASSERT_NE(0u, GetSystemWindowsDirectoryA(windows, MAX_PATH));
    const std::string removed = ReadBytes(removal);
    for (const std::string& line : { std::string("/ELEVATED /S /LOGPIPE=ynb-log-"),
             "the copy of the uninstaller runs from " + std::string(windows) + "\\Temp\\ynb-",
             std::string("removed 5 files, 3 folders"), std::string("next, once the programs that started this copy"),
             std::string("the program with administrator rights ended with 0\r") })
        EXPECT_NE(std::string::npos, removed.find(line)) << line << " not in\n" << removed;
    EXPECT_EQ(1u, Count(removed, "/LOG=")) << removed;
    const std::string place = removed.substr(removed.find("\\Temp\\ynb-") + 1, 20);
    EXPECT_TRUE(driver::WaitFor([&] {
        return GetFileAttributesA((std::string(windows) + "\\" + place).c_str()) == INVALID_FILE_ATTRIBUTES;
    })) << place
        << " stays";
}

// The shipped setup.exe has no test seams: YNB_TEST_TOKEN=declined, with
// which the test build's elevation is declined (1602), changes nothing for
// it; it installs as its token allows (Wine's, an administrator's).
TEST_F(Install, TheShippedSetupHasNoTestSeams)
{
    const std::wstring folder = root + L"\\shipped";
    SetEnvironmentVariableW(L"YNB_TEST_TOKEN", L"declined");
    EXPECT_EQ(1602u, RunSilently(L"/S /NOSTARTMENU /D=" + folder));
    EXPECT_FALSE(Exists(folder));
    EXPECT_EQ(0u, RunSilently(L"/S /NOSTARTMENU /D=" + folder, true, YNB_SHIPPED_SETUP_EXE));
    SetEnvironmentVariableW(L"YNB_TEST_TOKEN", nullptr);
    EXPECT_TRUE(Exists(folder + L"\\Hanamaru\\kakeibo.exe"));
    EXPECT_EQ(0u, driver::RunCommand(driver::Wide(RegistryText("QuietUninstallString"))));
    EXPECT_TRUE(driver::WaitFor([&] { return !Exists(folder + L"\\Hanamaru"); }));
}

// What an ordinary user could have prepared for a machine's installation,
// made from the host by tests/scripts/install-protection.sh (Wine keeps no
// access list; it reports the host's mode as one): an install folder that
// everybody may change, a folder above it that everybody may change (who
// could put another install folder in its place), and an install folder
// that is a host symbolic link. Each is refused before anything is written,
// with the folder named; a missing install folder is made protected.
TEST_F(Install, RefusesWhatOrdinaryUsersCouldChange)
{
    const std::string given = driver::HostGiven("YNB_PROTECTION_BASE");
    if (given.empty())
        GTEST_SKIP() << "run through tests/scripts/install-protection.sh";
    const std::wstring folder = sys::FromAnsi(given.c_str());
    const std::wstring log = root + L"\\protection.txt";
    const std::pair<const wchar_t*, const wchar_t*> cases[]
        = { { L"\\open", L"\\open\\Hanamaru" }, { L"\\above", L"\\above" }, { L"\\link", L"\\link\\Hanamaru" } };
    for (const auto& [base, named] : cases) {
        EXPECT_EQ(1603u, RunSilently(L"/S /NOSTARTMENU \"/LOG=" + log + L"\" /D=" + folder + base));
        const std::string text = ReadBytes(log);
        EXPECT_NE(std::string::npos, text.find(sys::Narrow((folder + named).c_str(), CP_UTF8) + "")) << text;
        EXPECT_NE(std::string::npos, text.find("could be changed by others than the administrators")) << text;
        EXPECT_FALSE(Exists(folder + base + L"\\Hanamaru\\kakeibo.exe"));
        EXPECT_EQ("<no key>", RegistryText("DisplayName"));
    }
    ASSERT_EQ(0u, RunSilently(L"/S /NOSTARTMENU /D=" + folder + L"\\made"));
    const std::string install = sys::ToAnsi(folder + L"\\made\\Hanamaru");
    EXPECT_EQ(sys::Protection::Protected, sys::JudgePath(install.c_str(), sys::TrustScope::Machine));
    EXPECT_EQ(
        sys::Protection::Protected, sys::JudgePath((install + "\\ynb\\instdir.dat").c_str(), sys::TrustScope::Machine));
    EXPECT_EQ(0u, driver::RunCommand(driver::Wide(RegistryText("QuietUninstallString"))));
    EXPECT_TRUE(driver::WaitFor([&] { return !Exists(folder + L"\\made\\Hanamaru"); }));
}

// A folder entry that lost a file is that entry's failed copy: /LOG= names
// the file and its error, and the installation goes on to its end.
TEST_F(Install, SilentlyLogsTheFileAFolderCopyLost)
{
    const std::wstring data = documents + L"\\HanamaruData";
    ASSERT_TRUE(CreateDirectoryW(data.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((data + L"\\sample.csv").c_str(), nullptr)); // a folder where a file goes
    const std::wstring log = root + L"\\copy.txt";
    const DWORD code = RunSilently(L"/S \"/LOG=" + log + L"\" /D=" + root + L"\\lost");
    EXPECT_EQ(0u, code);
    const std::string text = ReadBytes(log);
    const std::string line = "question: copying to " + sys::Narrow((data + L"\\").c_str(), CP_UTF8)
        + " failed: " + sys::Narrow((data + L"\\sample.csv").c_str(), CP_UTF8) + " (error 5)";
    for (const std::string& expected :
        { line, std::string("answer: OK, the installation goes on"), std::string("exit code 0") })
        EXPECT_NE(std::string::npos, text.find(expected)) << expected << " not in\n" << text;
    EXPECT_TRUE(Exists(root + L"\\lost\\Hanamaru\\ynb\\instdir.dat"));
}

// Silently over an installation whose program is running: with or without
// /CLOSEAPPLICATIONS (Wine's Restart Manager closes nothing), the running
// program's new version waits for the restart, named in /LOG= by its file,
// and the setup ends with 3010.
TEST_F(Install, SilentlyReplacesAHeldFileAtTheRestart)
{
    const std::wstring folder = root + L"\\held";
    ASSERT_EQ(0u, RunSilently(L"/S /NOSTARTMENU /D=" + folder));
    // The product's program runs from the install folder: its image may be
    // renamed, not opened for writing, and that finds it (Restart Manager,
    // which Windows asks too, names nobody here).
    const std::wstring program = folder + L"\\Hanamaru\\kakeibo.exe";
    const std::string installed = ReadBytes(program);
    // An earlier build of it runs, which the setup must replace.
    ASSERT_TRUE(driver::WriteBytes(program, installed + "earlier build"));
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION running {};
    ASSERT_TRUE(
        CreateProcessW(program.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &running));
    (void)WaitForInputIdle(running.hProcess, 10000);
    for (const wchar_t* close : { L"", L" /CLOSEAPPLICATIONS" }) {
        const std::wstring log = root + L"\\held.txt";
        EXPECT_EQ(3010u, RunSilently(std::wstring(L"/S /NOSTARTMENU \"/LOG=") + log + L"\"" + close));
        const std::string text = ReadBytes(log);
        for (const std::string& line : { "held by a program, replaced when Windows restarts: " + sys::ToAnsi(program),
                 std::string("exit code 3010") })
            EXPECT_NE(std::string::npos, text.find(line)) << line << " not in\n" << text;
        EXPECT_EQ(close[0] != 0, text.find("the programs were asked to close") != std::string::npos) << text;
        // The new version waits in the transaction's folder; the second run
        // drops the first one's.
        const std::wstring fresh = driver::PendingSourceFor(driver::ReadPendingRenames(), program);
        EXPECT_EQ(0u, fresh.rfind(folder + L"\\Hanamaru\\.ynb", 0)) << sys::ToAnsi(fresh);
        EXPECT_EQ(installed, ReadBytes(fresh)); // the same version: the same bytes
        EXPECT_EQ(close[0] != 0, text.find("an earlier run's work for the restart is dropped") != std::string::npos)
            << text;
    }
    TerminateProcess(running.hProcess, 0);
    WaitForSingleObject(running.hProcess, 10000);
    CloseHandle(running.hThread);
    CloseHandle(running.hProcess);
    (void)driver::TakePendingRenames();
}

FILETIME LastWrite(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data {};
    (void)GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

// A repair through the wizard puts back what is missing or differs, and
// says how many on its last page; what is in place stays as it is (its
// time too), and a file the user changed since (no program) stays his.
TEST_F(Install, ARepairWritesOnlyWhatIsMissingOrChanged)
{
    ASSERT_EQ(0u, RunSilently(L"/S /NOSTARTMENU /D=" + base));
    const std::wstring folder = base + L"\\Hanamaru";
    const std::wstring payload = driver::HostPath(YNB_PRODUCT_PAYLOAD) + L"\\Hanamaru\\ins";
    const FILETIME program = LastWrite(folder + L"\\kakeibo.exe");
    ASSERT_TRUE(DeleteFileW((folder + L"\\readme.txt").c_str()));
    ASSERT_TRUE(driver::WriteBytes(folder + L"\\kakeibo.ini", "the user's settings"));
    // Damaged, its time as installed: put back.
    const std::wstring index = folder + L"\\help\\index.txt";
    ASSERT_TRUE(driver::Damage(index, "damaged"));

    ASSERT_TRUE(Launch(true));
    ASSERT_TRUE(setup->ToDestinationPage());
    ASSERT_TRUE(setup->SetOption(driver::kStartMenuOption, false));
    ASSERT_TRUE(setup->Press(L"開始 >"));
    ASSERT_TRUE(setup->Completed());
    EXPECT_NE(nullptr,
        driver::ChildWithText(setup->Page(),
            L"修復しました。ファイル 2 個を元に戻しました。\n変更されていたファイル 1 個は、そのままにしました。"));
    driver::Screenshot(driver::ShotPath(driver::HostPath(YNB_ARTIFACTS), L"repair-completed"));
    EXPECT_EQ(0u, setup->Finish());
    EXPECT_EQ(ReadBytes(payload + L"\\readme.txt"), ReadBytes(folder + L"\\readme.txt"));
    EXPECT_EQ(ReadBytes(payload + L"\\help\\index.txt"), ReadBytes(index));
    EXPECT_EQ("the user's settings", ReadBytes(folder + L"\\kakeibo.ini"));
    const FILETIME after = LastWrite(folder + L"\\kakeibo.exe");
    EXPECT_EQ(0, CompareFileTime(&program, &after));
}

// A volume with less free space than the installation needs is refused
// before anything is written: exit code 112, the drive and both figures in
// /LOG=. tests/scripts/full-disk.sh gives the volume (YNB_FULL_DRIVE) and
// checks it is empty afterwards.
TEST_F(Install, SilentlyRefusesAVolumeWithTooLittleSpace)
{
    const std::string drive = driver::HostGiven("YNB_FULL_DRIVE");
    if (drive.empty())
        GTEST_SKIP() << "run through tests/scripts/full-disk.sh";
    const std::wstring log = root + L"\\full.txt";
    EXPECT_EQ(112u, RunSilently(L"/S \"/LOG=" + log + L"\" /D=" + sys::FromAnsi(drive.c_str()) + L"\\full"));
    const std::string text = ReadBytes(log);
    for (const std::string& line : { "question: setup failed: the drive " + drive + "\\ has ",
             std::string(" bytes free ("), std::string("; the installation needs "), std::string("exit code 112") })
        EXPECT_NE(std::string::npos, text.find(line)) << line << " not in\n" << text;
    EXPECT_EQ("<no key>", RegistryText("DisplayName"));
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

// The wizard's user is told which folder others than the administrators
// could change (here one that lets Everyone write, which Wine keeps as the
// host's mode), may stay to choose another, and nothing is written.
TEST_F(Install, TheWizardNamesAFolderOthersCouldChange)
{
    const std::wstring shared = root + L"\\shared";
    const std::wstring open = shared + L"\\Hanamaru";
    ASSERT_TRUE(CreateDirectoryW(shared.c_str(), nullptr) && CreateDirectoryW(open.c_str(), nullptr));
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), LetEveryoneWrite(open));
    ASSERT_EQ(sys::Protection::OthersMayWrite, sys::JudgePath(sys::ToAnsi(open).c_str(), sys::TrustScope::Machine));

    ASSERT_TRUE(Launch(true));
    ASSERT_TRUE(setup->StartInstallation(shared, true, true));
    const std::wstring text
        = L"次のフォルダーまたはファイルは管理者以外のユーザーも変更できるため、すべてのユーザー向けの"
          L"インストールには使えません。\n"
        + open
        + L"\n\n別のフォルダーを選ぶか、管理者に削除してもらってから、もう一度お試しください。\nセットアップに失敗しま"
          L"した。";
    HWND message = setup->Message(text);
    ASSERT_NE(nullptr, message);
    driver::Screenshot(driver::ShotPath(driver::HostPath(YNB_ARTIFACTS), L"install-folder-others-could-change"));
    ASSERT_TRUE(driver::Answer(message, L"OK"));
    HWND question = setup->Dialog(L"確認");
    ASSERT_NE(nullptr, question);
    ASSERT_TRUE(driver::Answer(question, L"キャンセル")); // the user stays
    EXPECT_NE(nullptr, setup->WaitButton(L"開始 >"));
    EXPECT_EQ(std::vector<std::wstring> {}, driver::Names(open));
    EXPECT_EQ("<no key>", RegistryText("DisplayName"));
}

} // namespace

#else

TEST(Install, NeedsTheDemoProduct)
{
    GTEST_SKIP() << "the product builds no program of its own; the installation test needs the demo product";
}

#endif
