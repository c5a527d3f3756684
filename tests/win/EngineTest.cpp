// The installation engine on its own: linked without the wizard and the
// application, it installs the demo product's distribution through a sink
// that records what it was told and asked.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "InstallFixture.h"
#include "config/ProductData.h"
#include "install/InstallEngine.h"
#include "package/ClsYnb.h"
#include "package/PayloadBlocks.h"
#include "sys/ClsRegist.h"
#include "sys/Names.h"
#include "sys/Text.h"
#include "sys/Win32.h"

#ifdef YNB_INSTALL_DIST

namespace {

using install::Phase;
using namespace install_fixture;

struct Recording {
    std::vector<install::Progress> steps;
    std::vector<install::CopyFailure> copyFailures;
    int setupFailures = 0;
    std::vector<std::string> failures;
    std::vector<uint32_t> pauses;
    std::string notes; // what the installation noted, for the messages of failures
    DWORD thread = GetCurrentThreadId();
    bool otherThread = false;

    install::InstallSink Sink(bool endOnFailure)
    {
        install::InstallSink sink;
        sink.progress = [this](const install::Progress& progress) {
            Note();
            steps.push_back(progress);
        };
        sink.copyFailed = [this](const install::CopyFailure& failure) {
            Note();
            copyFailures.push_back(failure);
        };
        sink.setupFailed = [this, endOnFailure](const install::InstallFailure& failure) {
            Note();
            ++setupFailures;
            failures.push_back(failure.detail);
            return endOnFailure;
        };
        sink.pump = [this] { Note(); };
        sink.note = [this](const std::string& text) { notes += text + "\n"; };
        sink.pause = [this](uint32_t milliseconds) { pauses.push_back(milliseconds); };
        if (inUse)
            sink.filesInUse
                = [this](const std::vector<std::string>& files, const std::vector<std::wstring>&, bool closeTried) {
                      heldFiles = files;
                      closeTries.push_back(closeTried);
                      return inUse(closeTried);
                  };
        return sink;
    }
    // The answer about files in use; left empty, the installation is silent.
    std::function<install::InUseAnswer(bool closeTried)> inUse;
    std::vector<std::string> heldFiles;
    std::vector<bool> closeTries;
    void Note() { otherThread = otherThread || GetCurrentThreadId() != thread; }
};

class Engine : public InstallFixture {
protected:
    void SetUp() override
    {
        InstallFixture::SetUp();
        program = root + L"\\program";
        ASSERT_TRUE(CreateDirectoryW(program.c_str(), nullptr));
        ASSERT_TRUE(ClsYnb().LoadSetupText(record));
        before = sys::CurrentDirectory();
    }
    void TearDown() override { InstallFixture::TearDown(); }

    // The payload of a distribution beside the program.
    void UsePayload(const char* dist = YNB_INSTALL_DIST)
    {
        ASSERT_TRUE(
            CopyFileW((driver::HostPath(dist) + L"\\data00.dat").c_str(), (program + L"\\data00.dat").c_str(), FALSE));
    }

    install::InstallOutcome Run(Recording& recording, bool endOnFailure = true, bool desktopShortcut = true,
        const install::ProductValues* given = nullptr)
    {
        const install::ProductValues product = given != nullptr ? *given : install::BuiltProduct(record);
        const install::InstallRequest request { .product = product,
            .folderText = sys::ToAnsi(base),
            .desktopShortcut = desktopShortcut,
            .startMenuEntry = false,
            .programDir = sys::ToAnsi(program) };
        install::InstallOutcome outcome = install::RunInstallation(request, recording.Sink(endOnFailure));
        EXPECT_EQ(before, sys::CurrentDirectory()) << "the engine changed the current folder";
        return outcome;
    }

