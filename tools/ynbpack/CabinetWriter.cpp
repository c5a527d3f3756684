#include "CabinetWriter.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <mutex>
#include <thread>

#include "Deflate.h"
#include "LzxEncoder.h"
#include "Progress.h"

namespace ynbpack {

namespace {

constexpr uint16_t kSetId = 0;
constexpr std::size_t kMaxFiles = 0xFFFF;
constexpr std::size_t kMaxFolders = 0xFFFD; // higher indexes mean "continued from or to another cabinet"

} // namespace

CabinetCompression ParseCompression(const std::string& text)
{
    CabinetCompression compression;
    if (text == "mszip") {
        compression.type = kCabinetMszip;
        return compression;
    }
    if (text == "none") {
        compression.type = kCabinetStored;
        return compression;
    }
    if (text == "lzx"
        || (text.size() == 6 && text.rfind("lzx:", 0) == 0 && text[4] >= '1' && text[4] <= '2' && text[5] >= '0'
            && text[5] <= '9')) {
        compression.type = kCabinetLzx;
        if (text.size() == 6)
            compression.windowBits = static_cast<unsigned>((text[4] - '0') * 10 + (text[5] - '0'));
        if (compression.windowBits >= kLzxMinWindowBits && compression.windowBits <= kLzxMaxWindowBits)
            return compression;
    }
    throw UsageError("--compression '" + text + "' is none of lzx, lzx:15 to lzx:21, mszip and none");
}

// The deflate stream of one block, after MSZIP's "CK".
struct CabinetWriter::Deflater {
    Deflater() { out.reserve(2 + kCabinetBlockSize + 16); }
    // "CK" and a complete deflate stream of its own, since the decoder keeps
    // no history from one block to the next.
    void Block(const unsigned char* in, std::size_t length, std::size_t& compressed)
    {
        Deflate(in, length, stream);
        out.assign({ 'C', 'K' });
        out.insert(out.end(), stream.begin(), stream.end());
        compressed = out.size();
    }
    Bytes stream;
    Bytes out;
};

CabinetWriter::CabinetWriter(uint32_t folderSize, CabinetCompression compression)
    : folderSize_(folderSize)
    , compression_(compression)
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
    if (folders_.empty() || closed_
        || (size > 0 && !folders_.back().plain.empty() && folders_.back().plain.size() + size > folderSize_)) {
        closed_ = false;
        if (folders_.size() >= kMaxFolders)
            throw UsageError("a cabinet holds at most " + std::to_string(kMaxFolders) + " folders");
        folders_.emplace_back();
    }
    ++folders_.back().files;
    Bytes& plain = folders_.back().plain;
    files_.push_back({ member, size, static_cast<uint32_t>(plain.size()), static_cast<uint16_t>(folders_.size() - 1) });
    plain.insert(plain.end(), content.begin(), content.end());
}

// The folder's CFDATA blocks, each of 32 KiB of its bytes (the last one
// shorter) and the checksum of what it carries.
void CabinetWriter::Compress(Folder& folder, Deflater& deflater) const
{
    std::vector<Bytes> frames;
    if (compression_.type == kCabinetLzx) {
        LzxOptions options;
        options.windowBits = compression_.windowBits;
        if (!LzxCompress(folder.plain.data(), folder.plain.size(), options, frames)) {
            folder.error = "the LZX encoder could not keep a block within what the decoders read";
            return;
        }
    }
    for (std::size_t at = 0, block = 0; at < folder.plain.size(); at += kCabinetBlockSize, ++block) {
        const std::size_t length = std::min<std::size_t>(kCabinetBlockSize, folder.plain.size() - at);
        const unsigned char* payload = folder.plain.data() + at;
        std::size_t compressed = length;
        if (compression_.type == kCabinetLzx) {
            payload = frames[block].data();
            compressed = frames[block].size();
        } else if (compression_.type == kCabinetMszip) {
            deflater.Block(folder.plain.data() + at, length, compressed);
            payload = deflater.out.data();
        }
        const unsigned char sizes[4]
            = { static_cast<unsigned char>(compressed), static_cast<unsigned char>(compressed >> 8),
                  static_cast<unsigned char>(length), static_cast<unsigned char>(length >> 8) }; // cbData, cbUncomp
        AppendLe32(folder.data, CabinetChecksum(sizes, 4, CabinetChecksum(payload, compressed, 0)));
        folder.data.insert(folder.data.end(), sizes, sizes + 4);
        folder.data.insert(folder.data.end(), payload, payload + compressed);
        ++folder.blocks;
    }
    folder.plain = Bytes();
}

