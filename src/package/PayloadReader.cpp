#include "package/PayloadReader.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>

#include "package/ClsSecurity.h"
#include "package/EmbeddedParts.h"
#include "package/PayloadBlocks.h"
#include "package/Sha256.h"

namespace package {

bool PayloadFile::Open(const char* path, std::string& detail, DWORD& error)
{
    offset_ = 0;
    // A single-file setup's payload lies inside its own file; whatever lies
    // beside it under the payload's name is not read.
    if (IsSingleFile()) {
        config::EmbeddedRange range;
        file_.Reset(OpenEmbeddedPart(config::EmbeddedPart::Payload, range, detail, error));
        if (!file_)
            return false;
        if (range.size > INT32_MAX) {
            detail = "the payload has 2 GiB or more";
            return false;
        }
        offset_ = range.offset;
        size_ = range.size;
        return true;
    }
    file_.Reset(
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size {};
    char line[320];
    if (!file_ || !GetFileSizeEx(file_.Get(), &size)) {
        error = GetLastError();
        (void)std::snprintf(line, sizeof line, "cannot open '%s' (error %lu)", path, error);
        detail = line;
        return false;
    }
    if (size.QuadPart > INT32_MAX) {
        (void)std::snprintf(line, sizeof line, "'%s' has 2 GiB or more", path);
        detail = line;
        return false;
    }
    size_ = static_cast<uint64_t>(size.QuadPart);
    return true;
}

long PayloadFile::ReadAt(uint64_t offset, void* buffer, DWORD count) const
{
    // Never past the payload, into what follows it in the program's file.
    if (offset >= size_)
        return 0;
    count = static_cast<DWORD>(std::min<uint64_t>(count, size_ - offset));
    offset += offset_;
    OVERLAPPED at {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    if (!ReadFile(file_.Get(), buffer, count, &read, &at))
        return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return static_cast<long>(read);
}

bool DigestMatches(
    const PayloadFile& file, const std::vector<unsigned char>& expected, std::string& detail, DWORD& error)
{
    constexpr DWORD kPiece = 1 << 20;
    std::unique_ptr<unsigned char[]> piece(new (std::nothrow) unsigned char[kPiece]);
    if (!piece) {
        detail = "no memory to check the payload";
        return false;
    }
    Sha256 hash;
    for (uint64_t at = 0; at < file.Size();) {
        const auto want = static_cast<DWORD>(std::min<uint64_t>(kPiece, file.Size() - at));
        if (file.ReadAt(at, piece.get(), want) != static_cast<long>(want)) {
            error = GetLastError();
            detail = "a read of the payload failed (error " + std::to_string(error) + ")";
            return false;
        }
        hash.Update(piece.get(), want);
        at += want;
    }
    unsigned char digest[kSha256Size];
    hash.Final(digest);
    if (expected.size() != kSha256Size || std::memcmp(digest, expected.data(), kSha256Size) != 0) {
        detail = "the payload is not the one this program was made with (its SHA-256 differs)";
        return false;
    }
    return true;
}

CabinetReader::CabinetReader(const PayloadFile& file, int32_t key)
    : file_(file)
    , key_(key)
    , block_(new (std::nothrow) unsigned char[kPayloadBlockSize])
{
}

long CabinetReader::Read(uint64_t position, unsigned char* out, std::size_t count)
{
    std::size_t done = 0;
    while (done < count && position + done < file_.Size()) {
        const uint64_t at = position + done;
        const uint64_t block = at / kPayloadBlockSize;
        if (block != cached_ && !Load(block))
            return -1;
        const std::size_t offset = static_cast<std::size_t>(at % kPayloadBlockSize);
        const std::size_t n = std::min<std::size_t>(count - done, length_ - offset);
        std::memcpy(out + done, block_.get() + offset, n);
        done += n;
    }
    return static_cast<long>(done);
}

bool CabinetReader::Load(uint64_t block)
{
    const uint64_t start = block * kPayloadBlockSize;
    const auto expected = static_cast<DWORD>(std::min<uint64_t>(kPayloadBlockSize, file_.Size() - start));
    cached_ = UINT64_MAX;
    const long read = file_.ReadAt(start, block_.get(), expected);
    if (read != static_cast<long>(expected)) {
        if (read >= 0)
            SetLastError(ERROR_HANDLE_EOF); // shorter than its size said
        return false;
    }
    if (expected == kPayloadBlockSize) // a partial last block is stored plain
        (void)ClsSecurity::Unscramble(block_.get(), kPayloadBlockSize, key_);
    cached_ = block;
    length_ = expected;
    return true;
}

bool ReadPayloadTable(CabinetReader& reader, CabinetTable& table, CabinetTableProblem& problem, bool& readFailed)
{
    const uint64_t size = reader.FileSize();
    std::vector<unsigned char> head(static_cast<std::size_t>(std::min<uint64_t>(size, kPayloadBlockSize)));
    readFailed = false;
    for (;;) {
        if (reader.Read(0, head.data(), head.size()) != static_cast<long>(head.size())) {
            readFailed = true;
            return false;
        }
        std::size_t needed = 0;
        problem = ReadCabinetTable(head.data(), head.size(), size, table, &needed);
        if (problem == CabinetTableProblem::NeedMore && needed > head.size() && needed <= size) {
            head.resize(needed);
            continue;
        }
        return problem == CabinetTableProblem::None;
    }
}

} // namespace package
