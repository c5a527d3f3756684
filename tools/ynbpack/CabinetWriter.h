// Writes a Microsoft Cabinet (version 1.3, MSZIP) in memory: files in the
// order given, packed into folders of bounded uncompressed size so that the
// setup program can extract the folders on several threads, each with a
// decompression context of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Common.h"
#include "package/CabinetTable.h"

namespace ynbpack {

// The default bound of a folder's uncompressed size, and the largest a folder
// (and so a file) can have: 65,535 blocks of 32 KiB.
constexpr uint32_t kDefaultFolderSize = 4u << 20;
constexpr uint32_t kMaxFolderSize = 0xFFFFu * kCabinetBlockSize;

struct CabinetMember {
    std::string name; // stored name, 1 to 255 bytes
    uint16_t date = 0, time = 0; // MS-DOS date and time
    uint16_t attributes = 0;
};

class CabinetWriter {
public:
    // folderSize: a folder is closed when the next file would take its
    // uncompressed size over this bound; a larger file gets a folder of its own.
    explicit CabinetWriter(uint32_t folderSize);
    ~CabinetWriter();
    CabinetWriter(const CabinetWriter&) = delete;
    CabinetWriter& operator=(const CabinetWriter&) = delete;

    // Adds the next file; throws UsageError when the cabinet cannot hold it.
    void Add(const CabinetMember& member, const Bytes& content);
    // The whole cabinet; the writer is spent afterwards. Throws when it would
    // have 2 GiB or more, or no files.
    Bytes Finish();

private:
    struct Folder {
        uint32_t dataStart; // offset in data_
        uint32_t blocks;
    };
    struct File {
        CabinetMember member;
        uint32_t size;
        uint32_t folderOffset;
        uint16_t folder;
    };
    void CloseFolder();
    void CompressBlock(const unsigned char* in, std::size_t length);

    struct Deflater;
    std::unique_ptr<Deflater> deflater_;
    uint32_t folderSize_;
    std::vector<Folder> folders_;
    std::vector<File> files_;
    uint64_t folderBytes_ = 0; // uncompressed bytes of the open folder
    Bytes pending_; // the open folder's bytes not yet in a block
    Bytes data_; // the CFDATA blocks of every folder
};

} // namespace ynbpack
