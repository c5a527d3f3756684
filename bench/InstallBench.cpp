// The installation benchmark: the benchmark product, made of real files, in
// one Wine prefix, installed silently as deployment tools install it (whole
// processes, from start to exit) by setup.exe (/S /D=) from an MSZIP and from
// an LZX payload, by NSIS installers of
// the same files with zlib and with solid LZMA (/S /D=), and written by the
// floor program (the same files in their final places from memory, the time
// it spent reading them taken off); beside them setup.exe driven through its
// wizard, timed from its Start button to its completion page. Rounds rotate
// which goes first; the medians are compared. Every installation is checked
// (files and bytes in the install folder, on the desktop and in the
// documents, the uninstall entry, the desktop shortcut) and removed before
// the next. The /LOG= file of the silent setup says how long each phase took.
// setup.exe's peak working set is read on its completion page, also for the
// product with its program tree twice. Then upgrades and repairs, each timed
// over a first installation made for it: version 2 with the product's own
// programs changed, a tenth of its files, every file; the same version over
// an intact installation and over one that lost a tenth of its files.
//   ynbbench_install DIST LZX_DIST NSIS_ZLIB NSIS_LZMA FLOOR_EXE FLOOR_LIST TREE
//                    MANIFEST ROUNDS WORKERS DOUBLE_DIST DOUBLE_TREE
//                    PROGRAMS_DIST TENTH_DIST ALL_DIST
// (host paths; a DIST holds setup.exe, data00.dat, setup.txt and license.txt;
// DIST's payload is MSZIP, LZX_DIST's LZX; "-" for the NSIS installers and
// the double tree leaves them out).
#include <windows.h>

#include <psapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "../tests/win/Driver.h"
#include "WinClock.h"

namespace {

constexpr DWORD kInstallWait = 15 * 60 * 1000; // ms for one installation
constexpr double kPause = 0.5; // s that the wizard pauses per manifest entry and once more
const wchar_t* const kUninstallKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\YnbBench";
const char* const kPhases[] = { "checking", "unpacking", "registering", "placing", "shortcuts", "log" };

struct Tally {
    unsigned long long files = 0;
    unsigned long long bytes = 0;
    bool operator==(const Tally&) const = default;
};

// Files and bytes below a folder, without the relative paths listed.
Tally Count(const std::wstring& folder, const std::vector<std::wstring>& skip = {})
{
    Tally tally;
    driver::ForEachBelow(folder, [&](const std::wstring& path, const WIN32_FIND_DATAW& data) {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0
            && std::find(skip.begin(), skip.end(), path) == skip.end()) {
            tally.files += 1;
            tally.bytes += (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        }
    });
    return tally;
}

std::wstring Special(int csidl)
{
    wchar_t path[MAX_PATH];
    return SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) ? path : L"";
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Mebibytes(unsigned long long bytes)
{
    return static_cast<double>(bytes) / (1 << 20);
}

unsigned long long SizeOf(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)
        ? (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow
        : 0;
}

int Refuse(const std::string& message)
{
    std::fprintf(stderr, "install bench: %s\n", message.c_str());
    return -1;
}

class Bench {
public:
    // tree: the host's payload tree, whose staging folder says what an
    // installation places.
    Bench(const std::wstring& dist, const std::wstring& tree)
        : dist_(dist)
        , work_(L"C:\\ynbbench-" + std::to_wstring(GetCurrentProcessId()))
        , target_(work_ + L"\\target")
        , desktop_(Special(CSIDL_DESKTOPDIRECTORY))
        , documents_(Special(CSIDL_PERSONAL))
    {
        const std::wstring staging = tree + L"\\YnbBench\\ins";
        expected_ = Count(staging, { L"readme.txt" });
        const Tally samples = Count(staging + L"\\samples");
        expected_.files -= samples.files;
        expected_.bytes -= samples.bytes;
        expectedSamples_ = samples;
        driver::RemoveTree(work_);
        CreateDirectoryW(work_.c_str(), nullptr);
        Clean();
    }
    ~Bench()
    {
        Clean();
        driver::RemoveTree(work_);
    }
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    const std::wstring& Work() const { return work_; }
    const std::wstring& Target() const { return target_; }

