// Cabinet extraction through the real cabinet.dll under Wine: cabinets made
// by ynbpack and independently by gcab, malformed and hostile cabinets, long
// paths, the callbacks and the reports.
#include <fcntl.h>

#include <algorithm>
#include <cstdarg>

#include <cstring>

#include "PackageFixtures.h"

using namespace pkgtest;

namespace {

// A UTF-8 text of the test in Shift-JIS, converted here rather than taken
// from the program.
std::string Sjis(const char8_t* utf8)
{
    wchar_t wide[256];
    char out[512];
    const int n = MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<const char*>(utf8), -1, wide, 256);
    if (n == 0 || WideCharToMultiByte(932, 0, wide, -1, out, sizeof out, nullptr, nullptr) == 0)
        return {};
    return out;
}

const std::string kSucceeded = Sjis(u8"キャビネットファイルの解凍が正常に終了しました。");
const std::string kFailed = Sjis(u8"キャビネットファイルの解凍中にエラーが発生しました。");

class Cabinet : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(FixtureDir().empty()) << "YNB_PACKAGE_FIXTURES is not set";
        work_ = ScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        dest_ = work_ + "\\dest\\";
    }
    void TearDown() override { (void)ClsFile::DeleteFolder(work_.c_str()); }

    std::string Copy(const std::string& fixture, const std::string& name)
    {
        const std::string path = work_ + "\\" + name;
        WriteBytes(path, ReadBytes(Fixture(fixture)));
        return path;
    }

    std::string work_;
    std::string dest_;
};

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...)
{
    char text[2048];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

// Every file of the cabinet arrives with its bytes, times and attributes, the
// reports say so exactly, and the listing agrees with cabextract's.
class CabinetKinds : public Cabinet, public ::testing::WithParamInterface<const char*> { };

TEST_P(CabinetKinds, ExtractsEveryFileWithTimesAndAttributes)
{
    const std::string kind = GetParam();
    const std::string cabPath = Copy(kind + ".cab", "in.cab");
    const Bytes cabBytes = ReadBytes(cabPath);
    const CabHeader header = ReadCabinetHeader(cabBytes);
    const std::vector<Expected> expected = ReadExpected();
    ASSERT_GE(header.entries.size(), 7u);

    ReportRecorder reports;
    ExtractCabinet(cabPath.c_str(), dest_.c_str());
    ASSERT_FALSE(reports.Get().empty());
    EXPECT_EQ(kSucceeded, reports.Get().back().text) << reports.Dump();
    EXPECT_EQ("cabinet", reports.Get().back().caption);
    EXPECT_EQ(0, reports.Get().back().style);

    // The cabinet information, filled from the header as read here.
    EXPECT_TRUE(reports.Has(Format("Information on cabinet file '%s'\n"
                                   "   Total length of cabinet file : %d\n"
                                   "   Number of folders in cabinet : %d\n"
                                   "   Number of files in cabinet   : %d\n"
                                   "   Cabinet set ID               : %d\n"
                                   "   Cabinet number in set        : %d\n"
                                   "   RESERVE area in cabinet?     : no\n"
                                   "   Chained to prev cabinet?     : no\n"
                                   "   Chained to next cabinet?     : no\n\n",
        cabPath.c_str(), static_cast<int>(cabBytes.size()), header.folders, header.files, header.setId, header.number)))
        << reports.Dump();
    EXPECT_EQ(static_cast<uint32_t>(cabBytes.size()), header.total);
    EXPECT_TRUE(reports.Has(Format("fdintCABINET_INFO\n  next cabinet     = \n  next disk        = \n"
                                   "  cabinet path     = %s\\\n  cabinet set ID   = %d\n"
                                   "  cabinet # in set = 0 (zero based)\n\n",
        work_.c_str(), header.setId)))
        << reports.Dump();

    // The copy questions, in the cabinet's order, agree with cabextract -l.
    std::string listing;
    for (const Report& r : reports.Get()) {
        if (r.caption != Sjis(u8"キャビネットファイルのコピー"))
            continue;
        EXPECT_EQ(4, r.style);
        const char* nameAt = std::strstr(r.text.c_str(), "file name in cabinet = ");
        const char* sizeAt = std::strstr(r.text.c_str(), "uncompressed file size = ");
        ASSERT_TRUE(nameAt && sizeAt) << r.text;
        const std::string name(nameAt + 23, static_cast<const char*>(std::strchr(nameAt, '\n')));
        listing += std::to_string(std::atol(sizeAt + 25)) + "\t" + name + "\n";
    }
    const Bytes cabextract = ReadBytes(Fixture(kind + ".list"));
    EXPECT_EQ(std::string(cabextract.begin(), cabextract.end()), listing);

    const std::string closeCaption = Sjis(u8"キャビネットファイルのクローズ");
    for (const CabEntry& entry : header.entries) {
        SCOPED_TRACE(entry.name);
        EXPECT_TRUE(reports.Has(Format("fdintCOPY_FILE\n  file name in cabinet = %s\n  uncompressed file size = %d\n"
                                       "  copy this file? (y/n): ",
            entry.name.c_str(), static_cast<int>(entry.size))));
        EXPECT_TRUE(reports.Has(Format("fdintCLOSE_FILE_INFO\n   file name in cabinet = %s\n\n", entry.name.c_str())));

        const std::string ansi = AnsiName(entry);
        const Expected* want = nullptr;
        for (const Expected& e : expected)
            if (e.stored == ansi)
                want = &e;
        ASSERT_NE(nullptr, want) << "no fixture file for " << ansi;
        const std::string path = dest_ + ansi;
        EXPECT_EQ(ReadBytes(Fixture("content\\" + std::to_string(want->index))), ReadBytes(path));

        // Times: the cabinet's local time as both creation and last write.
        WIN32_FILE_ATTRIBUTE_DATA data;
        ASSERT_TRUE(GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data));
        const FILETIME mtime = FromUnixTime(want->mtime);
        EXPECT_EQ(0, CompareFileTime(&mtime, &data.ftLastWriteTime));
        EXPECT_EQ(0, CompareFileTime(&mtime, &data.ftCreationTime));
        // Attributes: as recorded, masked with 0x27.
        EXPECT_EQ(static_cast<DWORD>(entry.attributes & 0x27), data.dwFileAttributes & 0x27u);
        if (kind == "ynbpack") {
            EXPECT_EQ(want->readOnly ? 0x21u : 0x20u, data.dwFileAttributes & 0x27u);
        }
    }
    // Nested folders were made below the destination.
    EXPECT_TRUE(GetFileAttributesA((dest_ + "doc\\a\\b").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

INSTANTIATE_TEST_SUITE_P(Builders, CabinetKinds, ::testing::Values("ynbpack", "gcab"));

TEST_F(Cabinet, ExistingOutputIsTruncated)
{
    const std::string cabPath = Copy("ynbpack.cab", "in.cab");
    ASSERT_TRUE(CreateDirectoryA(dest_.c_str(), nullptr));
    WriteBytes(dest_ + "readme.txt", Bytes(5000, 'x'));
    ReportRecorder reports;
    ExtractCabinet(cabPath.c_str(), dest_.c_str());
    EXPECT_EQ(kSucceeded, reports.Get().back().text);
    const Bytes readme = ReadBytes(dest_ + "readme.txt");
    EXPECT_EQ(Bytes({ 'h', 'e', 'l', 'l', 'o', '\r', '\n' }), readme);
}

TEST_F(Cabinet, CabinetPathWithoutBackslashIsABareName)
{
    (void)Copy("ynbpack.cab", "bare.cab");
    char previous[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryA(sizeof previous, previous), 0u);
    ASSERT_TRUE(SetCurrentDirectoryA(work_.c_str()));
    ReportRecorder reports;
    ExtractCabinet("bare.cab", dest_.c_str());
    EXPECT_TRUE(SetCurrentDirectoryA(previous));
    EXPECT_EQ(kSucceeded, reports.Get().back().text) << reports.Dump();
    EXPECT_EQ(0u, reports.Get().at(0).text.find("Information on cabinet file 'bare.cab'\n"));
    EXPECT_TRUE(Exists(dest_ + "bin\\random.bin"));
}

struct Malformed {
    const char* name;
    Bytes (*make)(const Bytes& cab);
    const char* report; // a report that must be there (%s: the cabinet path)
};

const Malformed kMalformed[] = {
    { "Empty", [](const Bytes&) { return Bytes(); }, "FDIIsCabinet() failed: '%s' is not a cabinet\n" },
    { "NotACabinet", [](const Bytes&) { return Bytes(3000, 'z'); }, "FDIIsCabinet() failed: '%s' is not a cabinet\n" },
    { "Truncated",
        [](const Bytes& cab) { return Bytes(cab.begin(), cab.begin() + static_cast<std::ptrdiff_t>(cab.size() / 2)); },
        "FDICopy() failed: code " },
    { "FlippedDataByte",
        [](const Bytes& cab) {
            Bytes bad = cab;
            bad[bad.size() - 300] ^= 0xff; // inside the compressed data
            return bad;
        },
        "FDICopy() failed: code " },
};

class CabinetMalformed : public Cabinet, public ::testing::WithParamInterface<Malformed> { };

TEST_P(CabinetMalformed, FailsCleanlyAndReportsWhy)
{
    const Malformed& m = GetParam();
    const std::string cabPath = work_ + "\\bad.cab";
    WriteBytes(cabPath, m.make(ReadBytes(Fixture("ynbpack.cab"))));
    ReportRecorder reports;
    ExtractCabinet(cabPath.c_str(), dest_.c_str());
    ASSERT_FALSE(reports.Get().empty());
    EXPECT_EQ(kFailed, reports.Get().back().text) << reports.Dump();
    EXPECT_EQ("cabinet", reports.Get().back().caption);
    bool found = false;
    const std::string want = Format(m.report, cabPath.c_str());
    for (const Report& r : reports.Get())
        found = found || r.text.compare(0, want.size(), want) == 0;
    EXPECT_TRUE(found) << "missing \"" << want << "\" in\n" << reports.Dump();
    // Nothing next to the cabinet but the cabinet and the destination.
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((work_ + "\\*").c_str(), &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    do {
        const std::string name = data.cFileName;
        EXPECT_TRUE(name == "." || name == ".." || name == "bad.cab" || name == "dest") << name;
    } while (FindNextFileA(find, &data));
    FindClose(find);
    if (std::strstr(m.report, "FDIIsCabinet")) {
        EXPECT_FALSE(Exists(dest_)) << "no folder may be made for a non-cabinet";
    }
}

INSTANTIATE_TEST_SUITE_P(Inputs, CabinetMalformed, ::testing::ValuesIn(kMalformed),
    [](const auto& info) { return std::string(info.param.name); });

void Patch(Bytes& cab, const std::string& from, const std::string& to)
{
    ASSERT_EQ(from.size(), to.size());
    for (std::size_t i = 0; i + from.size() <= cab.size(); ++i) {
        if (std::memcmp(cab.data() + i, from.data(), from.size()) == 0) {
            std::memcpy(cab.data() + i, to.data(), to.size());
            return;
        }
    }
    FAIL() << "no " << from << " in the cabinet";
}

TEST_F(Cabinet, EscapingNamesAreRefusedAndTheRestExtracted)
{
    Bytes cab = ReadBytes(Fixture("evil.cab"));
    Patch(cab, "zz\\ynbup.txt", "..\\ynbup.txt");
    Patch(cab, "Qynbroot.txt", "\\ynbroot.txt");
    Patch(cab, "CQ\\ynbdrive.txt", "C:\\ynbdrive.txt");
    Patch(cab, "aQynbstream.txt", "a:ynbstream.txt");
    Patch(cab, "nuq.txt", "nul.txt");
    Patch(cab, "ynbdotQ", "ynbdot.");
    const std::string cabPath = work_ + "\\evil.cab";
    WriteBytes(cabPath, cab);
    (void)DeleteFileA("C:\\ynbdrive.txt");

    ReportRecorder reports;
    ExtractCabinet(cabPath.c_str(), dest_.c_str());
    EXPECT_EQ(kFailed, reports.Get().back().text);
    for (const char* refusal : { "Refused to extract '..\\ynbup.txt': parent folder component\n",
             "Refused to extract '\\ynbroot.txt': absolute path\n",
             "Refused to extract 'C:\\ynbdrive.txt': drive or stream name\n",
             "Refused to extract 'a:ynbstream.txt': drive or stream name\n",
             "Refused to extract 'nul.txt': device name\n",
             "Refused to extract 'ynbdot.': component ending in a dot or space\n",
             "6 file(s) of the cabinet were refused and not extracted\n" })
        EXPECT_TRUE(reports.Has(refusal)) << refusal << "\n" << reports.Dump();

    EXPECT_EQ(ReadBytes(Fixture("evil\\good.txt")), ReadBytes(dest_ + "good.txt"));
    EXPECT_EQ(ReadBytes(Fixture("evil\\last.txt")), ReadBytes(dest_ + "last.txt"));
    EXPECT_FALSE(Exists(work_ + "\\ynbup.txt"));
    EXPECT_FALSE(Exists(dest_ + "ynbroot.txt"));
    EXPECT_FALSE(Exists("\\ynbroot.txt"));
    EXPECT_FALSE(Exists("C:\\ynbdrive.txt"));
    EXPECT_FALSE(Exists(dest_ + "a"));
    EXPECT_FALSE(Exists(dest_ + "ynbdot"));
    // Only the two good files arrived.
    int count = 0;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((dest_ + "*").c_str(), &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    do
        count += data.cFileName[0] != '.';
    while (FindNextFileA(find, &data));
    FindClose(find);
    EXPECT_EQ(2, count);
}

TEST_F(Cabinet, TooLongDestinationIsRefused)
{
    const std::string cabPath = Copy("ynbpack.cab", "in.cab");
    const std::string longDest = work_ + "\\" + std::string(254 - work_.size(), 'd') + "\\"; // 256 bytes
    ASSERT_EQ(256u, longDest.size());
    ReportRecorder reports;
    ExtractCabinet(cabPath.c_str(), longDest.c_str());
    ASSERT_EQ(2u, reports.Get().size()) << reports.Dump();
    EXPECT_EQ("Destination folder is too long: 256 bytes, at most 255\n", reports.Get()[0].text);
    EXPECT_EQ("error", reports.Get()[0].caption);
    EXPECT_EQ(kFailed, reports.Get()[1].text);
}

TEST_F(Cabinet, OutputPathsBeyond255BytesAreRefused)
{
    const std::string cabPath = Copy("ynbpack.cab", "in.cab");
    const CabHeader header = ReadCabinetHeader(ReadBytes(cabPath));
    std::string dest = work_ + "\\";
    while (dest.size() < 243)
        dest += std::string(std::min<std::size_t>(60, 242 - dest.size()), 'p') + "\\";
    ASSERT_EQ(243u, dest.size());
    ReportRecorder reports;
    ExtractCabinet(cabPath.c_str(), dest.c_str());
    EXPECT_EQ(kFailed, reports.Get().back().text);
    int refused = 0;
    for (const CabEntry& e : header.entries) {
        SCOPED_TRACE(e.name);
        if (dest.size() + e.name.size() >= 256) {
            ++refused;
            EXPECT_TRUE(reports.Has("Refused to extract '" + e.name + "': the output path is longer than 255 bytes\n"));
        } else {
            EXPECT_TRUE(Exists(dest + e.name));
        }
    }
    EXPECT_GT(refused, 0);
    EXPECT_LT(refused, static_cast<int>(header.entries.size()));
    EXPECT_TRUE(reports.Has(std::to_string(refused) + " file(s) of the cabinet were refused and not extracted\n"));
}

TEST_F(Cabinet, MissingCabinetCannotBeOpened)
{
    const std::string cabPath = work_ + "\\missing.cab";
    ReportRecorder reports;
    EXPECT_EQ(0, RunExtraction(cabPath.c_str()));
    ASSERT_EQ(1u, reports.Get().size());
    EXPECT_EQ("Unable to open '" + cabPath + "' for input\n", reports.Get()[0].text);
    EXPECT_EQ("error", reports.Get()[0].caption);
}

TEST_F(Cabinet, CreateIntermediateFoldersMakesParentsFirst)
{
    const std::string file = work_ + "\\a\\b\\c\\file.txt";
    CreateIntermediateFolders(file.c_str());
    EXPECT_TRUE(GetFileAttributesA((work_ + "\\a\\b\\c").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    // Again: the probe finds the folder; nothing changes.
    CreateIntermediateFolders(file.c_str());
    EXPECT_TRUE(Exists(work_ + "\\a\\b\\c"));
    // A Shift-JIS folder name whose trail byte is 0x5C ("表") is one folder.
    const std::string sjis = work_ + "\\\x95\x5c\\x.txt";
    CreateIntermediateFolders(sjis.c_str());
    EXPECT_TRUE(Exists(work_ + "\\\x95\x5c\\"));
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((work_ + "\\*").c_str(), &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    do
        if (data.cFileName[0] != '.')
            names.push_back(data.cFileName);
    while (FindNextFileA(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::string> { "a", "\x95\x5c" }), names);
}

TEST_F(Cabinet, CallbacksAreBinaryAndTruncate)
{
    std::string path = work_ + "\\cb.bin";
    WriteBytes(path, Bytes(100, 'x'));
    const INT_PTR out = CabOpen(path.data(), kOpenOutputFlags | kOpenTruncate, kOutputPermission);
    ASSERT_NE(-1, out);
    char text[] = "a\nb";
    EXPECT_EQ(3u, CabWrite(out, text, 3));
    EXPECT_EQ(0, CabClose(out));
    EXPECT_EQ(Bytes({ 'a', '\n', 'b' }), ReadBytes(path));

    const INT_PTR in = CabOpen(path.data(), kOpenCabinetFlags, 0);
    ASSERT_NE(-1, in);
    EXPECT_EQ(3, CabSeek(in, 0, SEEK_END));
    EXPECT_EQ(1, CabSeek(in, 1, SEEK_SET));
    char buffer[8] = {};
    EXPECT_EQ(2u, CabRead(in, buffer, sizeof buffer));
    EXPECT_EQ(std::string("\nb"), std::string(buffer, 2));
    EXPECT_EQ(0u, CabRead(in, buffer, sizeof buffer));
    EXPECT_EQ(0, CabClose(in));

    std::string missing = work_ + "\\missing.bin";
    EXPECT_EQ(-1, CabOpen(missing.data(), kOpenCabinetFlags, 0));
    void* block = CabAlloc(1000);
    ASSERT_NE(nullptr, block);
    std::memset(block, 1, 1000);
    CabFree(block);
}

TEST(CabinetReports, ErrorTextsAndTheSilentHook)
{
    const char* texts[] = { "No error", "Cabinet not found", "Not a cabinet", "Unknown cabinet version",
        "Corrupt cabinet", "Memory allocation failed", "Unknown compression type", "Failure decompressing data",
        "Failure writing to target file", "Cabinets in set have different RESERVE sizes",
        "Cabinet returned on fdintNEXT_CABINET is incorrect", "User aborted" };
    for (int code = 0; code < 12; ++code)
        EXPECT_STREQ(texts[code], CabinetErrorText(code));
    EXPECT_STREQ("Unknown error", CabinetErrorText(12));
    EXPECT_STREQ("Unknown error", CabinetErrorText(-1));
    EXPECT_STREQ("Cabinet library (cabinet.dll) could not be loaded", CabinetErrorText(kErrorLibraryMissing));
    EXPECT_STREQ("Cabinet library lacks an FDI entry point", CabinetErrorText(kErrorEntryPointMissing));
    EXPECT_EQ(&SilentReport, ReportMessage);
    EXPECT_EQ(6, ReportMessage("text", "caption", 4));
}

TEST(CabinetLibrary, BindsTheSystemLibraryAndAnswersFalseWithoutIt)
{
    ERF error = {};
    const HFDI context
        = BindCabinetLibrary(CabAlloc, CabFree, CabOpen, CabRead, CabWrite, CabClose, CabSeek, 1, &error);
    ASSERT_NE(nullptr, context);
    EXPECT_EQ(TRUE, ReleaseCabinetLibrary(context));
    // Released: the entry points are gone, and every call answers false.
    FDICABINETINFO info;
    EXPECT_FALSE(IsCabinetFile(context, 0, &info));
    EXPECT_FALSE(
        CopyCabinetFiles(context, const_cast<char*>("x"), const_cast<char*>(""), 0, OnCabinetNotify, nullptr, nullptr));
    EXPECT_FALSE(ReleaseCabinetLibrary(context));
}

TEST(CabinetNotify, OtherNotificationsAndInformationReports)
{
    ReportRecorder reports;
    FDINOTIFICATION record = {};
    record.psz1 = const_cast<char*>("next.cab");
    record.psz2 = const_cast<char*>("disk 2");
    record.psz3 = const_cast<char*>("C:\\cabs\\");
    EXPECT_EQ(0, OnCabinetNotify(fdintPARTIAL_FILE, &record));
    EXPECT_EQ(0, OnCabinetNotify(fdintNEXT_CABINET, &record));
    EXPECT_EQ(0, OnCabinetNotify(fdintENUMERATE, &record));
    ASSERT_EQ(2u, reports.Get().size());
    EXPECT_EQ("fdintPARTIAL_FILE\n   name of continued file            = next.cab\n"
              "   name of cabinet where file starts = disk 2\n   name of disk where file starts    = C:\\cabs\\\n",
        reports.Get()[0].text);
    EXPECT_EQ(Sjis(u8"キャビネットファイルの情報2"), reports.Get()[0].caption);
    EXPECT_EQ("fdintNEXT_CABINET\n   name of next cabinet where file continued = next.cab\n"
              "   name of next disk where file continued    = disk 2\n"
              "   cabinet path name                         = C:\\cabs\\\n\n",
        reports.Get()[1].text);
    EXPECT_EQ(Sjis(u8"キャビネットファイルの情報"), reports.Get()[1].caption);
}

} // namespace
