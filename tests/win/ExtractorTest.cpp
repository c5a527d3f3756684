// The payload's extraction through the real cabinet.dll under Wine: payloads
// of one and of several cabinet folders, made by ynbpack (MSZIP and LZX) and
// by gcab, with one worker and with several; LZX payloads of real files;
// damaged and hostile payloads, which place nothing; names that differ only
// in case; failed writes, a full disk and a caller that throws, which leave
// nothing of the run and keep their cause.
// The fixtures (YNB_PACKAGE_FIXTURES) come from tests/scripts/make-package-fixtures.sh.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "SysScratch.h"
#include "config/ProductData.h"
#include "package/CabinetExtractor.h"
#include "package/CabinetTable.h"
#include "package/PayloadBlocks.h"
#include "package/Sha256.h"

using namespace package;

namespace {

// The fixture folder as Wine sees it (the host's / is Z:).
std::string Fixture(const std::string& name)
{
    const char* unixPath = std::getenv("YNB_PACKAGE_FIXTURES");
    return unixPath != nullptr ? driver::Narrow(driver::HostPath(unixPath)) + "\\" + name : std::string();
}

struct Expected {
    std::string content;
    int64_t mtime; // Unix time
    bool readOnly;
    std::string stored; // the name as stored, Shift-JIS
};

// expected.txt: index, size, modification time, read-only, stored name.
std::vector<Expected> ReadExpected()
{
    std::vector<Expected> all;
    const std::string text = scratch::Read(Fixture("expected.txt"));
    for (std::size_t pos = 0, end; pos < text.size(); pos = end + 1) {
        end = text.find('\n', pos);
        std::vector<std::string> fields;
        for (std::size_t f = pos, tab; fields.size() < 5; f = tab + 1) {
            tab = fields.size() < 4 ? text.find('\t', f) : end;
            fields.push_back(text.substr(f, tab - f));
        }
        all.push_back({ scratch::Read(Fixture("content\\" + fields[0])), std::strtoll(fields[2].c_str(), nullptr, 10),
            fields[3] == "1", fields[4] });
    }
    return all;
}

int64_t UnixTime(const FILETIME& time)
{
    const uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return static_cast<int64_t>(ticks / 10000000ULL) - 11644473600LL;
}

// A cabinet's plain bytes and back: the payload's full blocks are scrambled.
std::string Plain(std::string payload)
{
    UnscramblePayloadBlocks(reinterpret_cast<unsigned char*>(payload.data()), payload.size(), kPayloadKey);
    return payload;
}
std::string Scrambled(std::string cabinet)
{
    ScramblePayloadBlocks(reinterpret_cast<unsigned char*>(cabinet.data()), cabinet.size(), kPayloadKey);
    return cabinet;
}

CabinetTable TableOf(const std::string& cabinet)
{
    CabinetTable table;
    const auto* bytes = reinterpret_cast<const unsigned char*>(cabinet.data());
    EXPECT_EQ(CabinetTableProblem::None, ReadCabinetTable(bytes, cabinet.size(), cabinet.size(), table, nullptr));
    return table;
}

void Put32(std::string& bytes, std::size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>(value >> (8 * i));
}

class Extraction : public ::testing::Test {
protected:
    Extraction()
        : work_("extract")
    {
        scratch::MakeFolder(work_ / "program");
    }

    // The payload written as the program folder's data00.dat, extracted into
    // the destination with at most `workers` threads.
    ExtractReport Extract(const std::string& payload, int workers = 8, std::string destination = std::string())
    {
        EXPECT_TRUE(scratch::Write(work_ / "program\\data00.dat", payload));
        ExtractRequest request;
        request.payload = work_ / "program\\data00.dat";
        request.key = kPayloadKey;
        request.destination = destination.empty() ? Destination() : destination;
        request.maxWorkers = workers;
        request.digest = digest_;
        request.pump = [this] {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
                ++pumped_;
        };
        request.progress = [this](uint64_t done, uint64_t total, const std::string& item) {
            EXPECT_LE(done, total);
            lastDone_ = done;
            lastTotal_ = total;
            items_ += item.empty() ? 0 : 1;
        };
        return ExtractPayload(request);
    }

    std::string Destination() const { return work_ / "dest\\"; }