    std::wstring program;
    std::string before;
    SetupRecord record;
};

TEST_F(Engine, InstallsTheDemoProductThroughARecordingSink)
{
    ASSERT_NO_FATAL_FAILURE(UsePayload());
    Recording recording;
    const install::InstallOutcome outcome = Run(recording);
    EXPECT_TRUE(outcome.succeeded);
    EXPECT_EQ(0, recording.setupFailures);
    EXPECT_TRUE(recording.copyFailures.empty());
    EXPECT_FALSE(recording.otherThread) << "the sink was called from another thread";

    // The phases in order, one step per manifest entry, each entry named.
    std::vector<Phase> phases;
    for (const install::Progress& step : recording.steps)
        if (phases.empty() || phases.back() != step.phase || step.phase == Phase::Placing)
            phases.push_back(step.phase);
    const std::vector<Phase> expected { Phase::Unpacking, Phase::Registering, Phase::Placing, Phase::Placing,
        Phase::Placing, Phase::Placing, Phase::Placing, Phase::Placing, Phase::Placing, Phase::Shortcuts, Phase::Log,
        Phase::Done };
    EXPECT_EQ(expected, phases);
    // One progress over every byte written, the extraction's and the copies'.
    std::vector<std::string> placed;
    uint64_t done = 0;
    for (const install::Progress& step : recording.steps)
        if (step.phase == Phase::Unpacking || step.phase == Phase::Placing) {
            EXPECT_EQ(outcome.plan.bytesToWrite, step.total);
            EXPECT_LE(done, step.done);
            done = step.done;
            if (step.phase == Phase::Placing)
                placed.push_back(step.item);
        }
    EXPECT_EQ(outcome.plan.bytesToWrite, done);
    EXPECT_EQ("hanamaru_guide.txt", placed.front());
    EXPECT_EQ("ynb\\", placed.back());
    // Paced for whoever watches: after each entry and after the log.
    EXPECT_EQ(std::vector<uint32_t>(8, 500), recording.pauses);

    // What the choices and the product made of the machine.
    const std::wstring install = base + L"\\Hanamaru";
    EXPECT_EQ(install::PlanMode::Direct, outcome.plan.mode) << outcome.plan.why;
    EXPECT_EQ(sys::ToAnsi(base), outcome.baseFolder);
    EXPECT_EQ(sys::ToAnsi(base + L"\\Hanamaru\\ynb"), outcome.logFolder);
    EXPECT_TRUE(Exists(install + L"\\kakeibo.exe"));
    EXPECT_TRUE(Exists(install + L"\\uninstall.exe"));
    EXPECT_FALSE(Exists(install + L"\\ins"));
    EXPECT_TRUE(Exists(install + L"\\ynb\\instdir.dat"));
    EXPECT_TRUE(Exists(desktop + L"\\" + kProductName + L".lnk"));
    EXPECT_FALSE(Exists(programs + L"\\" + kProductName + L".lnk"));
    EXPECT_EQ(sys::ToAnsi(kProductName), RegistryText("DisplayName"));
}

// A relative folder text is taken from the program's folder, and so is
// everything built on it: the payload, the entries' targets and the log.
TEST_F(Engine, RelativeFolderTextInstallsBelowTheProgramsFolder)
{
    ASSERT_NO_FATAL_FAILURE(UsePayload());
    Recording recording;
    const install::ProductValues product = install::BuiltProduct(record);
    const install::InstallRequest request {
        .product = product, .folderText = "rel", .programDir = sys::ToAnsi(program)
    };
    const install::InstallOutcome outcome = install::RunInstallation(request, recording.Sink(true));
    EXPECT_TRUE(outcome.succeeded);
    EXPECT_TRUE(recording.copyFailures.empty());
    const std::wstring install = program + L"\\rel\\Hanamaru";
    EXPECT_TRUE(Exists(install + L"\\kakeibo.exe"));
    EXPECT_FALSE(Exists(install + L"\\ins"));
    EXPECT_EQ(sys::ToAnsi(install + L"\\ynb"), outcome.logFolder);
    EXPECT_TRUE(Exists(install + L"\\ynb\\instdir.dat"));
    EXPECT_EQ("rel\\Hanamaru", RegistryText("InstallLocation")); // the entry holds the text as formed
    EXPECT_EQ(before, sys::CurrentDirectory());
    driver::RemoveTree(program + L"\\rel");
}

// Set up again over itself: what the earlier log names and this
// installation does not place goes (a file left in a folder the log names,
// the shortcut no longer chosen); what the log never named stays.
TEST_F(Engine, SetUpAgainRemovesWhatOnlyTheEarlierInstallationPlaced)
{
    ASSERT_NO_FATAL_FAILURE(UsePayload());
    Recording first;
    ASSERT_TRUE(Run(first).succeeded);
    const std::wstring install = base + L"\\Hanamaru";
    const std::wstring link = desktop + L"\\" + kProductName + L".lnk";
    ASSERT_TRUE(Exists(link));
    ASSERT_TRUE(driver::WriteBytes(install + L"\\ynb\\stale.txt", "only the earlier version's"));
    ASSERT_TRUE(driver::WriteBytes(install + L"\\mine.txt", "never in the log"));
    Recording again;
    ASSERT_TRUE(Run(again, true, false).succeeded);
    EXPECT_FALSE(Exists(install + L"\\ynb\\stale.txt"));
    EXPECT_FALSE(Exists(link));
    EXPECT_TRUE(Exists(install + L"\\ynb\\instdir.dat"));
    EXPECT_TRUE(Exists(install + L"\\kakeibo.exe"));
    EXPECT_TRUE(Exists(desktop + L"\\hanamaru_guide.txt"));
    EXPECT_EQ("never in the log", driver::ReadBytes(install + L"\\mine.txt"));
    EXPECT_TRUE(again.copyFailures.empty());
}

// Version 1, then version 2 over it in the same folder: no file of version 1
// that version 2 does not place stays (in the install folder and in the
// documents), its program is version 2's, and the entry and the log are
// version 2's alone.
TEST_F(Engine, AnUpgradeLeavesNothingOfTheEarlierVersionItDoesNotHave)
{
    ASSERT_NO_FATAL_FAILURE(UsePayload(YNB_UPGRADE_DIST));
    install::ProductValues first = install::BuiltProduct(record);
    first.displayVersion = "1.0";
    first.urlInfoAbout = "https://example.com/version1";
    Recording one;
    ASSERT_TRUE(Run(one, true, true, &first).succeeded);
    const std::wstring install = base + L"\\Hanamaru";
    ASSERT_EQ("version 1 of the program\n", driver::ReadBytes(install + L"\\kakeibo.exe"));
    ASSERT_TRUE(Exists(install + L"\\old\\sub\\b.txt"));
    ASSERT_TRUE(Exists(documents + L"\\old\\a.txt"));

    ASSERT_NO_FATAL_FAILURE(UsePayload());
    install::ProductValues second = install::BuiltProduct(record);
    second.displayVersion = "2.0";
    second.urlInfoAbout.clear();
    Recording two;
    const install::InstallOutcome outcome = Run(two, true, true, &second);
    ASSERT_TRUE(outcome.succeeded);
    EXPECT_FALSE(Exists(install + L"\\old")) << two.notes;
    EXPECT_FALSE(Exists(documents + L"\\old")) << two.notes;
    EXPECT_NE("1\n", driver::ReadBytes(install + L"\\ynb\\version.txt")); // both have it: version 2's
    EXPECT_NE("version 1 of the program\n", driver::ReadBytes(install + L"\\kakeibo.exe"));
    EXPECT_EQ("2.0", RegistryText("DisplayVersion"));
    EXPECT_EQ("<no value>", RegistryText("URLInfoAbout"));
    const std::string log = PlainLog(install + L"\\ynb\\instdir.dat");
    EXPECT_EQ(std::string::npos, log.find("old")) << log;
    EXPECT_NE(std::string::npos, log.find("kakeibo.exe")) << log;
}

// Every file below a folder with its bytes, and the desktop's guide: what a
// failed setup over an installation must leave as it was.
std::map<std::wstring, std::string> Snapshot(const std::wstring& base, const std::wstring& desktop)
{
    std::map<std::wstring, std::string> files;
    driver::ForEachBelow(base, [&](const std::wstring& path, const WIN32_FIND_DATAW& data) {
        files[path] = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? "<folder>"
                                                                              : driver::ReadBytes(base + L"\\" + path);
    });
    files[L"<desktop guide>"] = driver::ReadBytes(desktop + L"\\hanamaru_guide.txt");
    return files;
}

// A setup over the installed version that fails (a damaged payload, a file
// held by a program) leaves it byte for byte, its entry and its log too.
TEST_F(Engine, FailedSetupOverTheInstallationLeavesItAsItWas)
{
    const std::wstring dist = driver::HostPath(YNB_INSTALL_DIST) + L"\\data00.dat";
    ASSERT_TRUE(CopyFileW(dist.c_str(), (program + L"\\data00.dat").c_str(), FALSE));
    Recording first;
    ASSERT_TRUE(Run(first).succeeded);
    const std::wstring install = base + L"\\Hanamaru";
    // Every file differs (its time as installed): the setup must write them all.
    driver::ForEachBelow(install, [&](const std::wstring& path, const WIN32_FIND_DATAW& data) {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && path.rfind(L"ynb\\", 0) != 0)
            ASSERT_TRUE(driver::Damage(install + L"\\" + path, "changed since"));
    });
    const std::wstring held = install + L"\\kakeibo.exe";
    ASSERT_TRUE(ClsRegist().WriteString(sys::kUninstallRoot, uninstallKey, "DisplayVersion", "as installed"));
    const auto before = Snapshot(base, desktop);

