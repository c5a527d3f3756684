#include "Stamp.h"
#include "Commands.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "Host.h"
#include "package/PayloadStamp.h"
#include "package/Sha256.h"

namespace ynbpack {

namespace {

namespace fs = std::filesystem;

static_assert(kSha256Size == kPayloadStampDigestSize);

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

} // namespace

void StampProgram(PeImage& image, const unsigned char* payload, std::size_t size)
{
    if (image.Signed())
        throw UsageError(
            "'" + image.What() + "' carries an Authenticode signature: stamp the program before signing it");
    if (size == 0)
        throw UsageError("the payload is empty: nothing to stamp");
    Bytes& program = image.Data();
    const std::size_t at = DigestOffset(program, image.What());
    unsigned char digest[kSha256Size];
    Sha256::Hash(payload, size, digest);
    const bool stamped = std::any_of(program.begin() + static_cast<std::ptrdiff_t>(at),
        program.begin() + static_cast<std::ptrdiff_t>(at + kSha256Size), [](unsigned char b) { return b != 0; });
    if (stamped && std::memcmp(&program[at], digest, kSha256Size) != 0)
        std::cerr << "ynbpack: note: '" << image.What() << "' was stamped for another payload; the stamp is replaced\n";
    std::memcpy(&program[at], digest, kSha256Size);
    image.UpdateChecksum();
}

void WriteReplacing(const std::string& path, const Bytes& data, const std::string& modeOf)
{
    const std::string temporary = path + ".writing";
    try {
        WriteFile(temporary, data);
    } catch (...) {
        std::error_code ignored;
        fs::remove(PathOf(temporary), ignored);
        throw;
    }
    std::error_code ec;
    const fs::perms mode = fs::status(PathOf(modeOf), ec).permissions();
    if (!ec)
        fs::permissions(PathOf(temporary), mode, ec);
    fs::rename(PathOf(temporary), PathOf(path), ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(PathOf(temporary), ignored);
        throw FileError("cannot replace '" + path + "': " + ec.message());
    }
}

void StampSetupProgram(const std::string& setupIn, const std::string& setupOut, const Bytes& payload)
{
    for (const std::string* path : { &setupIn, &setupOut })
        if (path->empty() || *path == "-")
            throw UsageError("stamp needs the setup program as a file, not standard input or output");
    if (payload.empty())
        throw UsageError("the payload is empty: nothing to stamp");
    PeImage program(ReadFile(setupIn), setupIn);
    StampProgram(program, payload.data(), payload.size());
    WriteReplacing(setupOut, program.Data(), setupIn);
}

int CommandStamp(std::vector<std::string> args)
{
    if (args.size() != 2 && args.size() != 3)
        throw UsageError("usage: ynbpack stamp SETUP.exe DATA00.dat [OUT.exe]");
    StampSetupProgram(args[0], args.size() == 3 ? args[2] : args[0], ReadFile(args[1]));
    return 0;
}

} // namespace ynbpack