    // A program copied into the work folder once, so that every installer
    // reads from the same disk.
    std::wstring Stage(const std::wstring& file, const std::wstring& name) const
    {
        const std::wstring copy = work_ + L"\\" + name;
        return CopyFileW(file.c_str(), copy.c_str(), FALSE) ? copy : std::wstring();
    }

    // Seconds from start to exit, or negative when it failed or its exit code
    // was not 0.
    double Run(const std::wstring& exe, const std::wstring& arguments)
    {
        std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
        STARTUPINFOW startup {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process {};
        const double start = Now();
        if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, work_.c_str(),
                &startup, &process))
            return Refuse("cannot start " + driver::Narrow(exe));
        const DWORD wait = WaitForSingleObject(process.hProcess, kInstallWait);
        const double elapsed = Now() - start;
        DWORD code = STILL_ACTIVE;
        if (wait != WAIT_OBJECT_0)
            (void)TerminateProcess(process.hProcess, 99);
        else
            (void)GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        if (code != 0)
            return Refuse(driver::Narrow(exe) + " ended with " + std::to_string(code));
        return elapsed;
    }

    // setup.exe through its wizard: seconds from Start to the completion
    // page, and its peak working set there.
    double RunWizard()
    {
        driver::Setup setup(dist_ + L"\\setup.exe", dist_, work_ + L"\\run-wizard", true, true);
        if (!setup.CopyIn(dist_ + L"\\data00.dat", L"data00.dat") || !setup.Start())
            return Refuse("cannot start setup.exe");
        HWND wizard = setup.Wizard();
        HWND startButton = nullptr;
        if (wizard == nullptr || !Press(wizard, L"次へ >") || !WaitTitle(wizard, L"ソフトウェア使用許諾")
            || !Press(wizard, L"同意 >") || !WaitTitle(wizard, L"シェアウェアパッケージ使用許諾")
            || !Press(wizard, L"同意 >")
            || !driver::WaitFor([&] { return (startButton = Button(wizard, L"開始 >")) != nullptr; }))
            return Refuse("the wizard did not reach the destination page");
        HWND edit = driver::ChildOfClass(driver::VisiblePage(wizard), L"Edit");
        HWND startMenu = Button(wizard, driver::kStartMenuOption);
        if (edit == nullptr || startMenu == nullptr)
            return Refuse("the destination page lacks its folder field or its check box");
        driver::SetText(edit, target_);
        // One shortcut, on the desktop, as the references make.
        if (driver::Checked(startMenu)) {
            driver::Click(startMenu);
            if (!driver::WaitFor([&] { return !driver::Checked(startMenu); }))
                return Refuse("the Start menu box stays ticked");
        }
        const double start = Now();
        driver::Click(startButton);
        HWND finish = nullptr;
        if (!driver::WaitFor(
                [&] { return !setup.NoDialog() || (finish = Button(wizard, L"終了")) != nullptr; }, kInstallWait)
            || finish == nullptr)
            return Refuse("the installation through the wizard did not complete");
        const double elapsed = Now() - start;
        PROCESS_MEMORY_COUNTERS memory {};
        peakMemory_ = GetProcessMemoryInfo(setup.Process(), &memory, sizeof memory) ? memory.PeakWorkingSetSize : 0;
        driver::Click(finish);
        if (setup.WaitExit() != 0)
            return Refuse("setup.exe did not end with 0 after its completion page");
        return elapsed;
    }
    SIZE_T PeakMemory() const { return peakMemory_; }