    std::string payload = driver::ReadBytes(dist);
    auto* bytes = reinterpret_cast<unsigned char*>(payload.data());
    UnscramblePayloadBlocks(bytes, payload.size(), kPayloadKey);
    payload[payload.size() - 5000] ^= 0x5A;
    ScramblePayloadBlocks(bytes, payload.size(), kPayloadKey);
    ASSERT_TRUE(driver::WriteBytes(program + L"\\data00.dat", payload));
    Recording damaged;
    const install::InstallOutcome broken = Run(damaged, false);
    EXPECT_EQ(install::InstallStep::Payload, broken.failure.step);
    EXPECT_TRUE(before == Snapshot(base, desktop)) << "a damaged payload changed the installation";

    // Held by a program: asked to close it (which Wine's Restart Manager
    // only pretends to do), then cancelled.
    ASSERT_TRUE(CopyFileW(dist.c_str(), (program + L"\\data00.dat").c_str(), FALSE));
    HANDLE holder = CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    Recording cancelled;
    cancelled.inUse
        = [](bool closeTried) { return closeTried ? install::InUseAnswer::Cancel : install::InUseAnswer::Close; };
    const install::InstallOutcome refused = Run(cancelled, false);
    EXPECT_EQ(install::InstallStep::FilesInUse, refused.failure.step);
    EXPECT_EQ(32u, install::FailureExitCode(refused.failure));
    EXPECT_EQ(std::vector<std::string> { sys::ToAnsi(held) }, cancelled.heldFiles);
    EXPECT_EQ((std::vector<bool> { false, true }), cancelled.closeTries);
    CloseHandle(holder); // for the snapshot to read it
    EXPECT_TRUE(before == Snapshot(base, desktop)) << "a file in use changed the installation";
    EXPECT_EQ("as installed", RegistryText("DisplayVersion"));

