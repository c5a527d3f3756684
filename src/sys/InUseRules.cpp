#include "sys/InUseRules.h"

#include <algorithm>

namespace sys {

Probe JudgeProbe(uint32_t error)
{
    switch (error) {
    case 0:
        return Probe::Free;
    case 32: // ERROR_SHARING_VIOLATION: open without the sharing asked for, or an image
    case 33: // ERROR_LOCK_VIOLATION
        return Probe::Held;
    case 2: // ERROR_FILE_NOT_FOUND
    case 3: // ERROR_PATH_NOT_FOUND
        return Probe::Missing;
    default:
        return Probe::Other;
    }
}

std::vector<std::wstring> ProgramsToName(const std::vector<Holder>& holders, const std::vector<uint32_t>& ours)
{
    std::vector<std::wstring> names;
    for (const Holder& holder : holders) {
        if (std::find(ours.begin(), ours.end(), holder.processId) != ours.end() || holder.name.empty())
            continue;
        if (std::find(names.begin(), names.end(), holder.name) == names.end())
            names.push_back(holder.name);
    }
    return names;
}

} // namespace sys
