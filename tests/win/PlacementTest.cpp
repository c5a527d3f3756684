// Where the installation engine places what a manifest names, kept as golden
// data. The payload of tests/products/placement (the demo product's folder and
// keys; its manifest holds every kind of entry) is installed twice through
// install::RunInstallation, and a second payload once, and what the machine
// holds after each run is written as text and compared line by line with
// tests/products/placement/expected.txt:
//   - every file and folder below the base folder, the desktop and the
//     documents, and the other places the entries write (C:\, D:\, the
//     Windows folder), each file with its size, the first 8 hex digits of the
//     SHA-256 of its content and its attributes;
//   - the failed copies in the order reported (target | path | error);
//   - the install log's lines, unscrambled;
//   - the uninstall entry's values.
// The first run installs into an empty base folder. The second installs over
// the first, with a staging folder left before it that holds a stray file, and
// a stray file in the folder that a folder entry copies. Before each run the
// desktop holds a file to overwrite, a read-only one and a hidden one, and the
// absolute source and the folders of the root- and drive-relative
// destinations exist. The third run installs the second payload, the same
// tree with manifest-direct.txt (the entries below but "single.txt sub" and
// the absolute source: those whose placement the machine decides), into a
// base folder of its own on a clean machine. No shortcut is asked for: none
// depends on the manifest.
//
// The manifest's entries (source, destination), in its order:
//   single.txt ..\bin          into a folder the payload creates
//   twice.txt .. / MYDOC       one staging file, two destinations
//   nowhere.txt ..\missing     a destination folder that does not exist
//   docs\ .. / ..\nofolder\deeper  a folder (with a sub folder) into an
//                              existing one; into one whose parent is missing
//   app.ini ..                 onto a file the payload extracts outside ins
//   same.txt ..\bin, bin\same.txt ..  two sources, one target
//   readme.txt . / single.txt sub  targets inside the staging folder
//   ..\outside.txt ..\bin\deep  a source outside ins, a missing folder
//                              that the ".." of the source takes back out
//   C:\placement-src\ext.txt ..  an absolute source (the test makes it)
//   ghost.txt ..               a source that does not exist
//   guide.txt DESKTOP / DESKTOP\sub, over.txt DESKTOP  the desktop, a missing
//                              folder of it, a file there overwritten
//   placement-root.txt (empty), rel.txt \placement-dir, drive.txt
//   D:placement-d              the current drive's root, root- and
//                              drive-relative destinations
//   locked.txt, hidden.txt DESKTOP  onto a read-only and a hidden file
//   ro.txt ..                  a file the cabinet marks read-only
//   placement-sys.txt SYSTEM   the Windows folder
// unplaced.txt and sub\keep.txt are placed by no entry.
//
// The Wine root maps D: (tests/scripts/cases-prefix.sh) for the drive-relative
// destination "D:placement-d".
//
// To write the expected text anew after a deliberate change of placement, run
// the test with YNB_GOLDEN_WRITE naming the file to write (a host path), then
// read every changed line before committing it:
//   YNB_GOLDEN_WRITE=$PWD/tests/products/placement/expected.txt ctest -R win.PlacementTest
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "Driver.h"
#include "config/ProductData.h"
#include "install/InstallEngine.h"
#include "package/ClsSecurity.h"
#include "package/ClsYnb.h"
#include "package/Sha256.h"
#include "sys/ClsFile.h"
#include "sys/Text.h"
#include "sys/Win32.h"

#ifdef YNB_PLACEMENT_DIST

namespace {

using driver::Exists;

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Hanamaru";
const std::wstring kBase = L"C:\\placement-base";
const std::wstring kInstall = kBase + L"\\Hanamaru";
const std::wstring kDirectBase = L"C:\\placement-direct";

std::vector<std::string> Lines(const std::string& text, const std::string& end)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t stop = text.find(end, start);
        if (stop == std::string::npos)
            stop = text.size();
        lines.push_back(text.substr(start, stop - start));
        start = stop + end.size();
    }
    return lines;
}

std::string Attributes(DWORD attributes)
{
    static constexpr std::pair<DWORD, const char*> kNames[] = { { FILE_ATTRIBUTE_READONLY, "READONLY" },
        { FILE_ATTRIBUTE_HIDDEN, "HIDDEN" }, { FILE_ATTRIBUTE_SYSTEM, "SYSTEM" }, { FILE_ATTRIBUTE_ARCHIVE, "ARCHIVE" },
        { FILE_ATTRIBUTE_NORMAL, "NORMAL" }, { FILE_ATTRIBUTE_REPARSE_POINT, "REPARSE" } };
    std::string text;
    attributes &= ~FILE_ATTRIBUTE_DIRECTORY; // told by the trailing backslash
    for (const auto& [bit, name] : kNames)
        if ((attributes & bit) != 0) {
            text += (text.empty() ? "" : "|") + std::string(name);
            attributes &= ~bit;
        }
    if (attributes != 0) {
        char rest[16];
        std::snprintf(rest, sizeof rest, "0x%lx", static_cast<unsigned long>(attributes));
        text += (text.empty() ? "" : "|") + std::string(rest);
    }
    return text.empty() ? "-" : text;
}

