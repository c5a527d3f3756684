#include "Stamp.h"
#include "Commands.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "package/PayloadStamp.h"
#include "package/Sha256.h"

namespace ynbpack {

namespace {

namespace fs = std::filesystem;

// PE offsets: e_lfanew in the MZ header; in the optional header, the checksum
// and, per magic, the directory count and the directories.
constexpr std::size_t kPeOffsetField = 0x3c;
constexpr std::size_t kCoffSize = 20;
constexpr std::size_t kChecksumField = 64;
constexpr std::size_t kCertificateTable = 4; // the data directory entry of the Authenticode signature
static_assert(kSha256Size == kPayloadStampDigestSize);

// Throws unless data is a PE program whose certificate table is empty;
// returns the file offset of its checksum field.
std::size_t CheckUnsignedProgram(const Bytes& data, const std::string& path)
{
    const auto refuse = [&path](const std::string& why) { throw UsageError("'" + path + "' " + why); };
    if (data.size() < kPeOffsetField + 4 || data[0] != 'M' || data[1] != 'Z')
        refuse("is not a Windows program (no MZ header)");
    const std::size_t pe = ReadLe32(data, kPeOffsetField);
    if (pe > data.size() || data.size() - pe < 4 + kCoffSize || std::memcmp(&data[pe], "PE\0\0", 4) != 0)
        refuse("is not a Windows program (no PE header)");
    const std::size_t optional = pe + 4 + kCoffSize;
    const std::size_t optionalSize = ReadLe16(data, pe + 4 + 16);
    if (optionalSize > data.size() - optional)
        refuse("has a truncated optional header");
    std::size_t countField = 0;
    const uint32_t magic = optionalSize >= 2 ? ReadLe16(data, optional) : 0;
    if (magic == 0x10b)
        countField = 92;
    else if (magic == 0x20b)
        countField = 108;
    else
        refuse("has no PE32 or PE32+ optional header");
    if (optionalSize < countField + 4)
        refuse("has a truncated optional header");
    const std::size_t entry = countField + 4 + 8 * kCertificateTable;
    if (ReadLe32(data, optional + countField) > kCertificateTable) {
        if (optionalSize < entry + 8)
            refuse("has truncated data directories");
        if (ReadLe32(data, optional + entry) != 0 || ReadLe32(data, optional + entry + 4) != 0)
            refuse("carries an Authenticode signature: stamp the program before signing it");
    }
    return optional + kChecksumField;
}

// The PE image checksum: 16-bit one's-complement-style sum of the file with
// the checksum field taken as zero, plus the file's length.
uint32_t PeChecksum(const Bytes& data, std::size_t checksumAt)
{
    const auto byte = [&](std::size_t i) -> uint32_t {
        return i >= data.size() || (i >= checksumAt && i < checksumAt + 4) ? 0 : data[i];
    };
    uint64_t sum = 0;
    for (std::size_t i = 0; i < data.size(); i += 2) {
        sum += byte(i) | (byte(i + 1) << 8);
        sum = (sum & 0xffff) + (sum >> 16);
    }
    sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<uint32_t>(sum + data.size());
}

void StoreLe32(Bytes& data, std::size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        data[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(v >> (8 * i));
}

// Where the digest goes: right after the one marker in the program.
std::size_t DigestOffset(const Bytes& data, const std::string& path)
{
    unsigned char marker[kPayloadStampMarkerSize];
    for (std::size_t i = 0; i < kPayloadStampMarkerSize; ++i)
        marker[i] = kPayloadStampArea[i];
    const auto first = std::search(data.begin(), data.end(), marker, marker + kPayloadStampMarkerSize);
    if (first == data.end())
        throw UsageError("'" + path + "' has no payload stamp area (not a setup program of this version?)");
    if (std::search(first + 1, data.end(), marker, marker + kPayloadStampMarkerSize) != data.end())
        throw UsageError("'" + path + "' holds the payload stamp marker more than once; refusing to guess");
    const std::size_t at = static_cast<std::size_t>(first - data.begin()) + kPayloadStampMarkerSize;
    if (data.size() - at < kPayloadStampDigestSize)
        throw UsageError("'" + path + "' ends inside its payload stamp area");
    return at;
}

void WriteReplacing(const std::string& path, const Bytes& data, const std::string& modeOf)
{
    const std::string temporary = path + ".stamping";
    try {
        WriteFile(temporary, data);
    } catch (...) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw;
    }
    std::error_code ec;
    const fs::perms mode = fs::status(modeOf, ec).permissions();
    if (!ec)
        fs::permissions(temporary, mode, ec);
    fs::rename(temporary, path, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw FileError("cannot replace '" + path + "': " + ec.message());
    }
}

} // namespace

void StampSetupProgram(const std::string& setupIn, const std::string& setupOut, const Bytes& payload)
{
    for (const std::string* path : { &setupIn, &setupOut })
        if (path->empty() || *path == "-")
            throw UsageError("stamp needs the setup program as a file, not standard input or output");
    if (payload.empty())
        throw UsageError("the payload is empty: nothing to stamp");
    Bytes program = ReadFile(setupIn);
    const std::size_t checksumAt = CheckUnsignedProgram(program, setupIn);
    const std::size_t at = DigestOffset(program, setupIn);

    unsigned char digest[kSha256Size];
    Sha256::Hash(payload.data(), payload.size(), digest);
    const bool stamped = std::any_of(program.begin() + static_cast<std::ptrdiff_t>(at),
        program.begin() + static_cast<std::ptrdiff_t>(at + kSha256Size), [](unsigned char b) { return b != 0; });
    if (stamped && std::memcmp(&program[at], digest, kSha256Size) != 0)
        std::cerr << "ynbpack: note: '" << setupIn << "' was stamped for another payload; the stamp is replaced\n";
    std::memcpy(&program[at], digest, kSha256Size);

    // The loader ignores a program's checksum, but a checksum there must stay true.
    if (ReadLe32(program, checksumAt) != 0)
        StoreLe32(program, checksumAt, PeChecksum(program, checksumAt));
    WriteReplacing(setupOut, program, setupIn);
}

int CommandStamp(std::vector<std::string> args)
{
    if (args.size() != 2 && args.size() != 3)
        throw UsageError("usage: ynbpack stamp SETUP.exe DATA00.dat [OUT.exe]");
    StampSetupProgram(args[0], args.size() == 3 ? args[2] : args[0], ReadFile(args[1]));
    return 0;
}

} // namespace ynbpack