    scratch::TempFolder work_;
    std::vector<unsigned char> digest_;
    int pumped_ = 0;
    int items_ = 0;
    uint64_t lastDone_ = 0;
    uint64_t lastTotal_ = 0;
};

struct Kind {
    const char* payload;
    int workers;
};

class Payloads : public Extraction, public ::testing::WithParamInterface<Kind> { };

// Every file arrives with its bytes, its time and its read-only attribute,
// from as many workers as there are cores and cabinet folders; nothing is
// written beside the payload; the waiting thread keeps its messages moving
// and hears the bytes come.
TEST_P(Payloads, PlaceEveryFileWithItsTimeAndAttributes)
{
    const std::string payload = scratch::Read(Fixture(GetParam().payload));
    const CabinetTable table = TableOf(Plain(payload));
    PostThreadMessageW(GetCurrentThreadId(), WM_USER, 0, 0); // a message that arrives while it waits
    const ExtractReport report = Extract(payload, GetParam().workers);
    ASSERT_EQ(ExtractProblem::None, report.problem) << report.detail;

    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const int expectedWorkers = std::min<int>(
        { GetParam().workers, static_cast<int>(system.dwNumberOfProcessors), static_cast<int>(table.folders.size()) });
    EXPECT_EQ(expectedWorkers, report.workers);
    EXPECT_EQ(table.files.size(), report.placed.size());
    EXPECT_EQ(table.totalSize, report.totalSize);
    EXPECT_EQ(report.totalSize, lastDone_);
    EXPECT_EQ(report.totalSize, lastTotal_);
    EXPECT_GT(items_, 0);
    EXPECT_GE(pumped_, 1);

    std::size_t checked = 0;
    for (const Expected& file : ReadExpected()) {
        const std::string path = Destination() + file.stored;
        const bool gcab = std::string(GetParam().payload) == "gcab.dat";
        if (gcab && file.stored.find('\x95') != std::string::npos)
            continue; // gcab cannot store a name that is not UTF-8
        ++checked;
        EXPECT_EQ(file.content, scratch::Read(path)) << path;
        WIN32_FILE_ATTRIBUTE_DATA data {};
        ASSERT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) << path;
        EXPECT_EQ(file.mtime, UnixTime(data.ftLastWriteTime)) << path;
        if (!gcab) { // gcab stores no read-only attribute
            EXPECT_EQ(file.readOnly, (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) << path;
        }
    }
    EXPECT_EQ(table.files.size(), checked);
    EXPECT_EQ(std::vector<std::string> { "data00.dat" }, scratch::List(work_ / "program"));
}

INSTANTIATE_TEST_SUITE_P(Kinds, Payloads,
    ::testing::Values(Kind { "ynbpack.dat", 8 }, Kind { "folders.dat", 1 }, Kind { "folders.dat", 8 },
        Kind { "gcab.dat", 8 }, Kind { "lzx.dat", 8 }, Kind { "lzxfolders.dat", 1 }, Kind { "lzxfolders.dat", 8 }),
    [](const auto& info) {
        std::string name = info.param.payload;
        return name.substr(0, name.find('.')) + std::to_string(info.param.workers);
    });

// LZX payloads of real and edge-case files, each file extracted byte for byte.
class Corpus : public Extraction, public ::testing::WithParamInterface<const char*> { };

TEST_P(Corpus, ExtractsEveryFileByteForByte)
{
    const ExtractReport report = Extract(scratch::Read(Fixture(GetParam())));
    ASSERT_EQ(ExtractProblem::None, report.problem) << report.detail;
    const std::vector<std::string> names = scratch::List(Fixture("corpus"));
    EXPECT_GT(names.size(), 30u);
    EXPECT_EQ(names.size(), report.placed.size());
    for (const std::string& name : names)
        EXPECT_TRUE(scratch::Read(Fixture("corpus\\" + name)) == scratch::Read(Destination() + name)) << name;
}

INSTANTIATE_TEST_SUITE_P(Lzx, Corpus, ::testing::Values("corpus15.dat", "corpus21.dat"),
    [](const auto& info) { return std::string(info.param).substr(0, 8); });

struct Damage {
    const char* name;
    ExtractProblem problem;
    void (*apply)(std::string& cabinet, const CabinetTable& table);
};

// Each damages the plain cabinet of several folders.
const Damage kDamages[] = {
    { "Empty", ExtractProblem::Table, [](std::string& c, const CabinetTable&) { c.clear(); } },
    { "NoCabinet", ExtractProblem::Table, [](std::string& c, const CabinetTable&) { c.assign(3000, 'z'); } },
    { "TruncatedInTheHeader", ExtractProblem::Table, [](std::string& c, const CabinetTable&) { c.resize(20); } },
    { "TruncatedInTheFileTable", ExtractProblem::Table,
        [](std::string& c, const CabinetTable& t) { c.resize(t.tableEnd - 10); } },
    { "TruncatedInTheData", ExtractProblem::Table,
        [](std::string& c, const CabinetTable& t) { c.resize(t.folders[1].dataOffset + 100); } },
    { "TruncatedAndShortened", ExtractProblem::Table,
        [](std::string& c, const CabinetTable& t) {
            c.resize(t.folders[1].dataOffset + 100);
            Put32(c, 8, static_cast<uint32_t>(c.size())); // the header says so too
        } },
    { "FlippedByteInTheData", ExtractProblem::Damaged,
        [](std::string& c, const CabinetTable& t) { c[t.folders[1].dataOffset + 200] ^= 0x5A; } },
    { "FileClaimsMoreThanItsFolderHolds", ExtractProblem::Damaged,
        [](std::string& c, const CabinetTable& t) {
            // The last file of a folder whose last block is not full claims
            // the rest of it: the library reads on into the next folder.
            std::size_t at = static_cast<unsigned char>(c[16]) | static_cast<unsigned char>(c[17]) << 8; // coffFiles
            for (std::size_t i = 0; i < t.files.size(); ++i, at += 16 + t.files[i - 1].name.size() + 1) {
                const CabinetFileEntry& file = t.files[i];
                const bool last = i + 1 == t.files.size() || t.files[i + 1].folder != file.folder;
                const uint32_t capacity = t.folders[file.folder].blockCount * kCabinetBlockSize;
                if (last && file.folder + 1u < t.folders.size() && file.folderOffset + file.size < capacity) {
                    Put32(c, at, capacity - file.folderOffset);
                    return;
                }
            }
            ADD_FAILURE() << "no folder with room in its last block";
        } },
    { "NoFiles", ExtractProblem::NoFiles,
        [](std::string& c, const CabinetTable&) {
            c[28] = 0; // cFiles
            c[29] = 0;
        } },
};

// A damage, the workers, and the payload of several folders it is done to.
class Damaged : public Extraction, public ::testing::WithParamInterface<std::tuple<Damage, int, const char*>> { };

// A damaged payload, MSZIP or LZX, places nothing, with one worker or
// several: what this run created is gone, what was there stays, and a file
// it had already overwritten is named.
TEST_P(Damaged, PlacesNothingAndLeavesTheFolderAsItWas)
{
    const auto& [damage, workers, payload] = GetParam();
    std::string cabinet = Plain(scratch::Read(Fixture(payload)));
    const CabinetTable table = TableOf(cabinet);
    ASSERT_GE(table.folders.size(), 3u);
    damage.apply(cabinet, table);
    ASSERT_TRUE(scratch::MakeFolder(work_ / "dest"));
    ASSERT_TRUE(scratch::Write(Destination() + "keep.txt", "the user's"));
    ASSERT_TRUE(scratch::Write(Destination() + "readme.txt", "an older readme"));

    const ExtractReport report = Extract(Scrambled(cabinet), workers);
    EXPECT_EQ(damage.problem, report.problem) << report.detail;
    EXPECT_FALSE(report.detail.empty());
    EXPECT_TRUE(report.placed.empty());
    std::vector<std::string> left = scratch::List(work_ / "dest");
    std::sort(left.begin(), left.end());
    EXPECT_EQ((std::vector<std::string> { "keep.txt", "readme.txt" }), left);
    EXPECT_EQ("the user's", scratch::Read(Destination() + "keep.txt"));
    // readme.txt is in the first folder: replaced only once the data is read.
    const bool replaced = scratch::Read(Destination() + "readme.txt") != "an older readme";
    EXPECT_EQ(replaced, !report.overwritten.empty());
    if (replaced) {
        EXPECT_EQ(std::vector<std::string> { Destination() + "readme.txt" }, report.overwritten);
    }
}

INSTANTIATE_TEST_SUITE_P(Payloads, Damaged,
    ::testing::Combine(
        ::testing::ValuesIn(kDamages), ::testing::Values(1, 8), ::testing::Values("folders.dat", "lzxfolders.dat")),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) == 1 ? "OneWorker" : "Workers")
            + (std::string(std::get<2>(info.param)) == "folders.dat" ? "Mszip" : "Lzx");
    });