std::string ShortHash(const std::string& bytes)
{
    unsigned char digest[kSha256Size];
    Sha256::Hash(bytes.data(), bytes.size(), digest);
    char hex[9];
    std::snprintf(hex, sizeof hex, "%02x%02x%02x%02x", digest[0], digest[1], digest[2], digest[3]);
    return hex;
}

class Placement : public ::testing::Test {
protected:
    void SetUp() override
    {
        desktop = driver::FolderFrom(ClsFile::GetDesktopFolder);
        documents = driver::FolderFrom(ClsFile::GetMyDocumentsFolder);
        windows = driver::FolderFrom(ClsFile::GetWindowsFolder);
        ASSERT_FALSE(desktop.empty());
        ASSERT_FALSE(documents.empty());
        ASSERT_FALSE(windows.empty());
        ASSERT_TRUE(Exists(L"D:\\")) << "the Wine root maps no drive D: (tests/scripts/cases-prefix.sh)";
        before = sys::CurrentDirectory();
        // The places written outside the three folders, and in them, that
        // are the cases' own.
        outside = { L"C:\\placement-src", L"C:\\placement-dir", L"C:\\placement-root.txt", L"D:\\placement-d",
            windows + L"\\placement-sys.txt" };
        for (const wchar_t* name : { L"guide.txt", L"over.txt", L"locked.txt", L"hidden.txt", L"sub" })
            ours.push_back(desktop + L"\\" + name);
        ours.push_back(documents + L"\\twice.txt");
        CleanAll();
        ASSERT_NO_FATAL_FAILURE(Stage(kBase, YNB_PLACEMENT_DIST));
    }
    void TearDown() override
    {
        (void)SetCurrentDirectoryA(before.c_str()); // the installation leaves it in the log folder
        CleanAll();
    }

    void CleanAll()
    {
        CleanAround();
        for (const std::wstring& folder : { kBase, kDirectBase }) {
            driver::RemoveTree(folder);
            driver::RemoveTree(folder + L"-program");
        }
        driver::RemoveKey(HKEY_LOCAL_MACHINE, kUninstallKey);
        driver::RemoveJournals();
    }
    // The base folder of the next runs, and the payload of `dist` in the
    // program folder beside it.
    void Stage(const std::wstring& folder, const char* dist)
    {
        base = folder;
        program = base + L"-program";
        ASSERT_TRUE(CreateDirectoryW(program.c_str(), nullptr));
        ASSERT_TRUE(
            CopyFileW((driver::HostPath(dist) + L"\\data00.dat").c_str(), (program + L"\\data00.dat").c_str(), FALSE));
    }
    std::wstring Log() const { return base + L"\\Hanamaru\\ynb\\instdir.dat"; }
    // Everything but the installation itself.
    void CleanAround()
    {
        for (const std::wstring& path : outside)
            driver::RemoveTree(path);
        for (const std::wstring& path : ours) {
            (void)SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            driver::RemoveTree(path);
        }
    }

