#include "install/FilesInUse.h"

namespace install {

InUseAction DecideInUse(const InUseSituation& situation)
{
    if (situation.asked) {
        switch (situation.answer) {
        case InUseAnswer::Retry:
            return InUseAction::CheckAgain;
        case InUseAnswer::Close:
            return InUseAction::CloseThenCheck;
        case InUseAnswer::Cancel:
            return InUseAction::Cancel;
        }
        return InUseAction::Cancel;
    }
    // Silently: closed once when asked to, never a mix of versions.
    if (situation.closeApplications && !situation.closeTried)
        return InUseAction::CloseThenCheck;
    return situation.restartAllowed ? InUseAction::ReplaceAtRestart : InUseAction::Cancel;
}

InUseOutcome SettleInUse(InUse now, bool closeApplications, const InUseSteps& steps, bool restartAllowed)
{
    InUseOutcome outcome;
    while (now.Any()) {
        if (steps.seen)
            steps.seen(now);
        InUseSituation situation;
        situation.asked = static_cast<bool>(steps.ask);
        situation.closeApplications = closeApplications;
        situation.closeTried = outcome.closeTried;
        situation.restartAllowed = restartAllowed;
        if (situation.asked)
            situation.answer = steps.ask(now, outcome.closeTried);
        switch (DecideInUse(situation)) {
        case InUseAction::CheckAgain:
            break;
        case InUseAction::CloseThenCheck: {
            const bool closed = steps.close && steps.close();
            if (steps.closed)
                steps.closed(closed);
            outcome.closeTried = true;
            break;
        }
        case InUseAction::Cancel:
            outcome.cancelled = true;
            return outcome;
        case InUseAction::ReplaceAtRestart:
            outcome.atRestart = now.held;
            return outcome;
        }
        now = steps.look ? steps.look(now.held) : InUse {};
    }
    return outcome;
}

} // namespace install