    // What an installation placed matches the payload; extra: the
    // installer's own file in the install folder, if it has one. The shortcut
    // and the entry only where an installer makes them.
    // A later version (sameBytes false) has files of other sizes.
    bool Check(const std::wstring& extra, bool registered, bool sameBytes = true)
    {
        const std::wstring install = target_ + L"\\YnbBench";
        // A version made from the prebuilt programs brings its uninstaller.
        const Tally found = Count(install, { extra, L"uninstall.exe" });
        const Tally samples = Count(documents_ + L"\\samples");
        const auto same = [sameBytes](const Tally& a, const Tally& b) {
            return a.files == b.files && (!sameBytes || a.bytes == b.bytes);
        };
        if (!same(found, expected_) || !same(samples, expectedSamples_))
            return Refuse("placed " + std::to_string(found.files) + " + " + std::to_string(samples.files)
                       + " files, expected " + std::to_string(expected_.files) + " + "
                       + std::to_string(expectedSamples_.files))
                == 0;
        if ((!extra.empty() && !driver::Exists(install + L"\\" + extra)) || !driver::Exists(desktop_ + L"\\readme.txt"))
            return Refuse("no " + driver::Narrow(extra) + " or no readme.txt on the desktop") == 0;
        if (driver::Exists(install + L"\\ins"))
            return Refuse("the staging folder was left behind") == 0;
        if (registered
            && (!driver::Exists(desktop_ + L"\\YnbBench.lnk")
                || driver::RegistryText(
                       "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\YnbBench", "UninstallString")
                    == "<no key>"))
            return Refuse("no desktop shortcut or no uninstall entry") == 0;
        return true;
    }

    void Clean()
    {
        driver::RemoveTree(target_);
        driver::RemoveTree(documents_ + L"\\samples");
        (void)DeleteFileW((desktop_ + L"\\readme.txt").c_str());
        (void)DeleteFileW((desktop_ + L"\\YnbBench.lnk").c_str());
        (void)RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kUninstallKey, KEY_WOW64_64KEY, 0);
    }

private:
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

    std::wstring dist_;
    std::wstring work_;
    std::wstring target_;
    std::wstring desktop_;
    std::wstring documents_;
    Tally expected_;
    Tally expectedSamples_;
    SIZE_T peakMemory_ = 0;
};

// The seconds per phase from a /LOG= file's line "seconds per phase: unpacking
// 1.234, registering 0.002, ...".
std::map<std::string, double> PhaseTimes(const std::wstring& log)
{
    std::map<std::string, double> times;
    const std::string text = driver::ReadBytes(log);
    const std::string mark = "seconds per phase:";
    const std::size_t at = text.find(mark);
    if (at == std::string::npos)
        return times;
    const std::string line = text.substr(at + mark.size(), text.find('\r', at) - at - mark.size());
    for (const char* phase : kPhases) {
        const std::size_t found = line.find(std::string(" ") + phase + " ");
        if (found != std::string::npos)
            times[phase] = std::atof(line.c_str() + found + std::strlen(phase) + 2);
    }
    return times;
}

double ReadSeconds(const std::wstring& file)
{
    const std::string text = driver::ReadBytes(file);
    return text.empty() ? -1 : std::atof(text.c_str());
}

// Entries of the plain manifest: its non-empty lines.
int ManifestEntries(const std::wstring& path)
{
    int entries = 0;
    bool blank = true;
    for (char c : driver::ReadBytes(path) + "\n") {
        if (c == '\n') {
            entries += blank ? 0 : 1;
            blank = true;
        } else if (c != '\r') {
            blank = false;
        }
    }
    return entries;
}

// A /LOG= file's line from `what` to its end, or `otherwise`.
std::string LogLine(const std::wstring& log, const char* what, const char* otherwise)
{
    const std::string text = driver::ReadBytes(log);
    const std::size_t at = text.find(what);
    return at == std::string::npos ? std::string(otherwise) : text.substr(at, text.find('\r', at) - at);
}

// Deletes every tenth file of the installation (in the order of its listing):
// what a repair puts back.
int DeleteTenth(const std::wstring& folder)
{
    std::vector<std::wstring> files;
    driver::ForEachBelow(folder, [&](const std::wstring& path, const WIN32_FIND_DATAW& data) {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && path.rfind(L"ynb\\", 0) != 0
            && path != L"uninstall.exe")
            files.push_back(path);
    });
    int deleted = 0;
    for (std::size_t i = 0; i < files.size(); i += 10)
        deleted += DeleteFileW((folder + L"\\" + files[i]).c_str()) ? 1 : 0;
    return deleted;
}

