// Writes a Microsoft Cabinet (version 1.3; MSZIP, LZX or stored) in memory:
// files in the order given, packed into folders of bounded uncompressed size
// so that the setup program can extract the folders on several threads, each
// with a decompression context of its own. The folders are compressed on as
// many threads as there are processors; the bytes do not depend on it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Errors.h"
#include "Files.h"
#include "package/CabinetTable.h"

namespace ynbpack {

// The default bound of a folder's uncompressed size, and the largest a folder
// (and so a file) can have: 65,535 blocks of 32 KiB.
constexpr uint32_t kDefaultFolderSize = 4u << 20;
constexpr uint32_t kMaxFolderSize = 0xFFFFu * kCabinetBlockSize;

// How the folders are compressed: --compression lzx[:WINDOW] (WINDOW 15 to
// 21, the window's size as a power of two; 21 when left out), mszip or none.
// LZX with the largest window is the default: the smallest payload that
// cabinet.dll decodes.
struct CabinetCompression {
    uint16_t type = kCabinetLzx; // kCabinetLzx, kCabinetMszip or kCabinetStored
    unsigned windowBits = 21; // LZX only
    // typeCompress of the folder records: LZX keeps its window in bits 8-12.
    uint16_t FolderType() const
    {
        return type == kCabinetLzx ? static_cast<uint16_t>(kCabinetLzx | windowBits << 8) : type;
    }
};

// Reads "lzx", "lzx:15" to "lzx:21", "mszip" or "none"; throws UsageError.
CabinetCompression ParseCompression(const std::string& text);

struct CabinetMember {
    std::string name; // stored name, 1 to 255 bytes
    uint16_t date = 0, time = 0; // MS-DOS date and time
    uint16_t attributes = 0;
};

class CabinetWriter {
public:
    // folderSize: a folder is closed when the next file would take its
    // uncompressed size over this bound; a larger file gets a folder of its own.
    CabinetWriter(uint32_t folderSize, CabinetCompression compression);
    ~CabinetWriter();
    CabinetWriter(const CabinetWriter&) = delete;
    CabinetWriter& operator=(const CabinetWriter&) = delete;

    // Adds the next file; throws UsageError when the cabinet cannot hold it.
    void Add(const CabinetMember& member, const Bytes& content);
    // The next file starts a folder of its own.
    void CloseFolder() { closed_ = true; }
    // The whole cabinet; the writer is spent afterwards. Throws when it would
    // have 2 GiB or more, or no files.
    Bytes Finish();

private:
    struct Folder {
        Bytes plain; // the folder's uncompressed bytes
        Bytes data; // its CFDATA blocks
        uint32_t blocks = 0;
        uint32_t files = 0;
        std::string error; // why it could not be compressed
    };
    struct File {
        CabinetMember member;
        uint32_t size;
        uint32_t folderOffset;
        uint16_t folder;
    };
    struct Deflater;
    void Compress(Folder& folder, Deflater& deflater) const;
    void CompressAll();

    uint32_t folderSize_;
    CabinetCompression compression_;
    std::vector<Folder> folders_;
    std::vector<File> files_;
    bool closed_ = false;
};

} // namespace ynbpack
