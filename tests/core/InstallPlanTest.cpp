#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "install/InstallPlan.h"

using namespace install;

namespace {

bool Desktop(char* out)
{
    return std::strcpy(out, "D:\\Users\\u\\Desktop"), true;
}
bool Documents(char* out)
{
    return std::strcpy(out, "D:\\Users\\u\\Documents"), true;
}
bool Windows(char* out)
{
    return std::strcpy(out, "C:\\windows"), true;
}

// A machine of folders and files, the payload of a product in
// C:\Apps\Tool, and a manifest: the plan of that installation.
struct Case {
    std::map<std::string, PathKind> machine { { "C:\\", PathKind::Folder }, { "C:\\Apps", PathKind::Folder },
        { "D:\\", PathKind::Folder }, { "D:\\Users", PathKind::Folder }, { "D:\\Users\\u", PathKind::Folder },
        { "D:\\Users\\u\\Desktop", PathKind::Folder }, { "D:\\Users\\u\\Documents", PathKind::Folder } };
    std::vector<PayloadFileInfo> files { { "Tool\\bin\\app.exe", 100, 0x20 }, { "Tool\\ins\\ynb_inst.com", 10, 0x20 },
        { "Tool\\ins\\readme.txt", 7, 0x20 }, { "Tool\\ins\\docs\\a.txt", 5, 0x20 },
        { "Tool\\ins\\docs\\sub\\b.txt", 3, 0x20 }, { "Tool\\ins\\unused.txt", 1000, 0x20 },
        { "Tool\\ins\\app.exe", 50, 0x20 }, { "Tool\\ins\\locked.txt", 4, 0x21 } };

    InstallPlan Plan(const std::string& manifest)
    {
        text.assign(manifest.begin(), manifest.end());
        const ManifestSplit split = SplitManifest(text.data(), static_cast<int32_t>(text.size()), entries);
        input.baseFolder = "C:\\Apps";
        input.installFolder = "C:\\Apps\\Tool";
        input.stagingFolder = "C:\\Apps\\Tool\\ins";
        input.files = files;
        input.manifestFile = 1;
        input.manifestText = text.data();
        input.entries = entries;
        input.entryCount = split.Count;
        input.specialFolders = { Desktop, Documents, Windows };
        input.machine.kind = [this](const std::string& path) {
            const auto found = machine.find(path);
            return found == machine.end() ? PathKind::None : found->second;
        };
        return PlanInstallation(input);
    }

    std::vector<char> text;
    ManifestEntry entries[kManifestMaxEntries];
    PlanInput input;
};

// Where each payload file is written ("-" when it is not), as file index -> path.
std::map<int, std::string> Writes(const InstallPlan& plan)
{
    std::map<int, std::string> writes;
    for (const PlannedWrite& write : plan.writes)
        writes[write.file] = write.path + (write.asCopy ? " (copy)" : "");
    return writes;
}

std::vector<std::string> Copies(const InstallPlan& plan)
{
    std::vector<std::string> copies;
    for (const PlannedCopy& copy : plan.copies)
        copies.push_back(copy.from + " -> " + copy.to);
    return copies;
}

std::string Failure(const EntryPlan& entry)
{
    return entry.fails ? entry.failure.target + " | " + entry.failure.path + " | " + std::to_string(entry.failure.error)
                       : "placed";
}

} // namespace

TEST(InstallPlan, WritesEachFileOnceStraightToItsPlaces)
{
    Case c;
    const InstallPlan plan = c.Plan("readme.txt\t..\\bin\r\n"
                                    "readme.txt\tDESKTOP\r\n"
                                    "docs\\\t..\r\n");
    ASSERT_EQ(PlanMode::Direct, plan.mode) << DescribePlan(plan);
    // The manifest, the unused file and the staging folder are not written.
    const std::map<int, std::string> expected { { 0, "C:\\Apps\\Tool\\bin\\app.exe" },
        { 2, "C:\\Apps\\Tool\\bin\\readme.txt (copy)" }, { 3, "C:\\Apps\\Tool\\docs\\a.txt (copy)" },
        { 4, "C:\\Apps\\Tool\\docs\\sub\\b.txt (copy)" } };
    EXPECT_EQ(expected, Writes(plan));
    EXPECT_EQ(std::vector<std::string> { "C:\\Apps\\Tool\\bin\\readme.txt -> D:\\Users\\u\\Desktop\\readme.txt" },
        Copies(plan));
    EXPECT_EQ((std::vector<std::string> {
                  "C:\\Apps\\Tool", "C:\\Apps\\Tool\\bin", "C:\\Apps\\Tool\\docs", "C:\\Apps\\Tool\\docs\\sub" }),
        plan.folders);
    // The uninstall entry's size counts what the extraction used to leave.
    EXPECT_EQ(100u + 10 + 7 + 5 + 3 + 1000 + 50 + 4, plan.payloadSize);
    EXPECT_EQ(100u + 7 + 7 + 5 + 3, plan.bytesToWrite);
    ASSERT_EQ(3u, plan.entries.size());
    EXPECT_EQ("..\\bin\\readme.txt", plan.entries[0].logTarget);
    EXPECT_EQ("D:\\Users\\u\\Desktop\\readme.txt", plan.entries[1].fullTarget);
    EXPECT_TRUE(plan.entries[2].folder);
    for (const EntryPlan& entry : plan.entries)
        EXPECT_EQ("placed", Failure(entry));
}

