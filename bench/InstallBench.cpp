// The installation benchmark: the benchmark product installed by setup.exe,
// driven through its wizard as a user would, against the same files installed
// by an NSIS installer run silently, and against a bare extraction of the
// same cabinet on one thread, in the same Wine prefix, from the same disk,
// into the same folder. setup.exe is timed from its Start button to its
// completion page, with the pauses it makes by design ((manifest entries + 1)
// x 500 ms) taken off; the others from process start to exit; rounds rotate
// which goes first, and the medians are compared. Every installation is
// checked (files and bytes, the uninstall entry, the desktop shortcut) and
// removed before the next. setup.exe's peak working set is read on its
// completion page, also for a payload twice as large.
//   ynbbench_install SETUP_EXE DIST_DIR NSIS_EXE PAYLOAD_TREE MANIFEST ROUNDS
//                    BARE_EXE PLAIN_CAB WORKERS DOUBLE_DIST DOUBLE_TREE
// (host paths; a DIST holds data00.dat, setup.txt and license.txt).
#include <windows.h>

#include <psapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../tests/win/Driver.h"
#include "WinClock.h"

namespace {

constexpr DWORD kInstallWait = 15 * 60 * 1000; // ms for the installation itself
constexpr double kPause = 0.5; // s that setup.exe pauses per manifest entry and once more
const wchar_t* const kUninstallKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\YnbBench";

std::string Narrow(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size - 1 : 0, '\0');
    if (size > 1)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    return out;
}

struct Tally {
    unsigned long long files = 0;
    unsigned long long bytes = 0;
};

// Files and bytes below a folder, without the names listed (relative paths).
void Count(
    const std::wstring& folder, const std::wstring& relative, const std::vector<std::wstring>& skip, Tally& tally)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const std::wstring path = relative.empty() ? name : relative + L"\\" + name;
        if (std::find(skip.begin(), skip.end(), path) != skip.end())
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            Count(folder + L"\\" + name, path, skip, tally);
        } else {
            tally.files += 1;
            tally.bytes += (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
}

std::wstring DesktopShortcut()
{
    wchar_t desktop[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, desktop)))
        return L"";
    return std::wstring(desktop) + L"\\YnbBench.lnk";
}

// Removes what an installation leaves outside its folder.
void RemoveTraces()
{
    const std::wstring link = DesktopShortcut();
    if (!link.empty())
        (void)DeleteFileW(link.c_str());
    (void)RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_WOW64_64KEY, 0);
}

class Bench {
public:
    Bench(const std::wstring& setupExe, const std::wstring& dist, const std::wstring& nsisExe, Tally expected)
        : setupExe_(setupExe)
        , dist_(dist)
        , nsisExe_(nsisExe)
        , expected_(expected)
        , work_(L"C:\\ynbbench-" + std::to_wstring(GetCurrentProcessId()))
        , target_(work_ + L"\\target")
    {
        driver::RemoveTree(work_);
        CreateDirectoryW(work_.c_str(), nullptr);
    }

    ~Bench()
    {
        driver::RemoveTree(work_);
        RemoveTraces();
    }

