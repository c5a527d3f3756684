#include "CabinetWriter.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace ynbpack {

namespace {

constexpr uint16_t kSetId = 0;
constexpr std::size_t kMaxFiles = 0xFFFF;
constexpr std::size_t kMaxFolders = 0xFFFD; // higher indexes mean "continued from or to another cabinet"

void Put16(Bytes& out, uint32_t value)
{
    out.push_back(static_cast<unsigned char>(value));
    out.push_back(static_cast<unsigned char>(value >> 8));
}

void Put32(Bytes& out, uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

} // namespace

// One raw deflate stream (no zlib header), reset for every block.
struct CabinetWriter::Deflater {
    Deflater()
    {
        if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw UsageError("zlib cannot start a deflate stream");
        out.resize(2 + deflateBound(&stream, kCabinetBlockSize));
    }
    ~Deflater() { (void)deflateEnd(&stream); }
    z_stream stream = {};
    Bytes out; // "CK" and one block's deflate stream
};

CabinetWriter::CabinetWriter(uint32_t folderSize)
    : deflater_(std::make_unique<Deflater>())
    , folderSize_(folderSize)
{
}

CabinetWriter::~CabinetWriter() = default;

void CabinetWriter::Add(const CabinetMember& member, const Bytes& content)
{
    if (content.size() > kMaxFolderSize)
        throw UsageError("'" + member.name + "' has more than " + std::to_string(kMaxFolderSize)
            + " bytes, the most a cabinet folder holds");
    if (files_.size() >= kMaxFiles)
        throw UsageError("a cabinet holds at most " + std::to_string(kMaxFiles) + " files");
    const auto size = static_cast<uint32_t>(content.size());
    // Empty files join the open folder; a folder is never left without data
    // while files with data follow.
    if (folders_.empty() || (size > 0 && folderBytes_ > 0 && folderBytes_ + size > folderSize_)) {
        if (!folders_.empty())
            CloseFolder();
        if (folders_.size() >= kMaxFolders)
            throw UsageError("a cabinet holds at most " + std::to_string(kMaxFolders) + " folders");
        folders_.push_back({ static_cast<uint32_t>(data_.size()), 0 });
        folderBytes_ = 0;
    }
    files_.push_back({ member, size, static_cast<uint32_t>(folderBytes_), static_cast<uint16_t>(folders_.size() - 1) });
    folderBytes_ += size;

    // Blocks run across file boundaries: full ones are compressed at once,
    // the rest waits for the next file or the folder's end.
    std::size_t used = 0;
    if (!pending_.empty()) {
        used = std::min<std::size_t>(kCabinetBlockSize - pending_.size(), content.size());
        pending_.insert(pending_.end(), content.begin(), content.begin() + static_cast<std::ptrdiff_t>(used));
        if (pending_.size() < kCabinetBlockSize)
            return;
        CompressBlock(pending_.data(), pending_.size());
        pending_.clear();
    }
    for (; content.size() - used >= kCabinetBlockSize; used += kCabinetBlockSize)
        CompressBlock(content.data() + used, kCabinetBlockSize);
    pending_.assign(content.begin() + static_cast<std::ptrdiff_t>(used), content.end());
}

void CabinetWriter::CloseFolder()
{
    if (!pending_.empty())
        CompressBlock(pending_.data(), pending_.size());
    pending_.clear();
}

// A CFDATA block: "CK" and a complete deflate stream of its own, since the
// decoder keeps no history from one block to the next.
void CabinetWriter::CompressBlock(const unsigned char* in, std::size_t length)
{
    z_stream& stream = deflater_->stream;
    Bytes& out = deflater_->out;
    if (deflateReset(&stream) != Z_OK)
        throw UsageError("zlib cannot reset its deflate stream");
    out[0] = 'C';
    out[1] = 'K';
    stream.next_in = const_cast<Bytef*>(in);
    stream.avail_in = static_cast<uInt>(length);
    stream.next_out = out.data() + 2;
    stream.avail_out = static_cast<uInt>(out.size() - 2);
    if (deflate(&stream, Z_FINISH) != Z_STREAM_END)
        throw UsageError("zlib could not compress a block");
    const std::size_t compressed = out.size() - stream.avail_out;

    const unsigned char sizes[4]
        = { static_cast<unsigned char>(compressed), static_cast<unsigned char>(compressed >> 8),
              static_cast<unsigned char>(length), static_cast<unsigned char>(length >> 8) }; // cbData, cbUncomp
    Put32(data_, CabinetChecksum(sizes, 4, CabinetChecksum(out.data(), compressed, 0)));
    data_.insert(data_.end(), sizes, sizes + 4);
    data_.insert(data_.end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(compressed));
    ++folders_.back().blocks;
    if (data_.size() > static_cast<std::size_t>(INT32_MAX))
        throw UsageError("the cabinet would have 2 GiB or more, which the setup program cannot read");
}

Bytes CabinetWriter::Finish()
{
    if (files_.empty())
        throw UsageError(
            "a cabinet needs at least one file (the setup program takes an empty one for a damaged payload)");
    CloseFolder();

    const uint64_t filesStart = kCabinetHeaderSize + folders_.size() * kCabinetFolderSize;
    uint64_t tableEnd = filesStart;
    for (const File& file : files_)
        tableEnd += kCabinetFileSize + file.member.name.size() + 1;
    const uint64_t total = tableEnd + data_.size();
    if (total > static_cast<uint64_t>(INT32_MAX))
        throw UsageError("the cabinet would have 2 GiB or more, which the setup program cannot read");

    Bytes cabinet = { 'M', 'S', 'C', 'F' };
    cabinet.reserve(static_cast<std::size_t>(total));
    Put32(cabinet, 0);
    Put32(cabinet, static_cast<uint32_t>(total)); // cbCabinet
    Put32(cabinet, 0);
    Put32(cabinet, static_cast<uint32_t>(filesStart)); // coffFiles
    Put32(cabinet, 0);
    cabinet.push_back(3); // version 1.3
    cabinet.push_back(1);
    Put16(cabinet, static_cast<uint32_t>(folders_.size()));
    Put16(cabinet, static_cast<uint32_t>(files_.size()));
    Put16(cabinet, 0); // flags: no reserve, no previous or next cabinet
    Put16(cabinet, kSetId);
    Put16(cabinet, 0); // iCabinet
    for (const Folder& folder : folders_) {
        Put32(cabinet, static_cast<uint32_t>(tableEnd + folder.dataStart));
        Put16(cabinet, folder.blocks);
        Put16(cabinet, kCabinetMszip);
    }
    for (const File& file : files_) {
        Put32(cabinet, file.size);
        Put32(cabinet, file.folderOffset);
        Put16(cabinet, file.folder);
        Put16(cabinet, file.member.date);
        Put16(cabinet, file.member.time);
        Put16(cabinet, file.member.attributes);
        cabinet.insert(cabinet.end(), file.member.name.begin(), file.member.name.end());
        cabinet.push_back(0);
    }
    cabinet.insert(cabinet.end(), data_.begin(), data_.end());
    files_.clear();
    folders_.clear();
    data_.clear();
    return cabinet;
}

} // namespace ynbpack