// Upgrades and repairs, each over a first installation of version 1 made for
// it: the medians, against a first installation, and where the time goes.
bool Versions(Bench& bench, const std::wstring& setup, const std::vector<const char*>& dists, int rounds, double first)
{
    struct Case {
        const char* name;
        std::wstring setup; // the version set up over the first
        bool deleteTenth;
        double goal; // at most, against a first installation
    };
    std::vector<Case> cases;
    const char* const names[] = { "upgrade, the product's programs changed", "upgrade, a tenth of the files changed",
        "upgrade, every file changed" };
    const double goals[] = { 0.5, 0.9, 1.2 };
    for (std::size_t i = 0; i < dists.size(); ++i) {
        const std::wstring folder = L"v2-" + std::to_wstring(i);
        (void)CreateDirectoryW((bench.Work() + L"\\" + folder).c_str(), nullptr);
        const std::wstring staged = bench.Stage(driver::HostPath(dists[i]) + L"\\setup.exe", folder + L"\\setup.exe");
        if (staged.empty()
            || bench.Stage(driver::HostPath(dists[i]) + L"\\data00.dat", folder + L"\\data00.dat").empty())
            return Refuse("cannot copy version 2 into the work folder") == 0;
        cases.push_back({ names[i], staged, false, goals[i] });
    }
    cases.push_back({ "repair of an intact installation", setup, false, 0.3 });
    cases.push_back({ "repair after a tenth of the files were deleted", setup, true, 0 });
    const std::wstring log = bench.Work() + L"\\version-log.txt";
    const std::wstring arguments = L"/S /NOSTARTMENU \"/LOG=" + log + L"\" /D=" + bench.Target();
    std::vector<std::vector<double>> times(cases.size());
    std::vector<std::map<std::string, std::vector<double>>> phases(cases.size());
    std::vector<std::string> notes(cases.size());
    for (int round = 0; round < rounds; ++round)
        for (std::size_t turn = 0; turn < cases.size(); ++turn) {
            const std::size_t which = (static_cast<std::size_t>(round) + turn) % cases.size();
            const Case& one = cases[which];
            bench.Clean();
            if (bench.Run(setup, L"/S /NOSTARTMENU /D=" + bench.Target()) < 0)
                return false;
            if (one.deleteTenth && DeleteTenth(bench.Target() + L"\\YnbBench") == 0)
                return Refuse("nothing to delete") == 0;
            const double elapsed = bench.Run(one.setup, arguments);
            if (elapsed < 0 || !bench.Check(L"ynb\\instdir.dat", true, one.setup == setup))
                return Refuse(std::string(one.name) + " failed") == 0;
            times[which].push_back(elapsed);
            for (const auto& [phase, value] : PhaseTimes(log))
                phases[which][phase].push_back(value);
            notes[which] = LogLine(log, "in place already: ", "every file written");
        }
    bench.Clean();
    for (std::size_t which = 0; which < cases.size(); ++which) {
        const double median = Median(times[which]);
        std::printf(
            "install bench: %s %.2f s, / a first installation = %.2f", cases[which].name, median, median / first);
        if (cases[which].goal > 0)
            std::printf(" (goal at most %.1f)", cases[which].goal);
        std::printf("; %s; seconds per phase:", notes[which].c_str());
        for (const char* phase : kPhases)
            std::printf(" %s %.2f", phase, Median(phases[which][phase]));
        std::printf("\n");
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 16) {
        std::fprintf(stderr,
            "usage: ynbbench_install DIST LZX_DIST NSIS_ZLIB NSIS_LZMA FLOOR_EXE FLOOR_LIST TREE MANIFEST ROUNDS "
            "WORKERS DOUBLE_DIST DOUBLE_TREE PROGRAMS_DIST TENTH_DIST ALL_DIST\n");
        return 2;
    }
    const bool withNsis = std::strcmp(argv[3], "-") != 0;
    const std::wstring dist = driver::HostPath(argv[1]);
    const std::wstring tree = driver::HostPath(argv[7]);
    const int entries = ManifestEntries(driver::HostPath(argv[8]));
    const int rounds = std::atoi(argv[9]);
    const std::string workers = argv[10];
    if (entries < 1 || rounds < 1) {
        std::fprintf(stderr, "install bench: no manifest entries in %s, or no rounds\n", argv[8]);
        return 2;
    }
    Bench bench(dist, tree);
    const std::wstring setup = bench.Stage(dist + L"\\setup.exe", L"setup.exe");
    const std::wstring payload = bench.Stage(dist + L"\\data00.dat", L"data00.dat");
    // The LZX payload beside a setup.exe of its own (stamped with its digest).
    const std::wstring lzxDist = driver::HostPath(argv[2]);
    (void)CreateDirectoryW((bench.Work() + L"\\lzx").c_str(), nullptr);
    const std::wstring lzxSetup = bench.Stage(lzxDist + L"\\setup.exe", L"lzx\\setup.exe");
    const std::wstring lzxPayload = bench.Stage(lzxDist + L"\\data00.dat", L"lzx\\data00.dat");
    const std::wstring zlib = withNsis ? bench.Stage(driver::HostPath(argv[3]), L"nsis-zlib.exe") : L"-";
    const std::wstring lzma = withNsis ? bench.Stage(driver::HostPath(argv[4]), L"nsis-lzma.exe") : L"-";
    const std::wstring floor = bench.Stage(driver::HostPath(argv[5]), L"floor.exe");
    if (setup.empty() || payload.empty() || lzxSetup.empty() || lzxPayload.empty() || zlib.empty() || lzma.empty()
        || floor.empty()) {
        std::fprintf(stderr, "install bench: cannot copy the installers into %ls\n", bench.Work().c_str());
        return 1;
    }
    const Tally files = Count(tree + L"\\YnbBench\\ins");
    const unsigned long long setupBytes = SizeOf(setup) + SizeOf(payload);
    std::printf("install bench: %llu files of %.1f MiB, %d manifest entries, %d rounds, %s extraction threads\n",
        files.files, Mebibytes(files.bytes), entries, rounds, workers.c_str());
    const std::pair<const char*, unsigned long long> sizes[] = { { "setup.exe with data00.dat", setupBytes },
        { "data00.dat, MSZIP", SizeOf(payload) }, { "data00.dat, LZX", SizeOf(lzxPayload) },
        { "NSIS zlib", SizeOf(zlib) }, { "NSIS solid LZMA", SizeOf(lzma) } };
    for (const auto& [name, bytes] : sizes)
        if (bytes > 0 || withNsis)
            std::printf("install bench: %-26s %11llu bytes, %.3f of the files\n", name, bytes,
                static_cast<double>(bytes) / static_cast<double>(files.bytes));
    std::fflush(stdout);

    const std::wstring target = bench.Target();
    const std::wstring log = bench.Work() + L"\\setup-log.txt";
    const std::wstring loadFile = bench.Work() + L"\\floor-load.txt";
    const std::wstring floorArguments = L"\"" + tree + L"\" \"" + driver::HostPath(argv[6]) + L"\" \"" + target + L"\" "
        + driver::Wide(workers.substr(0, workers.find(' '))) + L" \"" + loadFile + L"\"";
    std::printf("install bench: data00.dat, LZX / MSZIP = %.3f\n",
        static_cast<double>(SizeOf(lzxPayload)) / static_cast<double>(SizeOf(payload)));
    enum { kSetup, kLzx, kZlib, kLzma, kFloor, kWizard, kCount };
    const char* const kNames[kCount]
        = { "setup.exe /S", "setup.exe /S LZX", "NSIS zlib", "NSIS LZMA", "floor", "wizard" };
    std::vector<double> times[kCount];
    std::map<std::string, std::vector<double>> phases;
    SIZE_T peak = 0;
    for (int round = 0; round < rounds; ++round) {
        double seconds[kCount] = {};
        for (int turn = 0; turn < kCount; ++turn) {
            const int which = (round + turn) % kCount;
            bench.Clean();
            double elapsed = -1;
            bool placed = false;
            if (!withNsis && (which == kZlib || which == kLzma))
                continue;
            switch (which) {
            case kSetup:
            case kLzx:
                elapsed = bench.Run(
                    which == kSetup ? setup : lzxSetup, L"/S /NOSTARTMENU \"/LOG=" + log + L"\" /D=" + target);
                placed = elapsed >= 0 && bench.Check(L"ynb\\instdir.dat", true);
                for (const auto& [phase, value] : PhaseTimes(log))
                    phases[std::string(which == kLzx ? "LZX " : "") + phase].push_back(value);
                break;
            case kZlib:
            case kLzma:
                elapsed = bench.Run(which == kZlib ? zlib : lzma, L"/S /D=" + target);
                placed = elapsed >= 0 && bench.Check(L"uninstall.exe", true);
                break;
            case kFloor: {
                elapsed = bench.Run(floor, floorArguments);
                const double load = ReadSeconds(loadFile);
                elapsed = elapsed >= 0 && load >= 0 ? elapsed - load : -1;
                placed = elapsed >= 0 && bench.Check(L"", false);
                break;
            }
            case kWizard:
                elapsed = bench.RunWizard();
                placed = elapsed >= 0 && bench.Check(L"ynb\\instdir.dat", true);
                peak = std::max(peak, bench.PeakMemory());
                break;
            }
            if (!placed) {
                std::fprintf(stderr, "install bench: %s failed\n", kNames[which]);
                return 1;
            }
            seconds[which] = elapsed;
            times[which].push_back(elapsed);
        }
        std::printf("  round %d:", round + 1);
        for (int which = 0; which < kCount; ++which)
            std::printf(" %s %.2f s%s", kNames[which], seconds[which], which + 1 < kCount ? ";" : "\n");
        std::fflush(stdout);
    }
    bench.Clean();
    // What the transaction cost.
    const std::string transaction = LogLine(log, "the transaction: ", "no transaction line in /LOG=");

    double median[kCount];
    for (int which = 0; which < kCount; ++which)
        median[which] = Median(times[which]);
    const double pauses = (entries + 1) * kPause;
    std::printf("install bench: medians, whole processes: setup.exe /S %.2f s, NSIS zlib %.2f s, NSIS solid LZMA %.2f "
                "s, floor %.2f s\n",
        median[kSetup], median[kZlib], median[kLzma], median[kFloor]);
    if (!withNsis)
        std::printf("install bench: (a small product, without the NSIS installers)\n");
    std::printf("install bench: setup.exe /S / floor = %.2f\n", median[kSetup] / median[kFloor]);
    if (withNsis) {
        std::printf("install bench: setup.exe /S / NSIS zlib = %.2f\n", median[kSetup] / median[kZlib]);
        std::printf("install bench: setup.exe /S / NSIS solid LZMA = %.2f\n", median[kSetup] / median[kLzma]);
    }
    std::printf("install bench: %s\n", transaction.c_str());
    std::printf("install bench: setup.exe /S LZX %.2f s, LZX / MSZIP = %.2f, LZX / floor = %.2f\n", median[kLzx],
        median[kLzx] / median[kSetup], median[kLzx] / median[kFloor]);
    for (const char* kind : { "", "LZX " }) {
        std::printf("install bench: setup.exe /S %sseconds per phase (medians):", kind);
        for (const char* phase : kPhases)
            std::printf(" %s %.2f", phase, Median(phases[std::string(kind) + phase]));
        std::printf("\n");
    }
    std::printf("install bench: the wizard from Start to its completion page %.2f s, %.2f s without its pauses "
                "(%.1f s: %d entries and the log, 0.5 s each)\n",
        median[kWizard], median[kWizard] - pauses, pauses, entries);

    if (!Versions(bench, setup, { argv[13], argv[14], argv[15] }, rounds, median[kSetup]))
        return 1;

    // The peak working set for the product with its program tree twice.
    if (std::strcmp(argv[11], "-") == 0)
        return 0;
    Bench twice(driver::HostPath(argv[11]), driver::HostPath(argv[12]));
    if (twice.RunWizard() < 0 || !twice.Check(L"ynb\\instdir.dat", true))
        return 1;
    std::printf("install bench: peak working set of setup.exe: %.1f MiB for %.1f MiB of files, %.1f MiB for %.1f "
                "MiB\n",
        Mebibytes(peak), Mebibytes(files.bytes), Mebibytes(twice.PeakMemory()),
        Mebibytes(Count(driver::HostPath(argv[12]) + L"\\YnbBench\\ins").bytes));
    return 0;
}
