#include "package/ExtractSchedule.h"

#include <algorithm>
#include <map>
#include <numeric>
#include <utility>

#include "sys/PathWalk.h"

namespace package {

ExtractSchedule ScheduleExtraction(const CabinetTable& table, const std::vector<std::string>& outputs, int maxWorkers,
    int cores, const sys::CodePage& codePage)
{
    ExtractSchedule schedule;
    const std::size_t folderCount = table.folders.size();
    const std::size_t fileCount = std::min(table.files.size(), outputs.size());

    // Folders joined by a shared output path, as a union-find forest.
    std::vector<std::size_t> group(folderCount);
    std::iota(group.begin(), group.end(), 0);
    auto root = [&group](std::size_t f) {
        while (group[f] != f)
            f = group[f] = group[group[f]];
        return f;
    };
    schedule.earlier.assign(fileCount, -1);
    schedule.kept.assign(fileCount, true);
    std::map<std::string, std::size_t> lastWriter; // folded output -> file
    std::vector<uint64_t> groupBytes(folderCount, 0);
    std::vector<bool> used(folderCount, false);
    for (std::size_t i = 0; i < fileCount; ++i) {
        const std::size_t folder = table.files[i].folder;
        if (folder >= folderCount)
            return {}; // not a table ReadCabinetTable accepts
        if (outputs[i].empty()) {
            schedule.kept[i] = false; // not written: no worker needs it
            continue;
        }
        used[folder] = true;
        const auto [at, inserted] = lastWriter.emplace(sys::PathKey(outputs[i], codePage), i);
        if (!inserted) {
            schedule.earlier[i] = static_cast<int>(at->second);
            schedule.kept[at->second] = false;
            group[root(folder)] = root(table.files[at->second].folder);
            at->second = i;
        }
    }
    for (std::size_t i = 0; i < fileCount; ++i) {
        if (outputs[i].empty())
            continue;
        groupBytes[table.files[i].folder] += table.files[i].size;
        if (schedule.kept[i])
            schedule.keptSize += table.files[i].size;
    }
    for (std::size_t f = 0; f < folderCount; ++f) {
        const std::size_t r = root(f);
        if (r != f) {
            groupBytes[r] += groupBytes[f];
            used[r] = used[r] || used[f];
        }
    }
    std::vector<std::pair<uint64_t, std::size_t>> groups; // bytes, root
    for (std::size_t f = 0; f < folderCount; ++f)
        if (root(f) == f && used[f])
            groups.emplace_back(groupBytes[f], f);
    // Largest first; equal ones in folder order, so that the result repeats.
    std::stable_sort(groups.begin(), groups.end(), [](const auto& a, const auto& b) { return a.first > b.first; });

    schedule.workers = std::min({ std::max(cores, 1), std::clamp(maxWorkers, 1, kMostExtractWorkers),
        std::max(static_cast<int>(groups.size()), 1) });
    std::vector<std::pair<uint64_t, std::size_t>> load(static_cast<std::size_t>(schedule.workers)); // bytes, groups
    std::vector<int> ownerOfRoot(folderCount, 0);
    for (const auto& [bytes, first] : groups) {
        const auto lightest = static_cast<int>(std::min_element(load.begin(), load.end()) - load.begin());
        ownerOfRoot[first] = lightest;
        load[static_cast<std::size_t>(lightest)].first += bytes;
        ++load[static_cast<std::size_t>(lightest)].second;
    }
    schedule.owner.assign(folderCount, 0);
    for (std::size_t f = 0; f < folderCount; ++f)
        schedule.owner[f] = ownerOfRoot[root(f)];
    return schedule;
}

} // namespace package
