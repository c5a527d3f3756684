// Which files programs hold and which programs a question names, from
// Windows' answers given as data: the error of opening a file for writing,
// and the processes Restart Manager lists.
#include <gtest/gtest.h>

#include "install/FilesInUse.h"
#include "sys/InUseRules.h"

using sys::Probe;

TEST(InUseRules, AFileIsHeldWhenItCannotBeOpenedForWriting)
{
    EXPECT_EQ(Probe::Free, sys::JudgeProbe(0));
    EXPECT_EQ(Probe::Held, sys::JudgeProbe(32)); // a running image, a loaded module, an open without sharing
    EXPECT_EQ(Probe::Held, sys::JudgeProbe(33)); // a locked range
    EXPECT_EQ(Probe::Missing, sys::JudgeProbe(2));
    EXPECT_EQ(Probe::Missing, sys::JudgeProbe(3));
    EXPECT_EQ(Probe::Other, sys::JudgeProbe(5)); // read-only, or no right: the write itself reports it
    EXPECT_EQ(Probe::Other, sys::JudgeProbe(1920));
}

// Restart Manager lists every process using a registered file, this
// program and the one that started it among them when they run the
// uninstaller from the install folder; each other program is named once.
TEST(InUseRules, TheProgramsNamedAreOthersEachOnce)
{
    const std::vector<sys::Holder> listed = { { 100, L"はなまる家計簿" }, { 200, L"uninstall.exe" },
        { 101, L"はなまる家計簿" }, { 300, L"Explorer" }, { 400, L"" }, { 201, L"uninstall.exe" } };
    EXPECT_EQ(
        (std::vector<std::wstring> { L"はなまる家計簿", L"Explorer" }), sys::ProgramsToName(listed, { 200, 201 }));
    EXPECT_EQ((std::vector<std::wstring> { L"はなまる家計簿", L"uninstall.exe", L"Explorer" }),
        sys::ProgramsToName(listed, {}));
    EXPECT_TRUE(sys::ProgramsToName({}, { 1 }).empty());
    EXPECT_TRUE(sys::ProgramsToName({ { 7, L"setup.exe" } }, { 7 }).empty());
}

namespace {

using install::InUse;
using install::InUseAnswer;

// A run whose looks return `looks` in turn (then nothing in use), whose
// person gives `answers` in turn (none: silent), counting the requests to close.
struct Script {
    Script(std::vector<InUse> looksGiven, std::vector<InUseAnswer> answersGiven, bool silentGiven = false)
        : looks(std::move(looksGiven))
        , answers(std::move(answersGiven))
        , silent(silentGiven)
    {
    }
    std::vector<InUse> looks;
    std::vector<InUseAnswer> answers;
    bool silent = false;
    int asked = 0;
    int closed = 0;
    std::vector<std::vector<std::string>> lookedFor;

    install::InUseOutcome Run(InUse first, bool closeApplications = false, bool restartAllowed = true)
    {
        install::InUseSteps steps;
        std::size_t look = 0;
        steps.look = [this, &look](const std::vector<std::string>& held) {
            lookedFor.push_back(held);
            return look < looks.size() ? looks[look++] : InUse {};
        };
        if (!silent)
            steps.ask = [this](const InUse&, bool) { return answers.at(static_cast<std::size_t>(asked++)); };
        steps.close = [this] {
            ++closed;
            return true;
        };
        return install::SettleInUse(std::move(first), closeApplications, steps, restartAllowed);
    }
};

const InUse kProgramAlone { {}, { L"はなまる家計簿" } }; // Restart Manager names it, no file is held
const InUse kHeld { { "C:\\A\\kakeibo.exe" }, { L"はなまる家計簿" } };

} // namespace

// The loop over Restart Manager's answers and the probe's, given as data: a
// program it names keeps the question up until it is closed, whether or not a
// file is held; silently it is asked to close once with /CLOSEAPPLICATIONS,
// and what stays held goes at the restart.
TEST(SettleInUse, RestartManagersProgramsAreHandledAsHeldFiles)
{
    Script retry { { kProgramAlone, {} }, { InUseAnswer::Retry, InUseAnswer::Retry } };
    install::InUseOutcome outcome = retry.Run(kProgramAlone);
    EXPECT_EQ(2, retry.asked); // asked again while it runs, not after it ended
    EXPECT_FALSE(outcome.cancelled || outcome.closeTried);
    EXPECT_TRUE(outcome.atRestart.empty());

    Script close { {}, { InUseAnswer::Close } };
    outcome = close.Run(kHeld);
    EXPECT_EQ(1, close.closed);
    EXPECT_TRUE(outcome.closeTried && outcome.atRestart.empty());
    EXPECT_EQ(
        (std::vector<std::vector<std::string>> { kHeld.held }), close.lookedFor); // the held files looked at again

    Script cancel { {}, { InUseAnswer::Cancel } };
    EXPECT_TRUE(cancel.Run(kHeld).cancelled);
    EXPECT_EQ(0, cancel.closed);

    Script quiet { {}, {}, true };
    outcome = quiet.Run(kHeld);
    EXPECT_EQ((std::vector<std::string> { "C:\\A\\kakeibo.exe" }), outcome.atRestart);
    EXPECT_EQ(0, quiet.closed);
    outcome = quiet.Run(kProgramAlone); // nothing to replace: it keeps running
    EXPECT_TRUE(outcome.atRestart.empty() && !outcome.cancelled);

    Script closing { { kHeld }, {}, true };
    outcome = closing.Run(kHeld, true);
    EXPECT_EQ(1, closing.closed); // once, then the restart
    EXPECT_EQ(kHeld.held, outcome.atRestart);
    EXPECT_TRUE(outcome.closeTried);

    // A user's own run leaves nothing to the restart: what stays held cancels it.
    Script own { { kHeld }, {}, true };
    outcome = own.Run(kHeld, true, false);
    EXPECT_EQ(1, own.closed);
    EXPECT_TRUE(outcome.cancelled && outcome.atRestart.empty());

    Script idle { {}, {} };
    outcome = idle.Run({});
    EXPECT_EQ(0, idle.asked);
    EXPECT_TRUE(idle.lookedFor.empty());
}