    // The user closes the program and retries: the setup puts back what changed.
    holder = CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    Recording again;
    again.inUse = [&holder](bool) {
        CloseHandle(holder);
        holder = INVALID_HANDLE_VALUE;
        return install::InUseAnswer::Retry;
    };
    ASSERT_TRUE(Run(again).succeeded);
    if (holder != INVALID_HANDLE_VALUE)
        CloseHandle(holder);
    EXPECT_EQ(1u, again.closeTries.size());
    EXPECT_NE("changed since", driver::ReadBytes(install + L"\\readme.txt"));
    EXPECT_EQ(std::string(kDisplayVersion), RegistryText("DisplayVersion"));
    driver::ForEachBelow(base, [](const std::wstring& path, const WIN32_FIND_DATAW&) {
        EXPECT_EQ(std::wstring::npos, path.find(L"\\.ynb")) << "the transaction's folder stays: " << path;
    });
}

// Silently, a file a program holds gets its new version in the
// transaction's folder, which takes its place when Windows restarts; the rest
// is installed.
TEST_F(Engine, SilentlyAHeldFileIsReplacedAtTheRestart)
{
    ASSERT_NO_FATAL_FAILURE(UsePayload());
    Recording first;
    ASSERT_TRUE(Run(first).succeeded);
    const std::wstring held = base + L"\\Hanamaru\\kakeibo.exe";
    const std::string installed = driver::ReadBytes(held);
    const std::string earlier = installed + "earlier build";
    ASSERT_TRUE(driver::WriteBytes(held, earlier));
    ASSERT_TRUE(driver::Damage(base + L"\\Hanamaru\\readme.txt", "changed since"));
    HANDLE holder = CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    // And the guide on the desktop, which is copied after the extraction.
    const std::wstring guide = desktop + L"\\hanamaru_guide.txt";
    const std::string guideBytes = driver::ReadBytes(guide);
    ASSERT_TRUE(driver::Damage(guide, "damaged"));
    HANDLE reader = CreateFileW(guide.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    Recording silent;
    const install::InstallOutcome outcome = Run(silent);
    CloseHandle(holder);
    CloseHandle(reader);
    ASSERT_TRUE(outcome.succeeded) << silent.notes;
    EXPECT_EQ((std::vector<std::string> { sys::ToAnsi(held), sys::ToAnsi(guide) }), outcome.replacedAtRestart);
    EXPECT_TRUE(silent.copyFailures.empty());
    const std::wstring operations = driver::TakePendingRenames();
    const std::wstring heldNew = driver::PendingSourceFor(operations, held);
    const std::wstring guideNew = driver::PendingSourceFor(operations, guide);
    EXPECT_EQ(0u, heldNew.rfind(base + L"\\Hanamaru\\.ynb", 0)) << sys::ToAnsi(operations.c_str());
    EXPECT_EQ(0u, guideNew.rfind(base + L"\\Hanamaru\\.ynb", 0)) << sys::ToAnsi(operations.c_str());
    EXPECT_EQ(guideBytes, driver::ReadBytes(guideNew));
    EXPECT_EQ("damaged", driver::ReadBytes(guide));
    EXPECT_EQ(earlier, driver::ReadBytes(held));
    EXPECT_EQ(installed, driver::ReadBytes(heldNew));
    EXPECT_NE("changed since", driver::ReadBytes(base + L"\\Hanamaru\\readme.txt"));
}

// A folder entry that lost a file is that entry's failed copy, with the
// file and its error; the rest of its tree and the other entries are placed.
TEST_F(Engine, FolderCopyThatLostAFileIsThatEntrysFailure)
{
    ASSERT_NO_FATAL_FAILURE(UsePayload());
    const std::wstring data = documents + L"\\HanamaruData";
    ASSERT_TRUE(CreateDirectoryW(data.c_str(), nullptr));
    // A folder of the user's where the copy puts a file: the machine decides.
    ASSERT_TRUE(CreateDirectoryW((data + L"\\sample.csv").c_str(), nullptr));
    ASSERT_TRUE(driver::WriteBytes(data + L"\\sample.csv\\mine.txt", "the user's"));
    Recording recording;
    const install::InstallOutcome outcome = Run(recording);
    EXPECT_TRUE(outcome.succeeded);
    EXPECT_EQ(install::PlanMode::Staged, outcome.plan.mode);
    ASSERT_EQ(1u, recording.copyFailures.size());
    const install::CopyFailure& failure = recording.copyFailures[0];
    EXPECT_EQ(sys::ToAnsi(data) + "\\", failure.target);
    EXPECT_EQ(sys::ToAnsi(data + L"\\sample.csv"), failure.path);
    EXPECT_EQ(static_cast<uint32_t>(ERROR_ACCESS_DENIED), failure.error);
    EXPECT_EQ("the user's", driver::ReadBytes(data + L"\\sample.csv\\mine.txt"));
    EXPECT_TRUE(Exists(data + L"\\readme.txt"));
    EXPECT_TRUE(Exists(base + L"\\Hanamaru\\ynb\\instdir.dat"));
}

// No payload: the failure is asked once and answered "stay"; nothing is
// installed.
TEST_F(Engine, MissingPayloadAsksOnceAndInstallsNothing)
{
    Recording recording;
    const install::InstallOutcome outcome = Run(recording, false);
    EXPECT_FALSE(outcome.succeeded);
    EXPECT_EQ(install::InstallStep::Payload, outcome.failure.step);
    EXPECT_FALSE(outcome.ending);
    EXPECT_EQ(1, recording.setupFailures);
    EXPECT_TRUE(outcome.baseFolder.empty());
    EXPECT_FALSE(Exists(base + L"\\Hanamaru"));
    EXPECT_EQ("<no key>", RegistryText("DisplayName"));
    EXPECT_FALSE(Exists(desktop + L"\\" + kProductName + L".lnk"));
}

// A payload damaged where its last file lies: the failure is asked once,
// what was placed before it is taken away again, and a file of the user's
// that an entry replaces is still the user's.
TEST_F(Engine, DamagedPayloadFailsAndLeavesTheMachineAsItWas)
{
    std::string payload = driver::ReadBytes(driver::HostPath(YNB_INSTALL_DIST) + L"\\data00.dat");
    auto* bytes = reinterpret_cast<unsigned char*>(payload.data());
    UnscramblePayloadBlocks(bytes, payload.size(), kPayloadKey);
    payload[payload.size() - 5000] ^= 0x5A;
    ScramblePayloadBlocks(bytes, payload.size(), kPayloadKey);
    ASSERT_TRUE(driver::WriteBytes(program + L"\\data00.dat", payload));
    const std::wstring guide = desktop + L"\\hanamaru_guide.txt";
    for (const bool users : { false, true }) {
        SCOPED_TRACE(users ? "the user's guide on the desktop" : "no guide on the desktop");
        if (users) {
            ASSERT_TRUE(driver::WriteBytes(guide, "the user's"));
        }
        Recording recording;
        const install::InstallOutcome outcome = Run(recording, false);
        EXPECT_FALSE(outcome.succeeded);
        EXPECT_EQ(install::InstallStep::Payload, outcome.failure.step);
        ASSERT_EQ(1u, recording.failures.size());
        EXPECT_NE(std::string::npos, recording.failures[0].find("uninstall.exe")) << recording.failures[0];
        EXPECT_TRUE(driver::Names(base).empty());
        EXPECT_EQ("<no key>", RegistryText("DisplayName"));
        EXPECT_FALSE(Exists(desktop + L"\\" + kProductName + L".lnk"));
        EXPECT_EQ(users ? "the user's" : "<none>", Exists(guide) ? driver::ReadBytes(guide) : "<none>");
    }
    DeleteFileW(guide.c_str());
}

} // namespace

#else

TEST(Engine, NeedsTheDemoProduct)
{
    GTEST_SKIP() << "the product builds no program of its own; the engine test needs the demo product";
}

#endif