TEST(InstallPlan, ForeseesTheFailuresOfTheCopiesInManifestOrder)
{
    Case c;
    const InstallPlan plan = c.Plan("missing.txt\t..\r\n"
                                    "nowhere\\missing.txt\t..\r\n"
                                    "readme.txt\t..\\nofolder\r\n"
                                    "app.exe\t..\\bin\r\n"
                                    "docs\\\t..\\no\\deeper\r\n"
                                    "docs\\\tdocs\\inner\r\n"
                                    "gone\\\t..\r\n"
                                    "no tab\r\n"
                                    "app.exe\tMYDOC\\sub\r\n");
    ASSERT_EQ(PlanMode::Direct, plan.mode) << DescribePlan(plan);
    const std::vector<std::string> expected {
        "..\\missing.txt | C:\\Apps\\Tool\\missing.txt | 2",
        "..\\nowhere\\missing.txt | C:\\Apps\\Tool\\nowhere\\missing.txt | 3",
        "..\\nofolder\\readme.txt | C:\\Apps\\Tool\\nofolder\\readme.txt | 3",
        "placed", // a staging file copied over the install folder's own: a plain copy
        "..\\no\\deeper\\docs\\ | C:\\Apps\\Tool\\no\\deeper\\docs\\ | 3",
        "docs\\inner\\docs\\ |  | 0", // inside its own source
        "..\\gone\\ | C:\\Apps\\Tool\\ins\\gone | 3",
        "no tab |  | 0",
        "D:\\Users\\u\\Documents\\sub\\app.exe | D:\\Users\\u\\Documents\\sub\\app.exe | 3",
    };
    ASSERT_EQ(expected.size(), plan.entries.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(expected[i], Failure(plan.entries[i])) << "entry " << i + 1;
    EXPECT_FALSE(plan.entries[7].logged);
    EXPECT_TRUE(plan.entries[6].logged); // a failed copy keeps its log line
}

TEST(InstallPlan, TheLastWriterOfAPathWinsAndEveryContentFindsItsPlaces)
{
    Case c;
    // The install folder's app.exe goes to the desktop before the staging
    // file of that name replaces it; the file copied onto itself fails.
    c.machine["D:\\Users\\u\\Desktop\\bin"] = PathKind::Folder;
    const InstallPlan plan = c.Plan("..\\bin\\app.exe\tDESKTOP\\x\r\n"
                                    "app.exe\t..\\bin\r\n"
                                    "..\\bin\\app.exe\t..\\bin\r\n");
    ASSERT_EQ(PlanMode::Direct, plan.mode) << DescribePlan(plan);
    const std::map<int, std::string> expected { { 0, "D:\\Users\\u\\Desktop\\bin\\app.exe (copy)" },
        { 6, "C:\\Apps\\Tool\\bin\\app.exe (copy)" } };
    EXPECT_EQ(expected, Writes(plan));
    EXPECT_TRUE(plan.copies.empty());
    EXPECT_EQ("..\\bin\\..\\bin\\app.exe | C:\\Apps\\Tool\\bin\\app.exe | 32", Failure(plan.entries[2]));
}

TEST(InstallPlan, AFileThatExistsOutsideTheInstallFolderIsReplacedOnlyAfterTheExtraction)
{
    Case c;
    c.machine["D:\\Users\\u\\Desktop\\readme.txt"] = PathKind::File;
    c.machine["C:\\Apps\\Tool"] = PathKind::Folder;
    c.machine["C:\\Apps\\Tool\\bin"] = PathKind::Folder;
    c.machine["C:\\Apps\\Tool\\bin\\app.exe"] = PathKind::File;
    const InstallPlan plan = c.Plan("readme.txt\tDESKTOP\r\n");
    ASSERT_EQ(PlanMode::Direct, plan.mode) << DescribePlan(plan);
    ASSERT_EQ(1u, plan.scratch.size());
    EXPECT_EQ("C:\\Apps\\Tool\\~ynb2.tmp", plan.scratch[0]);
    EXPECT_EQ("C:\\Apps\\Tool\\~ynb2.tmp", Writes(plan)[2]);
    EXPECT_EQ(
        std::vector<std::string> { "C:\\Apps\\Tool\\~ynb2.tmp -> D:\\Users\\u\\Desktop\\readme.txt" }, Copies(plan));
    EXPECT_TRUE(plan.folders.empty()); // every folder exists already
    // What was there before, for the check of files in use and the set-aside.
    ASSERT_EQ(1u, plan.copies.size());
    EXPECT_TRUE(plan.copies[0].existed);
    for (const PlannedWrite& write : plan.writes)
        EXPECT_EQ(write.file == 0, write.existed) << write.path;
}

TEST(InstallPlan, IsStagedWhereTheMachineDecides)
{
    const std::vector<std::pair<std::string, std::string>> cases {
        { "C:\\ext.txt\t..\r\n", "a source is no file of the payload" },
        { "readme.txt\t.\r\n", "" }, // onto itself: a failure the model knows
        { "readme.txt\tdocs\r\n", "a target lies inside the staging folder" },
        { "readme.txt\tDESKTOP\r\nreadme.txt\tDESKTOP\\..\\Desktop\r\n", "" }, // a new file twice: known
        { "readme.txt\tDESKTOP\\..\r\nreadme.txt\tD:\\Users\\u\r\n", "" },
        { "locked.txt\t..\\bin\r\nreadme.txt\t..\\bin\\..\\bin\r\n", "" }, // different targets
        { "locked.txt\t..\\bin\r\nlocked.txt\t..\\bin\r\n",
            "a target was made read-only, hidden or system by an earlier write" },
        { "\t..\r\n", "an entry without a source" },
    };
    for (const auto& [manifest, why] : cases) {
        Case c;
        c.machine["C:\\ext.txt"] = PathKind::File;
        const InstallPlan plan = c.Plan(manifest);
        EXPECT_EQ(why, plan.mode == PlanMode::Staged ? plan.why : std::string()) << manifest;
    }
    Case existing;
    existing.machine["C:\\Apps\\Tool"] = PathKind::Folder;
    existing.machine["C:\\Apps\\Tool\\ins"] = PathKind::Folder;
    EXPECT_EQ("the staging folder exists already", existing.Plan("readme.txt\t..\r\n").why);
    Case twice;
    twice.machine["D:\\Users\\u\\Desktop\\readme.txt"] = PathKind::File;
    EXPECT_EQ("a file that exists already is the target of two copies",
        twice.Plan("readme.txt\tDESKTOP\r\nreadme.txt\tDESKTOP\\..\\Desktop\r\n").why);
}

TEST(InstallPlan, FullPathsFormAsTheSystemFormsThem)
{
    MachineFacts facts;
    facts.driveFolder = [](char drive) { return std::string(1, drive) + ":\\work"; };
    const std::string staging = "C:\\Apps\\Tool\\ins";
    const std::vector<std::pair<std::string, std::string>> cases {
        { "..\\bin\\a", "C:\\Apps\\Tool\\bin\\a" },
        { "\\a", "C:\\a" }, // an empty destination: the root of the drive in use
        { "c:x", "C:\\Apps\\Tool\\ins\\x" }, // the drive in use: its current folder
        { "D:x", "D:\\work\\x" }, // another drive: the folder the process keeps for it
        { "D:\\x\\.\\y\\", "D:\\x\\y\\" },
        { "\\\\srv\\share\\a\\..\\b", "\\\\srv\\share\\b" },
        { "..\\..\\..\\..\\..", "C:\\" },
        { "a\\\\b", "C:\\Apps\\Tool\\ins\\a\\b" },
    };
    for (const auto& [path, full] : cases)
        EXPECT_EQ(full, FullPathOf(path, staging, facts)) << path;
    EXPECT_EQ("\\\\srv\\share\\a", FullPathOf("\\a", "\\\\srv\\share\\x", facts));
    EXPECT_EQ("", VolumeOf("relative\\x", nullptr));
    EXPECT_EQ("\\\\srv\\share\\", VolumeOf("\\\\srv\\share", nullptr));
}

TEST(InstallPlan, SpaceIsCountedGrossPerVolumeInClusters)
{
    Case c;
    const InstallPlan plan = c.Plan("readme.txt\t..\r\nreadme.txt\tDESKTOP\r\n");
    const std::vector<VolumeNeed> needs = SpaceNeeded(plan, c.input,
        [](const std::string& volume) { return volume == "C:\\" ? uint64_t { 4096 } : uint64_t { 512 }; });
    ASSERT_EQ(2u, needs.size());
    EXPECT_EQ("C:\\", needs[0].volume);
    EXPECT_EQ(1024u * 1024 + 4096 * 2, needs[0].bytes); // the reserve, app.exe and readme.txt
    EXPECT_EQ("D:\\", needs[1].volume);
    EXPECT_EQ(512u, needs[1].bytes);
}