    // What the entries meet before a run: an absolute source, the folders
    // of the root- and drive-relative destinations, and three desktop files.
    void PrepareAround()
    {
        ASSERT_TRUE(CreateDirectoryW(L"C:\\placement-src", nullptr));
        ASSERT_TRUE(driver::WriteBytes(L"C:\\placement-src\\ext.txt", "an absolute source\n"));
        ASSERT_TRUE(CreateDirectoryW(L"C:\\placement-dir", nullptr));
        ASSERT_TRUE(CreateDirectoryW(L"D:\\placement-d", nullptr));
        ASSERT_TRUE(driver::WriteBytes(desktop + L"\\over.txt", "the desktop's own file\n"));
        ASSERT_TRUE(driver::WriteBytes(desktop + L"\\locked.txt", "the desktop's read-only file\n"));
        ASSERT_TRUE(SetFileAttributesW((desktop + L"\\locked.txt").c_str(), FILE_ATTRIBUTE_READONLY));
        ASSERT_TRUE(driver::WriteBytes(desktop + L"\\hidden.txt", "the desktop's hidden file\n"));
        ASSERT_TRUE(SetFileAttributesW((desktop + L"\\hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN));
    }

    // One installation and what it left, appended to `text` under a heading.
    void Run(const char* heading, std::string& text)
    {
        std::vector<std::string> failures;
        install::InstallSink sink;
        sink.copyFailed = [&](const install::CopyFailure& failure) {
            failures.push_back(
                "failed " + failure.target + " | " + failure.path + " | " + std::to_string(failure.error));
        };
        sink.setupFailed = [&](const install::InstallFailure& failure) {
            failures.push_back("setup failed " + failure.detail);
            return true;
        };
        SetupRecord record;
        ASSERT_TRUE(ClsYnb().LoadSetupText(record));
        const install::ProductValues product = install::BuiltProduct(record);
        const install::InstallRequest request { .product = product,
            .folderText = sys::ToAnsi(base),
            .desktopShortcut = false,
            .startMenuEntry = false,
            .programDir = sys::ToAnsi(program),
            .scope = scope };
        const install::InstallOutcome outcome = install::RunInstallation(request, sink);
        modes.push_back(outcome.plan.mode == install::PlanMode::Direct ? "direct" : "staged: " + outcome.plan.why);

        text += std::string("== ") + heading + "\n";
        text += "succeeded " + std::to_string(outcome.succeeded) + " payload " + std::to_string(outcome.payloadSize)
            + "\n";
        for (const std::string& line : failures)
            text += Mask(line) + "\n";
        for (const std::string& line : Snapshot())
            text += line + "\n";
        const std::string log = driver::ReadBytes(Log());
        std::string plain = log;
        if (log.rfind("<missing", 0) != 0)
            (void)ClsSecurity::Unscramble(plain.data(), static_cast<int32_t>(plain.size()), kManifestKey);
        for (const std::string& line : Lines(plain, "\r\n"))
            text += "log " + Mask(line) + "\n";
        for (const std::string& line : Registry())
            text += line + "\n";
    }

    // Every place the entries write, and what it holds.
    std::vector<std::string> Snapshot() const
    {
        std::vector<std::string> files;
        for (const std::wstring& place : { base, desktop, documents })
            Describe(place, files);
        for (const std::wstring& place : outside)
            Describe(place, files);
        std::sort(files.begin(), files.end());
        return files;
    }

    // A path with the base, desktop, documents and Windows folders named by
    // their placeholders.
    std::string Mask(std::string text) const
    {
        const std::pair<std::string, const char*> kPlaces[] = { { sys::ToAnsi(desktop), "<DESKTOP>" },
            { sys::ToAnsi(documents), "<DOCS>" }, { sys::ToAnsi(base), "<BASE>" }, { sys::ToAnsi(windows), "<WIN>" } };
        for (const auto& [path, name] : kPlaces)
            for (std::size_t at = text.find(path); at != std::string::npos; at = text.find(path, at))
                text.replace(at, path.size(), name);
        return text;
    }

    // A file or folder and everything below it, one line each; "absent"
    // for a path that is not there. The install log is told by its lines,
    // whose paths hold the account's name.
    void Describe(const std::wstring& place, std::vector<std::string>& lines) const
    {
        const auto line = [&](const std::wstring& path, DWORD attributes) {
            std::string text = Mask(sys::ToAnsi(path));
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
                text += "\\";
            else if (path == Log())
                text += " (the log)";
            else {
                const std::string bytes = driver::ReadBytes(path);
                text += " size=" + std::to_string(bytes.size()) + " sha=" + ShortHash(bytes);
            }
            lines.push_back(text + " " + Attributes(attributes));
        };
        const DWORD attributes = GetFileAttributesW(place.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            lines.push_back(Mask(sys::ToAnsi(place)) + " absent");
            return;
        }
        line(place, attributes);
        driver::ForEachBelow(place, [&](const std::wstring& relative, const WIN32_FIND_DATAW& data) {
            line(place + L"\\" + relative, data.dwFileAttributes);
        });
    }

    // The uninstall entry's values, sorted by name.
    std::vector<std::string> Registry() const
    {
        std::vector<std::string> lines;
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return { "entry absent" };
        for (DWORD i = 0;; ++i) {
            char name[256];
            DWORD nameSize = sizeof name;
            BYTE data[1024] = {};
            DWORD dataSize = sizeof data - 1;
            DWORD type = 0;
            if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS)
                break;
            std::string value;
            if (type == REG_SZ)
                value = "sz " + Mask(reinterpret_cast<const char*>(data));
            else if (type == REG_DWORD && dataSize == sizeof(DWORD))
                value = "dword " + std::to_string(*reinterpret_cast<const DWORD*>(data));
            else
                value = "type " + std::to_string(type) + " of " + std::to_string(dataSize) + " bytes";
            lines.push_back("entry " + std::string(name) + " = " + value);
        }
        RegCloseKey(key);
        std::sort(lines.begin(), lines.end());
        return lines;
    }

    std::wstring desktop, documents, windows, base, program;
    std::vector<std::wstring> outside, ours;
    std::string before;
    std::vector<std::string> modes; // how each run's plan placed the files
    install::Scope scope = install::Scope::Machine;
};

// The expected and the actual lines, each changed line with its number.
std::string Difference(const std::vector<std::string>& expected, const std::vector<std::string>& actual)
{
    // The longest common subsequence, from the back.
    const std::size_t n = expected.size(), m = actual.size();
    std::vector<std::vector<int>> common(n + 1, std::vector<int>(m + 1, 0));
    for (std::size_t i = n; i-- > 0;)
        for (std::size_t j = m; j-- > 0;)
            common[i][j]
                = expected[i] == actual[j] ? common[i + 1][j + 1] + 1 : std::max(common[i + 1][j], common[i][j + 1]);
    std::string text;
    std::size_t i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && expected[i] == actual[j]) {
            ++i;
            ++j;
        } else if (i < n && (j == m || common[i + 1][j] >= common[i][j + 1])) {
            text += "-" + std::to_string(i + 1) + " " + expected[i] + "\n";
            ++i;
        } else {
            text += "+" + std::to_string(j + 1) + " " + actual[j] + "\n";
            ++j;
        }
    }
    return text;
}

