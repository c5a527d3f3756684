#include "package/CabinetTable.h"

#include <algorithm>
#include <cstring>

#include "sys/LittleEndian.h"

namespace {

using sys::ReadLe16;
using sys::ReadLe32;
using Problem = CabinetTableProblem;

constexpr uint16_t kFlagPrevious = 0x0001;
constexpr uint16_t kFlagNext = 0x0002;
constexpr uint16_t kFlagReserve = 0x0004;
constexpr std::size_t kReserveFields = 4; // cbCFHeader, cbCFFolder, cbCFData
constexpr uint16_t kContinuedFolder = 0xFFFD; // 0xFFFD to 0xFFFF: a file continued from or to another cabinet

bool KnownCompression(uint16_t type)
{
    if (type == kCabinetStored || type == kCabinetMszip)
        return true;
    // LZX: the window (2^15 to 2^21 bytes) in bits 8-12, nothing else.
    const unsigned window = (type >> 8) & 0x1F;
    return (type & 0xE0FF) == kCabinetLzx && window >= 15 && window <= 21;
}

} // namespace

CabinetTableProblem ReadCabinetTable(
    const unsigned char* data, std::size_t available, uint64_t fileSize, CabinetTable& out, std::size_t* needed)
{
    // Bytes given past the file's end are not the file's.
    const uint64_t readable = std::min<uint64_t>(available, fileSize);
    auto more = [needed](uint64_t size) {
        if (needed != nullptr)
            *needed = static_cast<std::size_t>(size);
        return Problem::NeedMore;
    };

    const uint64_t headerNeed = std::min<uint64_t>(kCabinetHeaderSize, fileSize);
    if (readable < headerNeed)
        return more(headerNeed);
    if (fileSize < 4 || std::memcmp(data, "MSCF", 4) != 0)
        return Problem::NotCabinet;
    if (fileSize < kCabinetHeaderSize)
        return Problem::Truncated;
    if (data[24] != 3 || data[25] != 1)
        return Problem::Version;
    const uint16_t flags = ReadLe16(data + 30);
    if ((flags & (kFlagPrevious | kFlagNext)) != 0)
        return Problem::Spanning;
    const uint32_t cabinetSize = ReadLe32(data + 8);
    if (cabinetSize > fileSize || cabinetSize < kCabinetHeaderSize)
        return Problem::CabinetSize;
    const uint64_t limit = cabinetSize; // nothing of the table may lie past it

    CabinetTable table;
    table.cabinetSize = cabinetSize;
    table.setId = ReadLe16(data + 32);
    uint64_t at = kCabinetHeaderSize;
    if ((flags & kFlagReserve) != 0) {
        if (at + kReserveFields > limit)
            return Problem::Truncated;
        if (readable < at + kReserveFields)
            return more(at + kReserveFields);
        table.headerReserve = ReadLe16(data + at);
        table.folderReserve = data[at + 2];
        table.dataReserve = data[at + 3];
        at += kReserveFields + table.headerReserve;
    }

    const uint16_t folderCount = ReadLe16(data + 26);
    const uint16_t fileCount = ReadLe16(data + 28);
    const uint64_t folderEntry = kCabinetFolderSize + table.folderReserve;
    const uint64_t foldersEnd = at + folderCount * folderEntry;
    if (foldersEnd > limit)
        return Problem::Truncated;
    const uint32_t filesStart = ReadLe32(data + 16);
    if (filesStart < foldersEnd)
        return Problem::TableOverlap;
    if (fileCount > 0 && folderCount == 0)
        return Problem::NoFolders;
    // The most the table can take, every name at its longest: one more read
    // of that many bytes always completes it.
    const uint64_t filesMax = filesStart + uint64_t { fileCount } * (kCabinetFileSize + kCabinetNameMax + 1);
    const uint64_t bound = std::min(limit, std::max(foldersEnd, filesMax));
    if (readable < foldersEnd)
        return more(bound);

    table.folders.reserve(folderCount);
    for (uint16_t i = 0; i < folderCount; ++i) {
        const unsigned char* entry = data + at + i * folderEntry;
        const CabinetFolderEntry folder = { ReadLe32(entry), ReadLe16(entry + 4), ReadLe16(entry + 6), 0 };
        if (!KnownCompression(folder.compression))
            return Problem::Compression;
        table.folders.push_back(folder);
    }

    uint64_t tableEnd = foldersEnd;
    table.files.reserve(fileCount);
    for (uint64_t i = 0, pos = filesStart; i < fileCount; ++i) {
        if (pos + kCabinetFileSize > limit)
            return Problem::Truncated;
        if (pos + kCabinetFileSize > readable)
            return more(bound);
        const unsigned char* entry = data + pos;
        CabinetFileEntry file = { {}, ReadLe32(entry), ReadLe32(entry + 4), ReadLe16(entry + 8), ReadLe16(entry + 10),
            ReadLe16(entry + 12), ReadLe16(entry + 14) };
        if (file.folder >= kContinuedFolder)
            return Problem::Spanning;
        if (file.folder >= folderCount)
            return Problem::FolderIndex;
        if (static_cast<uint64_t>(file.folderOffset) + file.size > UINT32_MAX)
            return Problem::FileExtent;

        const uint64_t nameStart = pos + kCabinetFileSize;
        const uint64_t nameLimit = std::min(nameStart + kCabinetNameMax + 1, limit);
        const uint64_t scanEnd = std::min(nameLimit, readable);
        const auto* name = data + nameStart;
        const auto* terminator = static_cast<const unsigned char*>(std::memchr(name, 0, scanEnd - nameStart));
        if (terminator == nullptr) {
            if (scanEnd < nameLimit)
                return more(bound);
            return limit < nameStart + kCabinetNameMax + 1 ? Problem::Truncated : Problem::Name;
        }
        if (terminator == name)
            return Problem::Name;
        file.name.assign(reinterpret_cast<const char*>(name), static_cast<std::size_t>(terminator - name));
        pos = nameStart + file.name.size() + 1;
        tableEnd = pos;
        table.totalSize += file.size;
        table.files.push_back(std::move(file));
    }
    table.tableEnd = static_cast<uint32_t>(tableEnd);

    // Each folder's blocks lie between its data offset and the next greater
    // one (or the cabinet's end); every block takes at least its header.
    std::vector<uint32_t> offsets;
    offsets.reserve(folderCount);
    for (const CabinetFolderEntry& folder : table.folders) {
        if (folder.dataOffset < tableEnd || folder.dataOffset > limit)
            return Problem::FolderData;
        offsets.push_back(folder.dataOffset);
    }
    std::sort(offsets.begin(), offsets.end());
    for (CabinetFolderEntry& folder : table.folders) {
        const auto next = std::upper_bound(offsets.begin(), offsets.end(), folder.dataOffset);
        folder.dataEnd = next == offsets.end() ? cabinetSize : *next;
        const uint64_t blocksMin = static_cast<uint64_t>(folder.blockCount) * (kCabinetDataSize + table.dataReserve);
        if (blocksMin > folder.dataEnd - folder.dataOffset)
            return Problem::FolderData;
    }
    for (const CabinetFileEntry& file : table.files) {
        const uint64_t capacity = static_cast<uint64_t>(table.folders[file.folder].blockCount) * kCabinetBlockSize;
        if (static_cast<uint64_t>(file.folderOffset) + file.size > capacity)
            return Problem::FileExtent;
    }
    out = std::move(table);
    return Problem::None;
}

