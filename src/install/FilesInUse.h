// What the setup does about installed files that programs hold open, decided
// from the way it runs and the answers given. Portable: no Win32.
#pragma once

#include <cstdint>

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

} // namespace install