TEST_F(Placement, EveryKindOfEntryLandsWhereItAlwaysHas)
{
    std::string actual;
    ASSERT_NO_FATAL_FAILURE(PrepareAround());
    ASSERT_NO_FATAL_FAILURE(Run("into an empty base folder", actual));

    // Over the first installation, with a staging folder already there.
    CleanAround();
    ASSERT_NO_FATAL_FAILURE(PrepareAround());
    ASSERT_TRUE(CreateDirectoryW((kInstall + L"\\ins").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((kInstall + L"\\ins\\docs").c_str(), nullptr));
    ASSERT_TRUE(driver::WriteBytes(kInstall + L"\\ins\\stray.txt", "left in the staging folder\n"));
    ASSERT_TRUE(driver::WriteBytes(kInstall + L"\\ins\\docs\\stray.txt", "left in a folder an entry copies\n"));
    ASSERT_NO_FATAL_FAILURE(Run("over it, with a staging folder left before", actual));

    // The second payload, from nothing installed into a base folder of its own.
    CleanAll();
    ASSERT_NO_FATAL_FAILURE(PrepareAround());
    ASSERT_NO_FATAL_FAILURE(Stage(kDirectBase, YNB_PLACEMENT_DIRECT_DIST));
    ASSERT_NO_FATAL_FAILURE(Run("the direct entries into a base folder of their own", actual));

    // The first two runs need the machine to judge (a target inside the
    // staging folder, a staging folder there before); the third is planned
    // whole, and lands exactly where the copies of the first did.
    EXPECT_EQ((std::vector<std::string> { "staged: a target lies inside the staging folder",
                  "staged: the staging folder exists already", "direct" }),
        modes);

    const std::string given = driver::HostGiven("YNB_GOLDEN_WRITE");
    if (!given.empty()) {
        const std::wstring path = given[0] == '/' ? driver::HostPath(given.c_str()) : driver::Wide(given);
        ASSERT_TRUE(driver::WriteBytes(path, actual)) << given;
        GTEST_SKIP() << "written to " << given << ", not compared";
    }
    const std::string expected = driver::ReadBytes(driver::HostPath(YNB_PLACEMENT_EXPECTED));
    ASSERT_EQ(0u, expected.rfind("== ", 0)) << YNB_PLACEMENT_EXPECTED << ": " << expected.substr(0, 80);
    // Compared whole, told by the lines that differ.
    EXPECT_TRUE(expected == actual) << "-expected +actual:\n" << Difference(Lines(expected, "\n"), Lines(actual, "\n"));
}

// For the current user alone the Windows folder is the machine's: a manifest
// that writes there refuses the setup before anything is written.
TEST_F(Placement, ForTheUserAloneAnEntryIntoTheWindowsFolderRefusesTheSetupFirst)
{
    ASSERT_NO_FATAL_FAILURE(PrepareAround());
    const std::vector<std::string> before = Snapshot();
    scope = install::Scope::User;
    std::string text;
    ASSERT_NO_FATAL_FAILURE(Run("for the user alone", text));
    EXPECT_NE(std::string::npos,
        text.find("succeeded 0 payload 0\nsetup failed an installation for the current user alone cannot write into "
                  "the Windows folder: <WIN>\\placement-sys.txt\n"))
        << text;
    EXPECT_EQ(before, Snapshot());
    EXPECT_FALSE(driver::KeyExists(HKEY_CURRENT_USER, kUninstallKey));
}

} // namespace

#else

TEST(Placement, NeedsTheDemoProduct)
{
    GTEST_SKIP() << "the placement fixture is made with the demo product's folder and keys";
}

#endif
