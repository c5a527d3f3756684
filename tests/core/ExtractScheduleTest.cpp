#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/ExtractSchedule.h"

using namespace package;

namespace {

struct File {
    const char* name;
    uint32_t size;
    uint16_t folder;
};

// A table of `folders` cabinet folders holding the files, and their output
// paths below D:\dest\.
struct Case {
    Case(std::size_t folders, std::vector<File> files)
    {
        table.folders.resize(folders);
        for (const File& file : files) {
            table.files.push_back({ file.name, file.size, 0, file.folder, 0, 0, 0 });
            outputs.push_back(std::string("D:\\dest\\") + file.name);
        }
    }
    ExtractSchedule Schedule(int maxWorkers, int cores) const
    {
        return ScheduleExtraction(table, outputs, maxWorkers, cores, IsShiftJisLeadByte);
    }
    CabinetTable table;
    std::vector<std::string> outputs;
};

TEST(ExtractSchedule, TakesAsManyWorkersAsCoresFoldersAndTheLimitAllow)
{
    const Case three(3, { { "a", 10, 0 }, { "b", 10, 1 }, { "c", 10, 2 } });
    EXPECT_EQ(2, three.Schedule(8, 2).workers);
    EXPECT_EQ(3, three.Schedule(8, 16).workers);
    EXPECT_EQ(1, three.Schedule(0, 16).workers);
    EXPECT_EQ(1, three.Schedule(8, 0).workers);
    Case twelve(12, {});
    for (uint16_t f = 0; f < 12; ++f) {
        twelve.table.files.push_back({ std::string(1, static_cast<char>('a' + f)), 1, 0, f, 0, 0, 0 });
        twelve.outputs.push_back(std::string("D:\\") + static_cast<char>('a' + f));
    }
    EXPECT_EQ(kMostExtractWorkers, twelve.Schedule(20, 64).workers);
    // A folder without files is nobody's work.
    const Case sparse(4, { { "a", 10, 0 }, { "b", 10, 3 } });
    EXPECT_EQ(2, sparse.Schedule(8, 8).workers);
}

// The largest first, each to the worker with the fewest bytes, then the
// fewest folders: empty folders too reach a worker of their own.
TEST(ExtractSchedule, SpreadsTheFoldersByTheirBytes)
{
    const Case sizes(4, { { "a", 100, 0 }, { "b", 50, 1 }, { "c", 40, 2 }, { "d", 30, 3 } });
    EXPECT_EQ((std::vector<int> { 0, 1, 1, 1 }), sizes.Schedule(2, 2).owner);
    const Case empty(3, { { "a", 0, 0 }, { "b", 0, 1 }, { "c", 0, 2 } });
    EXPECT_EQ((std::vector<int> { 0, 1, 2 }), empty.Schedule(3, 3).owner);
}

// Names the same but for the case of ASCII letters write one file: their
// folders go to one worker, the last of them is kept, and its bytes alone
// count; a Shift-JIS trail byte is no letter.
TEST(ExtractSchedule, GivesTheFilesOfOneOutputToOneWorker)
{
    const Case twice(4,
        { { "Readme.txt", 100, 0 }, { "big.bin", 500, 1 }, { "README.TXT", 7, 2 }, { "readme.TXT", 9, 3 },
            { "\x83\x61.txt", 1, 1 }, { "\x83\x41.txt", 1, 3 } });
    const ExtractSchedule schedule = twice.Schedule(8, 8);
    EXPECT_EQ(2, schedule.workers);
    EXPECT_EQ(schedule.owner[0], schedule.owner[2]);
    EXPECT_EQ(schedule.owner[0], schedule.owner[3]);
    EXPECT_NE(schedule.owner[0], schedule.owner[1]);
    EXPECT_EQ((std::vector<int> { -1, -1, 0, 2, -1, -1 }), schedule.earlier);
    EXPECT_EQ((std::vector<bool> { false, true, false, true, true, true }), schedule.kept);
    EXPECT_EQ(500u + 9 + 1 + 1, schedule.keptSize);
}

} // namespace