void Patch(std::string& cabinet, const std::string& from, const std::string& to)
{
    const std::size_t at = cabinet.find(from);
    ASSERT_NE(std::string::npos, at) << from;
    cabinet.replace(at, from.size(), to);
}

// A name that would leave the destination, or that Windows would alter,
// refuses the whole payload before anything is written.
TEST_F(Extraction, RefusesEscapingNamesWhole)
{
    const struct {
        const char* from;
        const char* to;
    } names[] = { { "zz\\ynbup.txt", "..\\ynbup.txt" }, { "Qynbroot.txt", "\\ynbroot.txt" },
        { "CQ\\ynbdrive.txt", "C:\\ynbdrive.txt" }, { "aQynbstream.txt", "a:ynbstream.txt" }, { "nuq.txt", "nul.txt" },
        { "ynbdotQ", "ynbdot." } };
    for (const auto& name : names) {
        std::string cabinet = scratch::Read(Fixture("evil.cab"));
        Patch(cabinet, name.from, name.to);
        const ExtractReport report = Extract(Scrambled(cabinet));
        EXPECT_EQ(ExtractProblem::RefusedName, report.problem) << name.to;
        EXPECT_FALSE(scratch::Exists(work_ / "dest")) << name.to;
    }
    EXPECT_FALSE(scratch::Exists(work_ / "ynbup.txt"));
    EXPECT_FALSE(scratch::Exists("C:\\ynbdrive.txt"));
}

