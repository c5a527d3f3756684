#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "package/CabinetTable.h"

namespace {

using Bytes = std::vector<unsigned char>;
using P = CabinetTableProblem;

// gcab -c -z of a.txt (15 bytes), b.txt (33,600 bytes) and c.txt (3 bytes),
// all of 2020-02-29 12:34:56: one folder of two blocks, checksums by libgcab.
const char kGcab[] = "\x4d\x53\x43\x46\x00\x00\x00\x00\xf1\x00\x00\x00\x00\x00\x00\x00\x2c\x00\x00\x00\x00\x00\x00\x00"
                     "\x03\x01\x01\x00\x03\x00\x00\x00\x00\x00\x00\x00\x6e\x00\x00\x00\x02\x00\x01\x00\x0f\x00\x00\x00"
                     "\x00\x00\x00\x00\x00\x00\x5d\x50\x5c\x64\x20\x00\x61\x2e\x74\x78\x74\x00\x40\x83\x00\x00\x0f\x00"
                     "\x00\x00\x00\x00\x5d\x50\x5c\x64\x20\x00\x62\x2e\x74\x78\x74\x00\x03\x00\x00\x00\x4f\x83\x00\x00"
                     "\x00\x00\x5d\x50\x5c\x64\x20\x00\x63\x2e\x74\x78\x74\x00\xdc\xa5\x7a\xdd\x5c\x00\x00\x80\x43\x4b"
                     "\xed\xc5\xcb\x0d\x80\x20\x14\x00\xb0\xbb\x53\x30\x80\x4b\xf1\x79\x8a\x09\x91\x0b\xfb\x87\x41\x68"
                     "\x2f\xed\x31\xc6\xbc\x53\xcd\xe5\xfb\x63\x5d\xb9\xd4\x16\xcf\xdb\x6d\xdb\xb6\x6d\xdb\xb6\x6d\xdb"
                     "\xb6\x6d\xdb\xb6\x6d\xdb\xb6\x6d\xdb\xb6\x6d\xdb\xb6\x6d\xdb\xb6\x6d\xdb\xb6\x6d\xdb\xb6\x6d\xdb"
                     "\xb6\x6d\xdb\xb6\x6d\xdb\xb6\x6d\xdb\xb6\x6d\xdb\xb6\x6d\xdb\x3e\xea\x0d\xea\x55\xf9\xeb\x17\x00"
                     "\x52\x03\x43\x4b\x4b\x4a\x4e\x49\x4d\x4b\xcf\x48\x4c\x1a\xa5\x47\xe9\x51\x9a\x52\xba\xa2\xb2\x0a"
                     "\x00";

// ynbpack cab --folder-size 20 of a.txt (15 bytes, read-only), sub\b.txt
// (33,600 bytes), zero (empty) and 0x95 0x5C ".txt" (3 bytes): three folders.
const char kYnbpack[]
    = "\x4d\x53\x43\x46\x00\x00\x00\x00\x30\x01\x00\x00\x00\x00\x00\x00\x3c\x00\x00\x00\x00\x00\x00\x00"
      "\x03\x01\x03\x00\x04\x00\x00\x00\x00\x00\x00\x00\x98\x00\x00\x00\x01\x00\x01\x00\xb3\x00\x00\x00"
      "\x02\x00\x01\x00\x21\x01\x00\x00\x01\x00\x01\x00\x0f\x00\x00\x00\x00\x00\x00\x00\x00\x00\x5d\x50"
      "\x5c\x64\x21\x00\x61\x2e\x74\x78\x74\x00\x40\x83\x00\x00\x00\x00\x00\x00\x01\x00\x5d\x50\x5c\x64"
      "\x20\x00\x73\x75\x62\x5c\x62\x2e\x74\x78\x74\x00\x00\x00\x00\x00\x40\x83\x00\x00\x01\x00\x5d\x50"
      "\x5c\x64\x20\x00\x7a\x65\x72\x6f\x00\x03\x00\x00\x00\x00\x00\x00\x00\x02\x00\x5d\x50\x5c\x64\x20"
      "\x00\x95\x5c\x2e\x74\x78\x74\x00\x06\x04\xe9\xfe\x13\x00\x0f\x00\x43\x4b\xcb\x48\xcd\xc9\xc9\xd7"
      "\x51\x48\x4e\x4c\xca\xcc\x4b\x2d\xe1\x02\x00\x8f\xed\xf3\x70\x4a\x00\x00\x80\x43\x4b\xed\xc5\x31"
      "\x01\x00\x20\x08\x00\xb0\xac\x08\x08\xfd\x13\x18\xc4\xed\x59\x9c\xac\xbe\xb3\x61\xdb\xb6\x6d\xdb"
      "\xb6\x6d\xdb\xb6\x6d\xdb\xb6\x6d\xdb\xb6\x6d\xdb\xb6\x6d\xdb\xb6\x6d\xdb\xb6\x6d\xdb\xb6\x6d\xdb"
      "\xb6\x6d\xdb\xb6\x6d\xdb\xb6\x6d\xdb\xb6\x6d\xdb\xb6\x6d\xdb\xb6\x6d\xdb\xf6\xc7\x3f\x69\xe9\xf9"
      "\x4f\x14\x00\x40\x03\x43\x4b\x4b\x4c\x4a\x4e\x49\x4d\x4b\xcf\x48\x1c\xa5\x47\xe9\x51\x9a\x64\x1a"
      "\x00\x44\x49\x04\xa8\x07\x00\x03\x00\x43\x4b\xab\xa8\xac\x02\x00";

template <std::size_t N>
Bytes Of(const char (&text)[N])
{
    return Bytes(text, text + N - 1);
}

// Reads from an exact-size copy of the first `available` bytes, so that
// AddressSanitizer sees any read past them.
P Read(const Bytes& cab, CabinetTable& table, std::size_t available = SIZE_MAX, std::size_t* needed = nullptr,
    uint64_t fileSize = UINT64_MAX)
{
    const Bytes prefix(cab.begin(), cab.begin() + static_cast<std::ptrdiff_t>(std::min(available, cab.size())));
    return ReadCabinetTable(
        prefix.data(), prefix.size(), fileSize == UINT64_MAX ? cab.size() : fileSize, table, needed);
}

uint32_t Get(const Bytes& b, std::size_t at, int size)
{
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | b[at + static_cast<std::size_t>(i)];
    return value;
}

void Put(Bytes& b, std::size_t at, uint32_t value, int size)
{
    for (int i = 0; i < size; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(value >> (8 * i));
}

void Add(Bytes& b, uint32_t value, int size)
{
    b.resize(b.size() + static_cast<std::size_t>(size));
    Put(b, b.size() - static_cast<std::size_t>(size), value, size);
}

// Walks every folder's blocks: each lies in the folder's region, carries the
// checksum of its sizes and data, and together they hold the folder's files.
void ExpectBlocks(const Bytes& cab, const CabinetTable& table)
{
    for (std::size_t i = 0; i < table.folders.size(); ++i) {
        const CabinetFolderEntry& folder = table.folders[i];
        uint64_t at = folder.dataOffset, uncompressed = 0, files = 0;
        for (int block = 0; block < folder.blockCount; ++block) {
            ASSERT_LE(at + kCabinetDataSize, folder.dataEnd);
            const uint32_t cbData = Get(cab, at + 4, 2);
            ASSERT_LE(at + kCabinetDataSize + cbData, folder.dataEnd);
            EXPECT_EQ(Get(cab, at, 4), CabinetChecksum(&cab[at + 4], 4, CabinetChecksum(&cab[at + 8], cbData, 0)));
            uncompressed += Get(cab, at + 6, 2);
            at += kCabinetDataSize + cbData;
        }
        for (const CabinetFileEntry& file : table.files)
            if (file.folder == i)
                files += file.size;
        EXPECT_EQ(files, uncompressed) << "folder " << i;
    }
}

TEST(CabinetTable, ReadsGcabCabinetAndVerifiesItsChecksums)
{
    const Bytes cab = Of(kGcab);
    CabinetTable table;
    ASSERT_EQ(P::None, Read(cab, table));
    EXPECT_EQ(241u, table.cabinetSize);
    ASSERT_EQ(1u, table.folders.size());
    EXPECT_EQ(110u, table.folders[0].dataOffset);
    EXPECT_EQ(2u, table.folders[0].blockCount);
    EXPECT_EQ(kCabinetMszip, table.folders[0].compression);
    EXPECT_EQ(241u, table.folders[0].dataEnd);
    ASSERT_EQ(3u, table.files.size());
    const char* names[] = { "a.txt", "b.txt", "c.txt" };
    const uint32_t sizes[] = { 15, 33600, 3 }, offsets[] = { 0, 15, 33615 };
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(names[i], table.files[i].name);
        EXPECT_EQ(sizes[i], table.files[i].size);
        EXPECT_EQ(offsets[i], table.files[i].folderOffset);
        EXPECT_EQ(0u, table.files[i].folder);
        EXPECT_EQ((40 << 9 | 2 << 5 | 29), table.files[i].date);
        EXPECT_EQ((12 << 11 | 34 << 5 | 28), table.files[i].time);
        EXPECT_EQ(0x20, table.files[i].attributes);
    }
    EXPECT_EQ(33618u, table.totalSize);
    EXPECT_EQ(110u, table.tableEnd);
    ExpectBlocks(cab, table);
}

TEST(CabinetTable, ReadsOurWritersFolders)
{
    const Bytes cab = Of(kYnbpack);
    CabinetTable table;
    ASSERT_EQ(P::None, Read(cab, table));
    ASSERT_EQ(3u, table.folders.size());
    EXPECT_EQ(table.folders[1].dataOffset, table.folders[0].dataEnd);
    EXPECT_EQ(table.folders[2].dataOffset, table.folders[1].dataEnd);
    EXPECT_EQ(cab.size(), table.folders[2].dataEnd);
    ASSERT_EQ(4u, table.files.size());
    const uint16_t folders[] = { 0, 1, 1, 2 };
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(folders[i], table.files[i].folder) << i;
    EXPECT_EQ("sub\\b.txt", table.files[1].name);
    EXPECT_EQ(33600u, table.files[2].folderOffset);
    EXPECT_EQ("\x95\x5c.txt", table.files[3].name);
    EXPECT_EQ(0x21, table.files[0].attributes);
    EXPECT_EQ(33618u, table.totalSize);
    ExpectBlocks(cab, table);
}

TEST(CabinetTable, ChecksumFoldsTrailingBytesHighFirst)
{
    const unsigned char d[] = { 1, 2, 3, 4, 5, 6, 7 };
    EXPECT_EQ(0x04030201u ^ 0x050607u, CabinetChecksum(d, 7, 0));
    EXPECT_EQ(0x04030201u ^ 0x0506u, CabinetChecksum(d, 6, 0));
    EXPECT_EQ(0x04030201u ^ 0x05u, CabinetChecksum(d, 5, 0));
    EXPECT_EQ(0x04030201u ^ 0xA5A5A5A5u, CabinetChecksum(d, 4, 0xA5A5A5A5u));
    EXPECT_EQ(0x12345678u, CabinetChecksum(d, 0, 0x12345678u));
}

// A hand-made table: folders and files as given, the folders' data offsets
// counted from the table's end, dataBytes of zeros after it.
struct Spec {
    uint16_t flags = 0;
    uint16_t headerReserve = 0;
    uint8_t folderReserve = 0, dataReserve = 0;
    struct Folder {
        uint32_t offset;
        uint16_t blocks, type;
    };
    struct File {
        std::string name;
        uint32_t size, offset;
        uint16_t folder;
    };
    std::vector<Folder> folders = { { 0, 2, kCabinetMszip }, { 100, 1, kCabinetStored } };
    std::vector<File> files = { { "a", 10, 0, 0 }, { "dir\\b", 40000, 10, 0 }, { "c", 5, 0, 1 } };
    uint32_t dataBytes = 150;
};
struct Built {
    Bytes bytes;
    std::size_t folders, files, tableEnd; // where the folder and file tables start, and where the table ends
};

Built Build(const Spec& s)
{
    Built b;
    b.bytes = { 'M', 'S', 'C', 'F' };
    b.bytes.resize(kCabinetHeaderSize);
    b.bytes[24] = 3;
    b.bytes[25] = 1;
    if (s.flags & 4) {
        Add(b.bytes, s.headerReserve, 2);
        Add(b.bytes, s.folderReserve, 1);
        Add(b.bytes, s.dataReserve, 1);
        b.bytes.resize(b.bytes.size() + s.headerReserve, 0xAA);
    }
    b.folders = b.bytes.size();
    b.files = b.folders + s.folders.size() * (kCabinetFolderSize + s.folderReserve);
    b.tableEnd = b.files;
    for (const Spec::File& file : s.files)
        b.tableEnd += kCabinetFileSize + file.name.size() + 1;
    for (const Spec::Folder& folder : s.folders) {
        Add(b.bytes, static_cast<uint32_t>(b.tableEnd + folder.offset), 4);
        Add(b.bytes, folder.blocks, 2);
        Add(b.bytes, folder.type, 2);
        b.bytes.resize(b.bytes.size() + s.folderReserve, 0xBB);
    }
    for (const Spec::File& file : s.files) {
        Add(b.bytes, file.size, 4);
        Add(b.bytes, file.offset, 4);
        Add(b.bytes, file.folder, 2);
        Add(b.bytes, 0x5021, 2);
        Add(b.bytes, 0x6000, 2);
        Add(b.bytes, 0x20, 2);
        b.bytes.insert(b.bytes.end(), file.name.begin(), file.name.end());
        b.bytes.push_back(0);
    }
    b.bytes.resize(b.bytes.size() + s.dataBytes);
    Put(b.bytes, 8, static_cast<uint32_t>(b.bytes.size()), 4);
    Put(b.bytes, 16, static_cast<uint32_t>(b.files), 4);
    Put(b.bytes, 26, static_cast<uint32_t>(s.folders.size()), 2);
    Put(b.bytes, 28, static_cast<uint32_t>(s.files.size()), 2);
    Put(b.bytes, 30, s.flags, 2);
    return b;
}

void SetSize(Built& b, std::size_t cbCabinet)
{
    Put(b.bytes, 8, static_cast<uint32_t>(cbCabinet), 4);
}

TEST(CabinetTable, NeedMoreAsksForMoreUntilTheTableIsRead)
{
    Spec reserved;
    reserved.flags = 4;
    reserved.headerReserve = 300;
    for (const Bytes& cab : { Of(kYnbpack), Build(Spec {}).bytes, Build(reserved).bytes }) {
        CabinetTable whole;
        ASSERT_EQ(P::None, Read(cab, whole));
        for (std::size_t available = 0; available < whole.tableEnd; ++available) {
            std::size_t have = available, calls = 0;
            CabinetTable table;
            std::size_t needed = 0;
            P problem;
            while ((problem = Read(cab, table, have, &needed)) == P::NeedMore && ++calls <= 3) {
                ASSERT_GT(needed, have);
                ASSERT_LE(needed, whole.cabinetSize);
                have = needed;
            }
            ASSERT_EQ(P::None, problem) << "from " << available << " bytes after " << calls << " calls";
            EXPECT_EQ(whole.files.size(), table.files.size());
            EXPECT_EQ(whole.files.back().name, table.files.back().name);
        }
    }
}

TEST(CabinetTable, ReserveAreasAreSkippedAndReported)
{
    Spec s;
    s.flags = 4;
    s.headerReserve = 5;
    s.folderReserve = 3;
    s.dataReserve = 7;
    CabinetTable table;
    ASSERT_EQ(P::None, Read(Build(s).bytes, table));
    EXPECT_EQ(5, table.headerReserve);
    EXPECT_EQ(3, table.folderReserve);
    EXPECT_EQ(7, table.dataReserve);
    ASSERT_EQ(2u, table.folders.size());
    EXPECT_EQ(1u, table.folders[1].blockCount);
    EXPECT_EQ("dir\\b", table.files[1].name);
    EXPECT_EQ(40015u, table.totalSize);
}

TEST(CabinetTable, EachFoldersRegionEndsAtTheNextGreaterOffset)
{
    Spec s;
    s.folders = { { 100, 1, 1 }, { 0, 1, 1 }, { 100, 1, 1 }, { 140, 0, 1 } };
    s.files = { { "a", 1, 0, 1 } };
    CabinetTable table;
    const Built b = Build(s);
    ASSERT_EQ(P::None, Read(b.bytes, table));
    const std::size_t ends[] = { 140, 100, 140, 150 };
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(b.tableEnd + ends[i], table.folders[i].dataEnd) << i;
}

// Each case changes the hand-made table before it is laid out, or patches
// the laid-out bytes, or both.
TEST(CabinetTable, RefusesBrokenTablesAndAcceptsTheEdges)
{
    struct Case {
        const char* what;
        void (*spec)(Spec&);
        void (*patch)(Built&);
        P expected;
    };
    // clang-format off
    const Case cases[] = {
        { "longest name", [](Spec& s) { s.files[0].name = std::string(255, 'n'); }, nullptr, P::None },
        { "a file filling its blocks", [](Spec& s) { s.files[1].size = 65526; }, nullptr, P::None },
        { "6 blocks in 50 bytes", [](Spec& s) { s.folders[1].blocks = 6; }, nullptr, P::None },
        { "LZX window 15", [](Spec& s) { s.folders[1].type = 0x0F03; }, nullptr, P::None },
        { "LZX window 21", [](Spec& s) { s.folders[1].type = 0x1503; }, nullptr, P::None },
        { "no files", [](Spec& s) { s.files.clear(); }, nullptr, P::None },
        { "signature", nullptr, [](Built& b) { b.bytes[0] = 'X'; }, P::NotCabinet },
        { "version 1.2", nullptr, [](Built& b) { b.bytes[24] = 2; }, P::Version },
        { "version 2.3", nullptr, [](Built& b) { b.bytes[25] = 2; }, P::Version },
        { "previous cabinet", nullptr, [](Built& b) { b.bytes[30] = 1; }, P::Spanning },
        { "next cabinet", nullptr, [](Built& b) { b.bytes[30] = 2; }, P::Spanning },
        { "continued from", nullptr, [](Built& b) { Put(b.bytes, b.files + 8, 0xFFFD, 2); }, P::Spanning },
        { "continued to", nullptr, [](Built& b) { Put(b.bytes, b.files + 8, 0xFFFE, 2); }, P::Spanning },
        { "continued both ways", nullptr, [](Built& b) { Put(b.bytes, b.files + 8, 0xFFFF, 2); }, P::Spanning },
        { "size past the file", nullptr, [](Built& b) { SetSize(b, b.bytes.size() + 1); }, P::CabinetSize },
        { "size below the header", nullptr, [](Built& b) { SetSize(b, 35); }, P::CabinetSize },
        { "reserve fields past the end", [](Spec& s) { s.flags = 4; }, [](Built& b) { SetSize(b, 38); }, P::Truncated },
        { "header reserve past the end", [](Spec& s) { s.flags = 4; }, [](Built& b) { Put(b.bytes, 36, 0xFFFF, 2); },
            P::Truncated },
        { "folders past the end", nullptr, [](Built& b) { SetSize(b, b.files - 1); }, P::Truncated },
        { "file entry past the end", nullptr, [](Built& b) { SetSize(b, b.files + 15); }, P::Truncated },
        { "last name past the end", nullptr, [](Built& b) { SetSize(b, b.tableEnd - 1); }, P::Truncated },
        { "files inside the folders", nullptr, [](Built& b) { Put(b.bytes, 16, uint32_t(b.files - 1), 4); },
            P::TableOverlap },
        { "no folders", [](Spec& s) { s.folders.clear(); }, nullptr, P::NoFolders },
        { "folder index", nullptr, [](Built& b) { Put(b.bytes, b.files + 8, 2, 2); }, P::FolderIndex },
        { "empty name", [](Spec& s) { s.files[1].name.clear(); }, nullptr, P::Name },
        { "256-byte name", [](Spec& s) { s.files[2].name = std::string(256, 'n'); }, nullptr, P::Name },
        { "past 4 GiB", [](Spec& s) { s.files[0] = { "a", 0x10, 0xFFFFFFF0, 0 }; }, nullptr, P::FileExtent },
        { "past its blocks", [](Spec& s) { s.files[1].size = 65527; }, nullptr, P::FileExtent },
        { "data inside the tables", [](Spec& s) { s.folders[0].offset = UINT32_MAX; }, nullptr, P::FolderData },
        { "data beyond the cabinet", [](Spec& s) { s.folders[1].offset = 151; }, nullptr, P::FolderData },
        { "7 blocks in 50 bytes", [](Spec& s) { s.folders[1].blocks = 7; }, nullptr, P::FolderData },
        { "block reserves", [](Spec& s) { s.flags = 4, s.dataReserve = 43; }, nullptr, P::FolderData },
        { "Quantum", [](Spec& s) { s.folders[1].type = 2; }, nullptr, P::Compression },
        { "type 4", [](Spec& s) { s.folders[1].type = 4; }, nullptr, P::Compression },
        { "MSZIP with more bits", [](Spec& s) { s.folders[1].type = 0x0101; }, nullptr, P::Compression },
        { "LZX with more bits", [](Spec& s) { s.folders[1].type = 0x2F03; }, nullptr, P::Compression },
        { "LZX window 14", [](Spec& s) { s.folders[1].type = 0x0E03; }, nullptr, P::Compression },
        { "LZX window 22", [](Spec& s) { s.folders[1].type = 0x1603; }, nullptr, P::Compression },
    };
    // clang-format on
    for (const Case& c : cases) {
        Spec s;
        if (c.spec != nullptr)
            c.spec(s);
        Built b = Build(s);
        if (c.patch != nullptr)
            c.patch(b);
        CabinetTable table;
        table.cabinetSize = 1234;
        EXPECT_EQ(c.expected, Read(b.bytes, table)) << c.what;
        if (c.expected != P::None) {
            EXPECT_EQ(1234u, table.cabinetSize) << c.what << ": a refused table leaves the result alone";
        }
        EXPECT_STRNE("unknown problem", CabinetTableProblemText(c.expected));
    }
    CabinetTable table;
    const Bytes cab = Of(kYnbpack);
    EXPECT_EQ(P::Truncated, Read(cab, table, SIZE_MAX, nullptr, 20)) << "a file shorter than a header";
    EXPECT_EQ(P::NotCabinet, Read(cab, table, SIZE_MAX, nullptr, 3));
    EXPECT_EQ(P::CabinetSize, Read(cab, table, SIZE_MAX, nullptr, cab.size() - 1));
}

} // namespace
