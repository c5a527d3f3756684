// Runs cut off as a power cut, a kill or a deployment tool's timeout cuts
// them, on the real platform: the tests' setup.exe and uninstall.exe end
// themselves right before their N-th change of the machine (YNB_TEST_CUT),
// or are killed from outside at a random moment; then setup.exe recovers and
// stops (YNB_TEST_RECOVER_ONLY). What the machine holds then must be exactly
// the version before the run or exactly the one it was making (files byte
// for byte, the entry, nothing of the transaction left); and a whole run
// after it ends with the new version. The model of a disk that loses what was
// not flushed (tests/core/TransactionTest.cpp) cuts at every change; here a
// sample of them, through the real engine.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <map>
#include <random>

#include "InstallFixture.h"
#include "package/Sha256.h"

namespace {

using driver::Exists;
using driver::ReadBytes;

constexpr DWORD kCut = 99; // the seam's exit code
constexpr DWORD kRecovered = 98;

class Cut : public install_fixture::InstallFixture {
protected:
    // Everything the product touches: the trees of the base folder, the
    // desktop and the documents (file bytes as digests, attributes; a
    // shortcut's bytes hold the times of its making: only that it is there),
    // the uninstall entry's values and the journals' key.
    std::string Machine() const
    {
        std::string text;
        const auto tree = [&text](const std::wstring& root, const std::wstring& label) {
            driver::ForEachBelow(root, [&](const std::wstring& path, const WIN32_FIND_DATAW& data) {
                text += driver::Narrow(label + path);
                if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    text += "\\\n";
                    return;
                }
                if (path.size() > 4 && path.compare(path.size() - 4, 4, L".lnk") == 0) {
                    text += "\n";
                    return;
                }
                const std::string bytes = ReadBytes(root + L"\\" + path);
                unsigned char digest[kSha256Size];
                Sha256::Hash(bytes.data(), bytes.size(), digest);
                char line[32];
                std::snprintf(line, sizeof line, " %02x%02x%02x%02x %lx\n", digest[0], digest[1], digest[2], digest[3],
                    data.dwFileAttributes & 0x7);
                text += line;
            });
        };
        tree(base, L"<base>\\");
        tree(desktop, L"<desktop>\\");
        tree(documents, L"<documents>\\");
        text += Exists(programs + link) ? "the Start menu's shortcut\n" : "";
        for (const char* value : { "DisplayName", "DisplayVersion", "UninstallString", "InstallLocation" })
            text += std::string(value) + "=" + RegistryText(value) + "\n";
        text += driver::KeyExists(HKEY_LOCAL_MACHINE, "Software\\ynbsetup") ? "a journal's key\n" : "";
        return text;
    }

    // setup.exe of a distribution (the demo's, or the earlier version's
    // payload) from a program folder of its own, silently into base.
    DWORD SetUp(const std::wstring& payloadDist, const wchar_t* seam = nullptr, const wchar_t* value = nullptr,
        DWORD killAfter = 0)
    {
        SetEnvironmentVariableW(L"YNB_TEST_CUT", seam != nullptr && std::wstring(seam) == L"cut" ? value : nullptr);
        SetEnvironmentVariableW(
            L"YNB_TEST_RECOVER_ONLY", seam != nullptr && std::wstring(seam) == L"recover" ? L"1" : nullptr);
        setup = std::make_unique<driver::Setup>(driver::HostPath(YNB_SETUP_EXE), dist, root + L"\\program", true, true);
        if (!setup->Start(payloadDist + L"\\data00.dat", L"/S /NOSTARTMENU /D=" + base))
            return STILL_ACTIVE;
        if (killAfter > 0 && WaitForSingleObject(setup->Process(), killAfter) == WAIT_TIMEOUT)
            TerminateProcess(setup->Process(), kCut);
        const DWORD code = setup->WaitExit(60000);
        SetEnvironmentVariableW(L"YNB_TEST_CUT", nullptr);
        SetEnvironmentVariableW(L"YNB_TEST_RECOVER_ONLY", nullptr);
        return code;
    }

    DWORD Uninstall(const wchar_t* cutAt)
    {
        SetEnvironmentVariableW(L"YNB_TEST_CUT", cutAt);
        const DWORD code = driver::RunCommand(L"\"" + base + L"\\Hanamaru\\uninstall.exe\" /S");
        SetEnvironmentVariableW(L"YNB_TEST_CUT", nullptr);
        // The removal copy ends after the program that started it, and holds
        // the product's lock until then.
        EXPECT_TRUE(driver::WaitFor([] {
            HANDLE lock = OpenMutexW(SYNCHRONIZE, FALSE, L"Global\\YnbSetup-Hanamaru");
            if (lock != nullptr)
                CloseHandle(lock);
            return lock == nullptr;
        }));
        return code;
    }

