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

} // namespace install
