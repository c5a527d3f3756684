// A run of the product that a power cut, a kill or a tool's timeout left
// unfinished is finished or undone before anything else (install/Transaction.h),
// by setup.exe and uninstall.exe alike, right after they take the product's
// lock.
#pragma once

#include <cstdint>
#include <string>

#include "config/SetupRecord.h"
#include "sys/LogFile.h"

namespace app {

struct RecoveryResult {
    bool proceed = true; // else the run ends with `code`
    uint32_t code = 0;
    std::wstring text; // one line for the user: what was recovered, or why the run cannot go on
};

// The machine's unfinished run is taken only with administrator rights
// (`machineRights`); without them it refuses the run. The user's own is
// always taken. /LOG= says what became of each.
RecoveryResult RecoverUnfinished(const SetupRecord& record, bool machineRights, sys::LogFile& log);

} // namespace app
