// Any bytes as a table of folders and files with short names: every folder
// with files has a worker within the count, every worker has work, the
// files of one output share their worker, and each output is kept once.
#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "package/ExtractSchedule.h"
#include "sys/PathWalk.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    // Two bytes of limits, then 3 bytes a file: folder, size, name (from a
    // few letters of either case and a Shift-JIS lead byte).
    const int maxWorkers = data[0] % 12 - 1;
    const int cores = data[1] % 12;
    const std::size_t folders = 1 + data[2] % 16;
    CabinetTable table;
    table.folders.resize(folders);
    std::vector<std::string> outputs;
    static const char kBytes[] = "aAbB\x83\\";
    for (std::size_t at = 3; at + 3 <= size; at += 3) {
        std::string name;
        for (int bit = 0; bit < 8; bit += 3)
            name += kBytes[(data[at + 2] >> bit) % 6];
        table.files.push_back({ name, data[at + 1] * 1000u, 0, static_cast<uint16_t>(data[at] % folders), 0, 0, 0 });
        outputs.push_back("C:\\" + name);
    }
    const package::ExtractSchedule schedule
        = package::ScheduleExtraction(table, outputs, maxWorkers, cores, IsShiftJisLeadByte);

    Check(schedule.workers >= 1 && schedule.workers <= package::kMostExtractWorkers
        && schedule.workers <= std::max(cores, 1) && schedule.workers <= std::max(maxWorkers, 1));
    Check(schedule.owner.size() == folders && schedule.earlier.size() == table.files.size()
        && schedule.kept.size() == table.files.size());
    std::vector<int> work(static_cast<std::size_t>(schedule.workers), 0);
    std::map<std::string, int> keptOf;
    uint64_t kept = 0;
    for (std::size_t i = 0; i < table.files.size(); ++i) {
        const int owner = schedule.owner[table.files[i].folder];
        Check(owner >= 0 && owner < schedule.workers);
        ++work[static_cast<std::size_t>(owner)];
        const int earlier = schedule.earlier[i];
        if (earlier >= 0) {
            Check(earlier < static_cast<int>(i) && !schedule.kept[static_cast<std::size_t>(earlier)]);
            Check(sys::PathKey(outputs[i], IsShiftJisLeadByte)
                == sys::PathKey(outputs[static_cast<std::size_t>(earlier)], IsShiftJisLeadByte));
            Check(schedule.owner[table.files[static_cast<std::size_t>(earlier)].folder] == owner);
        }
        if (schedule.kept[i]) {
            Check(++keptOf[sys::PathKey(outputs[i], IsShiftJisLeadByte)] == 1);
            kept += table.files[i].size;
        }
    }
    Check(kept == schedule.keptSize);
    if (!table.files.empty())
        for (int count : work)
            Check(count > 0);
    return 0;
}