TEST_F(Extraction, RefusesWhatCannotBeRead)
{
    const std::string payload = scratch::Read(Fixture("ynbpack.dat"));
    // A destination whose output paths would not fit.
    EXPECT_EQ(
        ExtractProblem::RefusedName, Extract(payload, 8, work_.Path() + "\\" + std::string(220, 'd') + "\\").problem);

    // Locked by another program, missing, a folder.
    HANDLE lock
        = CreateFileA((work_ / "program\\data00.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    ExtractRequest request;
    request.payload = work_ / "program\\data00.dat";
    request.key = kPayloadKey;
    request.destination = Destination();
    EXPECT_EQ(ExtractProblem::PayloadUnreadable, ExtractPayload(request).problem);
    CloseHandle(lock);
    request.payload = work_ / "program\\missing.dat";
    EXPECT_EQ(ExtractProblem::PayloadUnreadable, ExtractPayload(request).problem);
    request.payload = work_ / "program";
    EXPECT_EQ(ExtractProblem::PayloadUnreadable, ExtractPayload(request).problem);
    EXPECT_FALSE(scratch::Exists(work_ / "dest"));
}

// A program stamped with the payload's digest places only that payload.
TEST_F(Extraction, ChecksTheStampedDigestBeforeAnythingIsWritten)
{
    const std::string payload = scratch::Read(Fixture("ynbpack.dat"));
    digest_.resize(kSha256Size);
    Sha256::Hash(payload.data(), payload.size(), digest_.data());
    digest_[31] ^= 1;
    EXPECT_EQ(ExtractProblem::NotOurs, Extract(payload).problem);
    EXPECT_FALSE(scratch::Exists(work_ / "dest"));
    digest_[31] ^= 1;
    EXPECT_EQ(ExtractProblem::None, Extract(payload).problem);
}

// Files there before are replaced whole, read-only ones too.
TEST_F(Extraction, ReplacesEarlierFilesWhole)
{
    ASSERT_TRUE(scratch::MakeFolder(work_ / "dest"));
    ASSERT_TRUE(scratch::Write(Destination() + "readme.txt", std::string(5000, 'x'), FILE_ATTRIBUTE_READONLY));
    const ExtractReport report = Extract(scratch::Read(Fixture("ynbpack.dat")));
    ASSERT_EQ(ExtractProblem::None, report.problem) << report.detail;
    EXPECT_EQ("hello\r\n", scratch::Read(Destination() + "readme.txt"));
    EXPECT_TRUE(report.overwritten.empty());
}

// README.TXT and, in another cabinet folder, Readme.txt are one file on
// Windows: the later one's bytes stay, the file is placed and counted once,
// and a failed run removes it as its own, or names it once as the file that
// was there before.
TEST_F(Extraction, TakesNamesThatDifferInCaseForOneFile)
{
    std::string cabinet = scratch::Read(Fixture("case.cab"));
    Patch(cabinet, "Readme.txq", "Readme.txt");
    const CabinetTable table = TableOf(cabinet);
    ASSERT_EQ(3u, table.folders.size());
    ASSERT_EQ(3u, table.files.size());
    ASSERT_EQ("zz.bin", table.files[2].name);
    const std::string later = Destination() + table.files[1].name;
    const char laterByte = table.files[1].name == "README.TXT" ? 'U' : 'l';

    const ExtractReport placed = Extract(Scrambled(cabinet));
    ASSERT_EQ(ExtractProblem::None, placed.problem) << placed.detail;
    EXPECT_EQ((std::vector<std::string> { later, Destination() + "zz.bin" }), placed.placed);
    EXPECT_EQ(80000u, placed.totalSize);
    EXPECT_EQ(std::string(40000, laterByte), scratch::Read(Destination() + "readme.txt"));
    EXPECT_TRUE(placed.overwritten.empty());
    scratch::RemoveTree(work_ / "dest");

    // zz.bin's folder damaged: one worker has written both names by then.
    cabinet[table.folders[2].dataOffset + 200] ^= 0x5A;
    const ExtractReport fresh = Extract(Scrambled(cabinet), 1);
    EXPECT_EQ(ExtractProblem::Damaged, fresh.problem) << fresh.detail;
    EXPECT_TRUE(fresh.overwritten.empty());
    EXPECT_FALSE(scratch::Exists(work_ / "dest"));

    ASSERT_TRUE(scratch::MakeFolder(work_ / "dest"));
    ASSERT_TRUE(scratch::Write(Destination() + "readme.txt", "an older readme"));
    const ExtractReport over = Extract(Scrambled(cabinet), 1);
    EXPECT_EQ(ExtractProblem::Damaged, over.problem) << over.detail;
    EXPECT_EQ(std::vector<std::string> { later }, over.overwritten);
}

// A file that cannot be written keeps its cause up to the report: its path
// and the Win32 error; the other workers stop and nothing of the run stays.
TEST_F(Extraction, KeepsTheCauseOfAFailedWrite)
{
    ASSERT_TRUE(scratch::MakeFolder(work_ / "dest"));
    const std::string busy = Destination() + "readme.txt";
    ASSERT_TRUE(scratch::Write(busy, "in use"));
    HANDLE held = CreateFileA(busy.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    const ExtractReport report = Extract(scratch::Read(Fixture("folders.dat")));
    CloseHandle(held);
    EXPECT_EQ(ExtractProblem::WriteFailed, report.problem) << report.detail;
    EXPECT_EQ(static_cast<uint32_t>(ERROR_SHARING_VIOLATION), report.error);
    EXPECT_EQ(busy, report.path);
    EXPECT_NE(std::string::npos, report.detail.find("(error 32)")) << report.detail;
    EXPECT_EQ(std::vector<std::string> { "readme.txt" }, scratch::List(work_ / "dest"));
    EXPECT_EQ("in use", scratch::Read(busy));
}

// An exception out of the caller's callback leaves the run there, but only
// once the workers have stopped, and takes with it what the run created.
TEST_F(Extraction, StopsItsWorkersWhenACallbackThrows)
{
    ASSERT_TRUE(scratch::Write(work_ / "program\\data00.dat", scratch::Read(Fixture("folders.dat"))));
    ExtractRequest request;
    request.payload = work_ / "program\\data00.dat";
    request.key = kPayloadKey;
    request.destination = Destination();
    request.progress = [](uint64_t, uint64_t, const std::string&) { throw std::runtime_error("the window is gone"); };
    EXPECT_THROW(ExtractPayload(request), std::runtime_error);
    EXPECT_FALSE(scratch::Exists(work_ / "dest"));
}

// A volume that fills is a full disk, not a damaged payload. YNB_FULL_DRIVE
// names the drive of a small volume (tests/scripts/full-disk.sh).
TEST_F(Extraction, NamesAFullDiskAsSuch)
{
    const char* drive = std::getenv("YNB_FULL_DRIVE");
    if (drive == nullptr)
        GTEST_SKIP() << "no small volume given; tests/scripts/full-disk.sh gives one";
    const std::string destination = std::string(drive) + "\\ynbfull\\";
    for (int workers : { 1, 8 }) {
        const ExtractReport report = Extract(scratch::Read(Fixture("folders.dat")), workers, destination);
        EXPECT_EQ(ExtractProblem::DiskFull, report.problem) << report.detail;
        EXPECT_EQ(static_cast<uint32_t>(ERROR_DISK_FULL), report.error);
        EXPECT_EQ(0u, report.path.rfind(destination, 0)) << report.path;
        EXPECT_NE(std::string::npos, report.detail.find("the disk is full")) << report.detail;
        EXPECT_FALSE(scratch::Exists(destination)) << workers;
    }
}

} // namespace
