// The table of a Microsoft Cabinet: its header, folders and file entries,
// read and checked before anything is extracted. The cabinet is untrusted:
// every field is validated, nothing is read past the bytes given, and a
// cabinet the setup program cannot extract on its own (chained to another,
// unknown compression) is refused. The CFDATA blocks are not read here.
// Portable: no Win32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One CFDATA block holds at most this many uncompressed bytes.
constexpr uint32_t kCabinetBlockSize = 32768;
// The fixed part of CFHEADER, of CFFOLDER, of CFFILE and of CFDATA.
constexpr std::size_t kCabinetHeaderSize = 36;
constexpr std::size_t kCabinetFolderSize = 8;
constexpr std::size_t kCabinetFileSize = 16;
constexpr std::size_t kCabinetDataSize = 8;
// A stored name has at most 255 bytes and its terminator.
constexpr std::size_t kCabinetNameMax = 255;

// Folder compression types (the low nibble; LZX keeps its window in bits 8-12).
constexpr uint16_t kCabinetStored = 0;
constexpr uint16_t kCabinetMszip = 1;
constexpr uint16_t kCabinetLzx = 3;

struct CabinetFolderEntry {
    uint32_t dataOffset; // the first CFDATA block
    uint16_t blockCount;
    uint16_t compression; // as stored: kCabinetStored, kCabinetMszip or LZX with its window
    uint32_t dataEnd; // the next greater data offset of any folder, or the cabinet size:
                      // the folder's blocks lie in [dataOffset, dataEnd)
};

struct CabinetFileEntry {
    std::string name; // as stored (Shift-JIS for our cabinets), 1 to 255 bytes, no NUL
    uint32_t size;
    uint32_t folderOffset; // in the folder's uncompressed data
    uint16_t folder; // index into CabinetTable::folders
    uint16_t date, time, attributes; // MS-DOS date and time (local time), FILE_ATTRIBUTE_* bits
};

struct CabinetTable {
    uint32_t cabinetSize = 0; // cbCabinet: bytes past it are not the cabinet's
    uint32_t tableEnd = 0; // the end of the file table; every folder's data lies after it
    uint16_t setId = 0;
    uint16_t headerReserve = 0; // reserve bytes after CFHEADER, in each CFFOLDER and each CFDATA
    uint8_t folderReserve = 0;
    uint8_t dataReserve = 0;
    std::vector<CabinetFolderEntry> folders;
    std::vector<CabinetFileEntry> files; // in stored order
    uint64_t totalSize = 0; // the sum of the files' sizes
};

enum class CabinetTableProblem {
    None,
    NeedMore, // the table runs past the bytes given: read *needed bytes and call again
    NotCabinet, // no "MSCF" signature
    Version, // a format version other than 1.3
    Spanning, // chained to another cabinet, or a file continued from or to one
    CabinetSize, // cbCabinet larger than the file, or smaller than the header
    Truncated, // a header, folder or file table running past the cabinet
    TableOverlap, // the file table starts inside the header or the folder table
    NoFolders, // files but no folders
    FolderIndex, // a file's folder index not below the folder count
    Name, // a name that is empty or has no terminator within 256 bytes
    FileExtent, // a file past 4 GiB in its folder, or past what the folder's blocks can hold
    FolderData, // a folder's data inside the tables, beyond the cabinet, or too short for its blocks
    Compression, // a compression type other than none, MSZIP and LZX (window 15 to 21)
};

// Reads the table from the cabinet's first `available` bytes of a file of
// fileSize bytes. On NeedMore, *needed (when given) is a size greater than
// available and at most fileSize: read that many and call again. The
// header, its reserve fields and then the whole table, whatever the lengths
// of its names, take at most three such rounds. A cabinet without files is a
// table like any other; whether to accept it is the caller's choice. out is
// filled only on None.
CabinetTableProblem ReadCabinetTable(
    const unsigned char* data, std::size_t available, uint64_t fileSize, CabinetTable& out, std::size_t* needed);

// A short English description of the problem, for reports.
const char* CabinetTableProblemText(CabinetTableProblem problem);

// The cabinet checksum: the little-endian 32-bit words of data XORed into
// seed, then the 1 to 3 trailing bytes as (b0 << 16 | b1 << 8 | b2),
// (b0 << 8 | b1) or b0. A CFDATA block's csum is the checksum of its bytes 4
// to 7 (cbData, cbUncomp) seeded with the checksum of its compressed data
// (seed 0); 0 means that the block carries none.
uint32_t CabinetChecksum(const unsigned char* data, std::size_t length, uint32_t seed);
