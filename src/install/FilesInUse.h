// What the setup does about installed files that programs hold open, decided
// from the way it runs and the answers given. Portable: no Win32.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace install {

// The wizard's answer to its question about the programs holding files.
enum class InUseAnswer : uint8_t {
    Retry, // the user closed them: check again
    Close, // ask them to close (Restart Manager), then check again
    Cancel, // nothing is changed
};

enum class InUseAction : uint8_t {
    CheckAgain,
    CloseThenCheck,
    Cancel,
    // Each held file's new version is written beside it and takes its place
    // when Windows restarts (exit code 3010).
    ReplaceAtRestart,
};

struct InUseSituation {
    bool asked = false; // a person answers (the wizard), else the setup runs silently
    InUseAnswer answer = InUseAnswer::Retry; // when asked
    bool closeApplications = false; // silently: /CLOSEAPPLICATIONS
    bool closeTried = false; // the programs were asked to close, and files are still held
    // Work may be left for the restart: a user's own installation may not
    // (Windows carries it out only for administrators), and then cancels.
    bool restartAllowed = true;
};

InUseAction DecideInUse(const InUseSituation& situation);

// What is in use now: the files programs hold (ANSI paths) and the programs
// Restart Manager names for any file of the run.
struct InUse {
    std::vector<std::string> held;
    std::vector<std::wstring> programs;
    bool Any() const { return !held.empty() || !programs.empty(); }
};

// How the run looks, asks and closes, each given by its caller.
struct InUseSteps {
    // Looks again: the files of `held` still held, and the programs named now.
    std::function<InUse(const std::vector<std::string>& held)> look;
    // The person's answer (with the files, the programs, and whether they
    // were asked to close already); left empty, the run is silent.
    std::function<InUseAnswer(const InUse& now, bool closeTried)> ask;
    // Asks the programs to close; true when the system says they did.
    std::function<bool()> close;
    // For the log: what is in use at each turn, and each request to close.
    std::function<void(const InUse& now)> seen;
    std::function<void(bool closed)> closed;
};

struct InUseOutcome {
    bool cancelled = false; // the user cancelled: nothing may be changed (exit code 32)
    std::vector<std::string> atRestart; // still held: replaced or removed when Windows restarts
    bool closeTried = false; // the programs were asked to close (to be started again afterwards)
};

// From what is in use at first until nothing is, or the user cancels, or
// (silently) what stays held is left to the restart: each turn tells what is
// in use, asks or decides (DecideInUse), closes when that is the decision,
// and looks again. Programs named for files nobody holds keep the question
// up until they are closed; silently they are left running. Without
// `restartAllowed` (a user's own run) what stays held cancels instead.
InUseOutcome SettleInUse(InUse now, bool closeApplications, const InUseSteps& steps, bool restartAllowed = true);

} // namespace install
