// Payload unscrambling and unpacking under Wine, with payloads made by
// ynbpack at build time under the product's payload key.
#include <cstring>

#include "PackageFixtures.h"
#include "package/ClsYnb.h"

using namespace pkgtest;

namespace {

class Payload : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(FixtureDir().empty()) << "YNB_PACKAGE_FIXTURES is not set";
        ASSERT_GT(GetCurrentDirectoryA(sizeof previous_, previous_), 0u);
        work_ = ScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_TRUE(SetCurrentDirectoryA(work_.c_str()));
    }
    void TearDown() override
    {
        EXPECT_TRUE(SetCurrentDirectoryA(previous_));
        (void)ClsFile::DeleteFolder(work_.c_str());
    }

    char previous_[MAX_PATH] = {};
    std::string work_;
    ClsYnb ynb_;
};

class PayloadSizes : public Payload, public ::testing::WithParamInterface<int> { };

// Below one block, exactly one and three blocks, two blocks and a tail.
TEST_P(PayloadSizes, TempDatIsThePlainCabinet)
{
    const std::string size = std::to_string(GetParam());
    WriteBytes("data00.dat", ReadBytes(Fixture("p" + size + ".dat")));
    ASSERT_EQ(0, ynb_.UnscramblePayload());
    const Bytes plain = ReadBytes(Fixture("c" + size));
    ASSERT_EQ(static_cast<std::size_t>(GetParam()), plain.size());
    EXPECT_EQ(plain, ReadBytes("temp.dat"));
    EXPECT_EQ(ReadBytes(Fixture("p" + size + ".dat")), ReadBytes("data00.dat")) << "the payload must stay as it was";
}

INSTANTIATE_TEST_SUITE_P(Sizes, PayloadSizes, ::testing::Values(1000, 65536, 196608, 131172));

TEST_F(Payload, EmptyPayloadGivesEmptyTempDat)
{
    WriteBytes("data00.dat", {});
    EXPECT_EQ(0, ynb_.UnscramblePayload());
    ASSERT_TRUE(Exists("temp.dat"));
    EXPECT_TRUE(ReadBytes("temp.dat").empty());
}

TEST_F(Payload, ExistingTempDatIsOverwrittenNotAppended)
{
    WriteBytes("temp.dat", Bytes(300000, 'x'));
    WriteBytes("data00.dat", ReadBytes(Fixture("p1000.dat")));
    EXPECT_EQ(0, ynb_.UnscramblePayload());
    EXPECT_EQ(ReadBytes(Fixture("c1000")), ReadBytes("temp.dat"));
}

TEST_F(Payload, MissingPayloadFails)
{
    EXPECT_EQ(-1, ynb_.UnscramblePayload());
    EXPECT_FALSE(Exists("temp.dat"));
}