    // Seconds from start to exit, or a negative value when it failed.
    double RunSetup()
    {
        Clean();
        driver::Setup setup(setupExe_, dist_, work_ + L"\\run-setup", true, true);
        if (!setup.CopyIn(dist_ + L"\\data00.dat", L"data00.dat"))
            return Fail("cannot copy data00.dat beside setup.exe");
        const double start = Now();
        if (!setup.Start())
            return Fail("cannot start setup.exe");
        HWND wizard = setup.Wizard();
        if (wizard == nullptr)
            return Fail("setup.exe shows no wizard");
        if (!Press(wizard, L"次へ >") || !WaitTitle(wizard, L"ソフトウェア使用許諾") || !Press(wizard, L"同意 >")
            || !WaitTitle(wizard, L"シェアウェアパッケージ使用許諾") || !Press(wizard, L"同意 >"))
            return Fail("the wizard did not reach the destination page");
        HWND startButton = nullptr;
        if (!driver::WaitFor([&] { return (startButton = Button(wizard, L"開始 >")) != nullptr; }))
            return Fail("no destination page");
        HWND edit = driver::ChildOfClass(driver::VisiblePage(wizard), L"Edit");
        HWND startMenu = Button(wizard, L"スタートメニューに登録");
        if (edit == nullptr || startMenu == nullptr)
            return Fail("the destination page lacks its folder field or its check box");
        driver::SetText(edit, target_);
        // One shortcut, on the desktop, as the reference makes.
        if (driver::Checked(startMenu)) {
            driver::Click(startMenu);
            if (!driver::WaitFor([&] { return !driver::Checked(startMenu); }))
                return Fail("the Start menu box stays ticked");
        }
        const double installStart = Now();
        driver::Click(startButton);
        HWND finish = nullptr;
        const bool completed = driver::WaitFor(
            [&] {
                if (!setup.NoDialog())
                    return true;
                finish = Button(wizard, L"終了");
                return finish != nullptr;
            },
            kInstallWait);
        if (!completed || finish == nullptr) {
            HWND box = setup.Find([](HWND h) { return driver::ClassOf(h) == L"#32770"; });
            std::string message = "the installation did not complete";
            if (box != nullptr)
                for (HWND child : driver::Descendants(box))
                    if (driver::ClassOf(child) == L"Static" && !driver::Text(child).empty())
                        message += ": " + Narrow(driver::Text(child));
            return Fail(message);
        }
        installTime_ = Now() - installStart;
        PROCESS_MEMORY_COUNTERS memory {};
        peakMemory_ = GetProcessMemoryInfo(setup.Process(), &memory, sizeof memory) ? memory.PeakWorkingSetSize : 0;
        driver::Click(finish);
        const DWORD code = setup.WaitExit();
        const double elapsed = Now() - start;
        if (code != 0)
            return Fail("setup.exe ended with " + std::to_string(code));
        return Check(L"ynb\\instdir.dat") ? elapsed : -1;
    }

    double RunNsis()
    {
        Clean();
        const std::wstring folder = work_ + L"\\run-nsis";
        driver::RemoveTree(folder);
        const std::wstring exe = folder + L"\\nsis-setup.exe";
        if (!CreateDirectoryW(folder.c_str(), nullptr) || !CopyFileW(nsisExe_.c_str(), exe.c_str(), FALSE))
            return Fail("cannot copy the NSIS installer");
        std::wstring commandLine = L"\"" + exe + L"\" /S /D=" + target_;
        STARTUPINFOW startup {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process {};
        const double start = Now();
        if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                &startup, &process))
            return Fail("cannot start the NSIS installer");
        const DWORD wait = WaitForSingleObject(process.hProcess, kInstallWait);
        const double elapsed = Now() - start;
        DWORD code = STILL_ACTIVE;
        if (wait != WAIT_OBJECT_0) {
            TerminateProcess(process.hProcess, 99);
            WaitForSingleObject(process.hProcess, 5000);
        } else if (!GetExitCodeProcess(process.hProcess, &code)) {
            code = STILL_ACTIVE;
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        if (code != 0)
            return Fail("the NSIS installer ended with " + std::to_string(code));
        return Check(L"uninstall.exe") ? elapsed : -1;
    }