void CabinetWriter::CompressAll()
{
    const std::size_t workers
        = std::max<std::size_t>(1, std::min<std::size_t>(std::thread::hardware_concurrency(), folders_.size()));
    uint64_t total = 0;
    for (const Folder& folder : folders_)
        total += folder.plain.size();
    const char* how = compression_.type == kCabinetLzx ? "compressing (LZX)"
        : compression_.type == kCabinetMszip           ? "compressing (MSZIP)"
                                                       : "storing";
    Progress::Get().Begin(how, files_.size(), total);
    std::atomic<std::size_t> next { 0 };
    std::mutex failureLock;
    std::string failure;
    auto work = [&] {
        try {
            Deflater deflater;
            for (std::size_t i; (i = next++) < folders_.size();) {
                const uint64_t bytes = folders_[i].plain.size();
                Compress(folders_[i], deflater);
                Progress::Get().Advance(folders_[i].files, bytes);
            }
        } catch (const std::exception& e) {
            const std::lock_guard<std::mutex> hold(failureLock);
            failure = e.what();
            next = folders_.size();
        }
    };
    std::vector<std::thread> threads;
    for (std::size_t i = 1; i < workers; ++i)
        threads.emplace_back(work);
    work();
    for (std::thread& thread : threads)
        thread.join();
    Progress::Get().End();
    if (!failure.empty())
        throw UsageError(failure);
    for (const Folder& folder : folders_)
        if (!folder.error.empty())
            throw UsageError(folder.error);
}

Bytes CabinetWriter::Finish()
{
    if (files_.empty())
        throw UsageError(
            "a cabinet needs at least one file (the setup program takes an empty one for a damaged payload)");
    CompressAll();

    const uint64_t filesStart = kCabinetHeaderSize + folders_.size() * kCabinetFolderSize;
    uint64_t tableEnd = filesStart;
    for (const File& file : files_)
        tableEnd += kCabinetFileSize + file.member.name.size() + 1;
    uint64_t total = tableEnd;
    for (const Folder& folder : folders_)
        total += folder.data.size();
    if (total > static_cast<uint64_t>(INT32_MAX))
        throw UsageError("the cabinet would have 2 GiB or more, which the setup program cannot read");

    Bytes cabinet = { 'M', 'S', 'C', 'F' };
    cabinet.reserve(static_cast<std::size_t>(total));
    AppendLe32(cabinet, 0);
    AppendLe32(cabinet, static_cast<uint32_t>(total)); // cbCabinet
    AppendLe32(cabinet, 0);
    AppendLe32(cabinet, static_cast<uint32_t>(filesStart)); // coffFiles
    AppendLe32(cabinet, 0);
    cabinet.push_back(3); // version 1.3
    cabinet.push_back(1);
    AppendLe16(cabinet, static_cast<uint32_t>(folders_.size()));
    AppendLe16(cabinet, static_cast<uint32_t>(files_.size()));
    AppendLe16(cabinet, 0); // flags: no reserve, no previous or next cabinet
    AppendLe16(cabinet, kSetId);
    AppendLe16(cabinet, 0); // iCabinet
    for (uint64_t dataStart = tableEnd; const Folder& folder : folders_) {
        AppendLe32(cabinet, static_cast<uint32_t>(dataStart));
        AppendLe16(cabinet, folder.blocks);
        AppendLe16(cabinet, compression_.FolderType());
        dataStart += folder.data.size();
    }
    for (const File& file : files_) {
        AppendLe32(cabinet, file.size);
        AppendLe32(cabinet, file.folderOffset);
        AppendLe16(cabinet, file.folder);
        AppendLe16(cabinet, file.member.date);
        AppendLe16(cabinet, file.member.time);
        AppendLe16(cabinet, file.member.attributes);
        cabinet.insert(cabinet.end(), file.member.name.begin(), file.member.name.end());
        cabinet.push_back(0);
    }
    for (const Folder& folder : folders_)
        cabinet.insert(cabinet.end(), folder.data.begin(), folder.data.end());
    files_.clear();
    folders_.clear();
    return cabinet;
}

} // namespace ynbpack