TEST_F(Payload, LockedPayloadFails)
{
    WriteBytes("data00.dat", ReadBytes(Fixture("p65536.dat")));
    HANDLE lock = CreateFileA("data00.dat", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    EXPECT_EQ(-1, ynb_.UnscramblePayload());
    CloseHandle(lock);
    EXPECT_FALSE(Exists("temp.dat"));
}

TEST_F(Payload, UnreadablePayloadFails)
{
    // A folder of that name cannot be read as a file.
    ASSERT_TRUE(CreateDirectoryA("data00.dat", nullptr));
    EXPECT_EQ(-1, ynb_.UnscramblePayload());
    EXPECT_FALSE(Exists("temp.dat"));
}

// The tests run with full rights under Wine, where a read-only folder still
// takes new files; a temp.dat that cannot be replaced stands in for it.
TEST_F(Payload, TempDatThatCannotBeCreatedFails)
{
    WriteBytes("data00.dat", ReadBytes(Fixture("p1000.dat")));
    ASSERT_TRUE(CreateDirectoryA("temp.dat", nullptr));
    EXPECT_EQ(-1, ynb_.UnscramblePayload());
    EXPECT_TRUE(RemoveDirectoryA("temp.dat"));
}

TEST_F(Payload, PayloadOf2GiBIsRefused)
{
    HANDLE file = CreateFileA("data00.dat", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    LARGE_INTEGER end;
    end.QuadPart = 0x80000000LL;
    ASSERT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(SetEndOfFile(file)); // sparse on the host's file system
    CloseHandle(file);
    EXPECT_EQ(-1, ynb_.UnscramblePayload());
    EXPECT_FALSE(Exists("temp.dat"));
}

SetupRecord RecordWithBase(const std::string& base)
{
    SetupRecord record;
    std::snprintf(record.BaseFolder, sizeof record.BaseFolder, "%s", base.c_str());
    return record;
}

TEST_F(Payload, UnpackExtractsIntoTheBaseFolderAndRemovesTempDat)
{
    WriteBytes("data00.dat", ReadBytes(Fixture("ynbpack.dat")));
    const std::string base = work_ + "\\base";
    ReportRecorder reports;
    EXPECT_EQ(1, ynb_.UnpackPayload(RecordWithBase(base)));
    EXPECT_FALSE(Exists("temp.dat"));
    ASSERT_FALSE(reports.Get().empty());
    EXPECT_EQ("cabinet", reports.Get().back().caption);
    EXPECT_EQ(kExtractionSucceededText, reports.Get().back().text) << reports.Dump();
    // The extractor was given the full path of temp.dat.
    EXPECT_EQ(0u, reports.Get().at(0).text.find("Information on cabinet file '" + work_ + "\\temp.dat'\n"));
    for (const Expected& e : ReadExpected())
        EXPECT_EQ(ReadBytes(Fixture("content\\" + std::to_string(e.index))), ReadBytes(base + "\\" + e.stored))
            << e.stored;
}

TEST_F(Payload, UnpackOfANonCabinetStillReturnsOneAndRemovesTempDat)
{
    WriteBytes("data00.dat", ReadBytes(Fixture("p1000.dat"))); // "MSCF" and noise
    ReportRecorder reports;
    EXPECT_EQ(1, ynb_.UnpackPayload(RecordWithBase(work_ + "\\base")));
    EXPECT_FALSE(Exists("temp.dat"));
    EXPECT_FALSE(Exists(work_ + "\\base"));
    EXPECT_EQ(kExtractionFailedText, reports.Get().back().text);
    EXPECT_TRUE(reports.Has("FDIIsCabinet() failed: '" + work_ + "\\temp.dat' is not a cabinet\n")) << reports.Dump();
}

TEST_F(Payload, UnpackWithoutPayloadReturnsZeroAndReportsNothing)
{
    ReportRecorder reports;
    EXPECT_EQ(0, ynb_.UnpackPayload(RecordWithBase(work_ + "\\base")));
    EXPECT_TRUE(reports.Get().empty());
    EXPECT_FALSE(Exists("temp.dat"));
}

TEST_F(Payload, TooLongBaseFolderIsRefused)
{
    WriteBytes("data00.dat", ReadBytes(Fixture("ynbpack.dat")));
    ReportRecorder reports;
    const std::string base = work_ + "\\" + std::string(254 - work_.size() - 1, 'b'); // 254 bytes, 256 with "\"
    ASSERT_EQ(254u, base.size());
    EXPECT_EQ(1, ynb_.UnpackPayload(RecordWithBase(base + "x")));
    EXPECT_TRUE(reports.Has("Destination folder is too long: 256 bytes, at most 255\n")) << reports.Dump();
    EXPECT_EQ(kExtractionFailedText, reports.Get().back().text);
    EXPECT_FALSE(Exists("temp.dat"));

    SetupRecord unterminated;
    std::memset(unterminated.BaseFolder, 'a', sizeof unterminated.BaseFolder);
    ReportRecorder again;
    EXPECT_EQ(1, ynb_.UnpackPayload(unterminated));
    EXPECT_TRUE(again.Has("The base folder has no end within its field\n")) << again.Dump();
    EXPECT_FALSE(Exists("temp.dat"));
}

TEST_F(Payload, TooLongCurrentFolderIsRefused)
{
    // 251 bytes: the cabinet path would need 261.
    std::vector<std::string> levels;
    std::string deep = work_;
    while (deep.size() < 251) {
        deep += "\\" + std::string(std::min<std::size_t>(50, 251 - deep.size() - 1), 'c');
        if (!CreateDirectoryA(deep.c_str(), nullptr))
            break;
        levels.push_back(deep);
    }
    if (deep.size() == 251 && levels.back() == deep && SetCurrentDirectoryA(deep.c_str())) {
        WriteBytes("data00.dat", ReadBytes(Fixture("ynbpack.dat")));
        ReportRecorder reports;
        EXPECT_EQ(1, ynb_.UnpackPayload(RecordWithBase(work_ + "\\base")));
        EXPECT_TRUE(
            reports.Has("The current folder's path (251 bytes) is too long for the cabinet path of 260 bytes\n"))
            << reports.Dump();
        EXPECT_EQ(kExtractionFailedText, reports.Get().back().text);
        EXPECT_FALSE(Exists("temp.dat"));
        EXPECT_FALSE(Exists(work_ + "\\base"));
        EXPECT_TRUE(DeleteFileA("data00.dat"));
    }
    // The cleanup helpers keep to 260-byte paths: take the levels down here.
    EXPECT_TRUE(SetCurrentDirectoryA(work_.c_str()));
    for (auto level = levels.rbegin(); level != levels.rend(); ++level)
        EXPECT_TRUE(RemoveDirectoryA(level->c_str())) << *level;
    if (deep.size() != 251 || levels.empty() || levels.back() != deep)
        GTEST_SKIP() << "the system cannot make a folder path of 251 bytes";
}

} // namespace