    // The bare extraction of the plain cabinet into the target, from process
    // start to exit.
    double RunBare(const std::wstring& bareExe, const std::wstring& cabinet)
    {
        Clean();
        CreateDirectoryW(target_.c_str(), nullptr);
        std::wstring commandLine = L"\"" + bareExe + L"\" \"" + cabinet + L"\" \"" + target_ + L"\"";
        STARTUPINFOW startup {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process {};
        const double start = Now();
        if (!CreateProcessW(
                bareExe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
            return Fail("cannot start the bare extraction");
        WaitForSingleObject(process.hProcess, kInstallWait);
        const double elapsed = Now() - start;
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        if (code != 0)
            return Fail("the bare extraction ended with " + std::to_string(code));
        Tally found;
        Count(target_ + L"\\YnbBench", L"", {}, found);
        // The cabinet holds the payload and the scrambled manifest beside it.
        if (found.files != expected_.files + 1)
            return Fail("the bare extraction placed " + std::to_string(found.files) + " files");
        return elapsed;
    }

    // Of the last run of setup.exe: seconds from the Start button to the
    // completion page, and the peak working set in bytes.
    double InstallTime() const { return installTime_; }
    SIZE_T PeakMemory() const { return peakMemory_; }

    void Clean()
    {
        driver::RemoveTree(target_);
        RemoveTraces();
    }

private:
    static bool Refuse(const std::string& message)
    {
        std::fprintf(stderr, "install bench: %s\n", message.c_str());
        return false;
    }
    static double Fail(const std::string& message)
    {
        (void)Refuse(message);
        return -1;
    }

    static HWND Button(HWND wizard, const std::wstring& text)
    {
        HWND page = driver::VisiblePage(wizard);
        HWND button = page != nullptr ? driver::ChildWithText(page, text, L"Button") : nullptr;
        return button != nullptr && IsWindowEnabled(button) ? button : nullptr;
    }

    static bool Press(HWND wizard, const std::wstring& text)
    {
        HWND button = nullptr;
        if (!driver::WaitFor([&] { return (button = Button(wizard, text)) != nullptr; }))
            return false;
        driver::Click(button);
        return true;
    }

    static bool WaitTitle(HWND wizard, const std::wstring& title)
    {
        return driver::WaitFor([&] {
            HWND page = driver::VisiblePage(wizard);
            return page != nullptr && driver::ChildWithText(page, title, L"Static") != nullptr;
        });
    }

    // The installed files match the payload (its own extra file aside), and
    // the uninstall entry and the desktop shortcut are there.
    bool Check(const std::wstring& extra)
    {
        Tally found;
        Count(target_ + L"\\YnbBench", L"", { extra }, found);
        if (found.files != expected_.files || found.bytes != expected_.bytes) {
            return Refuse("installed " + std::to_string(found.files) + " files of " + std::to_string(found.bytes)
                + " bytes, expected " + std::to_string(expected_.files) + " of " + std::to_string(expected_.bytes));
        }
        if (GetFileAttributesW((target_ + L"\\YnbBench\\" + extra).c_str()) == INVALID_FILE_ATTRIBUTES)
            return Refuse("no " + Narrow(extra) + " in the installation");
        if (GetFileAttributesW((target_ + L"\\YnbBench\\ins").c_str()) != INVALID_FILE_ATTRIBUTES)
            return Refuse("the staging folder ins was left behind");
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
            return Refuse("no uninstall entry");
        const LSTATUS value = RegQueryValueExW(key, L"UninstallString", nullptr, nullptr, nullptr, nullptr);
        RegCloseKey(key);
        if (value != ERROR_SUCCESS)
            return Refuse("the uninstall entry has no UninstallString");
        if (GetFileAttributesW(DesktopShortcut().c_str()) == INVALID_FILE_ATTRIBUTES)
            return Refuse("no desktop shortcut");
        return true;
    }

    std::wstring setupExe_;
    std::wstring dist_;
    std::wstring nsisExe_;
    Tally expected_;
    std::wstring work_;
    std::wstring target_;
    double installTime_ = 0;
    SIZE_T peakMemory_ = 0;
};

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Entries of the plain manifest: its non-empty lines.
int ManifestEntries(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    char buffer[8192];
    DWORD read = 0;
    const BOOL ok = ReadFile(file, buffer, sizeof buffer, &read, nullptr);
    CloseHandle(file);
    if (!ok)
        return -1;
    int entries = 0;
    bool blank = true;
    for (DWORD i = 0; i < read; ++i) {
        if (buffer[i] == '\n') {
            entries += blank ? 0 : 1;
            blank = true;
        } else if (buffer[i] != '\r') {
            blank = false;
        }
    }
    return entries + (blank ? 0 : 1);
}

Tally TreeOf(const char* tree)
{
    Tally tally;
    Count(driver::HostPath(tree) + L"\\YnbBench", L"", {}, tally);
    return tally;
}

double Mebibytes(unsigned long long bytes)
{
    return static_cast<double>(bytes) / (1 << 20);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 12) {
        std::fprintf(stderr,
            "usage: ynbbench_install SETUP_EXE DIST_DIR NSIS_EXE PAYLOAD_TREE MANIFEST ROUNDS BARE_EXE PLAIN_CAB "
            "WORKERS DOUBLE_DIST DOUBLE_TREE\n");
        return 2;
    }
    const int entries = ManifestEntries(driver::HostPath(argv[5]));
    const int rounds = std::atoi(argv[6]);
    if (entries < 0 || rounds < 1) {
        std::fprintf(stderr, "install bench: cannot read the manifest %s, or no rounds\n", argv[5]);
        return 2;
    }
    const Tally expected = TreeOf(argv[4]);
    const Tally doubled = TreeOf(argv[11]);
    if (expected.files == 0 || doubled.files == 0) {
        std::fprintf(stderr, "install bench: no payload in %s or %s\n", argv[4], argv[11]);
        return 2;
    }
    const double pauses = (entries + 1) * kPause;
    std::printf("install bench: %llu files, %.1f MiB, %d manifest entries (%.1f s of pauses in setup.exe), %d rounds, "
                "%s extraction threads\n",
        expected.files, Mebibytes(expected.bytes), entries, pauses, rounds, argv[9]);
    std::fflush(stdout);

    const std::wstring bareExe = driver::HostPath(argv[7]);
    const std::wstring cabinet = driver::HostPath(argv[8]);
    Bench bench(driver::HostPath(argv[1]), driver::HostPath(argv[2]), driver::HostPath(argv[3]), expected);
    std::vector<double> setupTimes;
    std::vector<double> nsisTimes;
    std::vector<double> bareTimes;
    SIZE_T peak = 0;
    for (int round = 0; round < rounds; ++round) {
        double times[3] = {};
        // Rotating which goes first, so that none always follows another.
        for (int turn = 0; turn < 3; ++turn) {
            const int which = (round + turn) % 3;
            times[which] = which == 0 ? bench.RunSetup()
                : which == 1          ? bench.RunNsis()
                                      : bench.RunBare(bareExe, cabinet);
            if (times[which] < 0)
                return 1;
        }
        const double setupTime = bench.InstallTime() - pauses;
        peak = std::max(peak, bench.PeakMemory());
        std::printf("  round %d: setup.exe %.2f s from Start to its completion page, %.2f s without its pauses; "
                    "NSIS %.2f s; bare extraction %.2f s\n",
            round + 1, bench.InstallTime(), setupTime, times[1], times[2]);
        std::fflush(stdout);
        setupTimes.push_back(setupTime);
        nsisTimes.push_back(times[1]);
        bareTimes.push_back(times[2]);
    }
    bench.Clean();

    // The peak working set for a payload twice as large.
    Bench twice(
        driver::HostPath(argv[10]) + L"\\setup.exe", driver::HostPath(argv[10]), driver::HostPath(argv[3]), doubled);
    if (twice.RunSetup() < 0)
        return 1;
    twice.Clean();

    const double setupMedian = Median(setupTimes);
    const double nsisMedian = Median(nsisTimes);
    const double bareMedian = Median(bareTimes);
    std::printf("install bench: medians: setup.exe %.2f s (Start to completion page, pauses taken off), NSIS %.2f s, "
                "bare extraction on one thread %.2f s\n",
        setupMedian, nsisMedian, bareMedian);
    std::printf("install bench: setup.exe / NSIS = %.2f\n", setupMedian / nsisMedian);
    std::printf("install bench: setup.exe / bare extraction = %.2f\n", setupMedian / bareMedian);
    std::printf("install bench: peak working set of setup.exe: %.1f MiB for %.1f MiB of files, %.1f MiB for %.1f MiB\n",
        Mebibytes(peak), Mebibytes(expected.bytes), Mebibytes(twice.PeakMemory()), Mebibytes(doubled.bytes));
    return 0;
}