const char* CabinetTableProblemText(CabinetTableProblem problem)
{
    switch (problem) {
    case Problem::None:
        return "a readable table";
    case Problem::NeedMore:
        return "the table runs past the bytes read";
    case Problem::NotCabinet:
        return "not a cabinet (no MSCF signature)";
    case Problem::Version:
        return "a cabinet format version other than 1.3";
    case Problem::Spanning:
        return "part of a set of chained cabinets";
    case Problem::CabinetSize:
        return "a cabinet size larger than the file or smaller than the header";
    case Problem::Truncated:
        return "a table running past the cabinet's end";
    case Problem::TableOverlap:
        return "the file table overlaps the header or the folder table";
    case Problem::NoFolders:
        return "files but no folders";
    case Problem::FolderIndex:
        return "a file in a folder that does not exist";
    case Problem::Name:
        return "an empty or unterminated file name";
    case Problem::FileExtent:
        return "a file reaching past its folder's data";
    case Problem::FolderData:
        return "a folder's data outside the cabinet's data area";
    case Problem::Compression:
        return "an unsupported compression type";
    }
    return "unknown problem";
}

uint32_t CabinetChecksum(const unsigned char* data, std::size_t length, uint32_t seed)
{
    uint32_t sum = seed;
    std::size_t i = 0;
    for (; i + 4 <= length; i += 4)
        sum ^= ReadLe32(data + i);
    uint32_t tail = 0;
    for (; i < length; ++i)
        tail = tail << 8 | data[i];
    return sum ^ tail;
}