    void Fresh()
    {
        Clean();
        ASSERT_TRUE(CreateDirectoryW(root.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW(base.c_str(), nullptr));
    }

    // Cuts `run` at the changes of `cuts` in turn until one completes: after
    // each, the recovery leaves `before` or `after`, and a whole setup then
    // `after`. `prepare` makes the machine `before` again.
    void CutEverywhere(const char* name, const std::function<void()>& prepare,
        const std::function<DWORD(const std::wstring& cutAt)>& run, const std::string& before, const std::string& after,
        const std::function<void()>& finish)
    {
        int cuts = 0;
        int exact = 0;
        for (int n = 1;; n += n < 8 ? 1 : 3) {
            prepare();
            const DWORD code = run(std::to_wstring(n));
            if (code == 0)
                break; // past the last change
            ++cuts;
            EXPECT_EQ(kRecovered, SetUp(dist, L"recover")) << name << " cut at change " << n << " ended " << code;
            const std::string now = Machine();
            if (now == before || now == after)
                ++exact;
            else
                ADD_FAILURE() << name << ", cut at change " << n << ": neither version\n" << now;
            finish();
            EXPECT_EQ(after, Machine()) << name << ", cut at change " << n << ", then run whole";
        }
        std::printf("%s: %d runs cut, %d recovered exactly\n", name, cuts, exact);
        EXPECT_GT(cuts, 5);
        EXPECT_EQ(cuts, exact);
    }

    const std::wstring earlier = driver::HostPath(YNB_UPGRADE_DIST);
};

// An upgrade from the earlier version (other files, a folder the new one
// lacks) to the demo product, cut at its changes and killed at random.
TEST_F(Cut, AnUpgradeCutAnywhereLeavesOneVersion)
{
    ASSERT_NO_FATAL_FAILURE(Fresh());
    ASSERT_EQ(0u, SetUp(earlier));
    const std::string before = Machine();
    ASSERT_EQ(0u, SetUp(dist));
    const std::string after = Machine();
    ASSERT_NE(before, after);
    const auto prepare = [&] {
        ASSERT_NO_FATAL_FAILURE(Fresh());
        ASSERT_EQ(0u, SetUp(earlier));
    };
    CutEverywhere(
        "upgrade", prepare, [&](const std::wstring& n) { return SetUp(dist, L"cut", n.c_str()); }, before, after,
        [&] { EXPECT_EQ(0u, SetUp(dist)); });

    // Killed from outside at a moment of its own.
    std::mt19937 random(20261211);
    const int rounds = std::getenv("YNB_CUT_ROUNDS") != nullptr ? std::atoi(std::getenv("YNB_CUT_ROUNDS")) : 3;
    for (int round = 0; round < rounds; ++round) {
        prepare();
        const DWORD after_ms = 20 + random() % 400;
        (void)SetUp(dist, nullptr, nullptr, after_ms);
        EXPECT_EQ(kRecovered, SetUp(dist, L"recover"));
        const std::string now = Machine();
        EXPECT_TRUE(now == before || now == after) << "killed after " << after_ms << " ms: neither version\n"
                                                   << now << "--- before:\n"
                                                   << before << "--- after:\n"
                                                   << after;
    }
}

// The wizard after a cut-off upgrade says on its first page that the earlier
// run was undone.
TEST_F(Cut, TheWizardSaysWhatItRecovered)
{
    ASSERT_NO_FATAL_FAILURE(Fresh());
    ASSERT_EQ(0u, SetUp(earlier));
    const std::string before = Machine();
    ASSERT_EQ(kCut, SetUp(dist, L"cut", L"10"));
    setup = std::make_unique<driver::Setup>(driver::HostPath(YNB_SETUP_EXE), dist, root + L"\\program", true, true);
    ASSERT_TRUE(setup->Start(dist + L"\\data00.dat"));
    ASSERT_NE(nullptr, setup->Wizard());
    EXPECT_TRUE(driver::WaitFor([&] {
        return driver::ChildWithText(setup->Page(), L"前回のセットアップは途中で終わっていたため、元に戻しました。")
            != nullptr;
    }));
    driver::Screenshot(driver::ShotPath(driver::HostPath(YNB_ARTIFACTS), L"recovered-on-the-first-page"));
    setup.reset();
    EXPECT_EQ(before, Machine());
}

// An uninstallation cut at its changes: the product whole, or nothing of it.
TEST_F(Cut, AnUninstallationCutAnywhereLeavesTheProductOrNothing)
{
    const auto prepare = [&] {
        ASSERT_NO_FATAL_FAILURE(Fresh());
        ASSERT_EQ(0u, SetUp(dist));
    };
    prepare();
    const std::string before = Machine();
    ASSERT_EQ(0u, Uninstall(nullptr));
    const std::string after = Machine();
    ASSERT_NE(before, after);
    CutEverywhere(
        "uninstallation", prepare, [&](const std::wstring& n) { return Uninstall(n.c_str()); }, before, after,
        [&] {
            if (Exists(base + L"\\Hanamaru\\uninstall.exe")) {
                EXPECT_EQ(0u, Uninstall(nullptr));
            }
        });
}

} // namespace
