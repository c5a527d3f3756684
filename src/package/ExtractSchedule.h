// Which worker thread extracts which cabinet folders, and which files write
// the same output, decided from the cabinet's table and the output paths
// before anything is written. Portable: no Win32.
//
// Two files whose output paths are the same path (sys/PathWalk.h) write one
// file: their folders go to one worker, which
// extracts them in the table's order, so that the later file's bytes are the
// ones that stay and no two threads ever write one file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "package/CabinetTable.h"
#include "sys/PathWalk.h"

namespace package {

constexpr int kMostExtractWorkers = 8;

struct ExtractSchedule {
    int workers = 0; // threads to start, 1 or more for a table with files
    std::vector<int> owner; // per cabinet folder: the worker that extracts it
    // Per file: the last earlier file with the same output path, or -1.
    std::vector<int> earlier;
    // Per file: no later file has its output path (its bytes stay).
    std::vector<bool> kept;
    uint64_t keptSize = 0; // the bytes of the kept files
};

// outputs holds one path per file of the table; an empty one is not written
// (its folder needs no worker unless another file of it is). The cabinet folders that
// share an output path form one group; the groups are spread over
// min(cores, maxWorkers clamped to 1..8, groups) workers by their bytes, the
// largest first, each to the worker with the fewest bytes (then the fewest
// groups), so that every worker gets at least one group.
ExtractSchedule ScheduleExtraction(const CabinetTable& table, const std::vector<std::string>& outputs, int maxWorkers,
    int cores, const sys::CodePage& codePage);

} // namespace package
