#include "Artwork.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>

#include "Host.h"

namespace ynbpack {

namespace {

namespace fs = std::filesystem;

std::string Size(int64_t width, int64_t height)
{
    return std::to_string(width) + " x " + std::to_string(height);
}

struct Picture {
    const char* name;
    const char* role;
    bool icon;
    std::vector<int> sizes; // the bitmap's width and height, or the icon's needed sizes
};

const Picture kPictures[] = {
    { "image1.bmp", "the picture on the left of the wizard's pages", false, { 125, 246 } },
    { "image2.ico", "the icon beside the wizard's page titles", true, { 32 } },
    { "program.ico", "the programs' own icon", true, { 16, 32 } },
};

} // namespace

std::string BitmapProblem(const Bytes& data, int width, int height)
{
    if (data.size() < 26 || data[0] != 'B' || data[1] != 'M')
        return "not a Windows bitmap (no BM header)";
    const uint64_t offset = ReadLe32(data, 10);
    const uint64_t headerSize = ReadLe32(data, 14);
    int64_t w = 0;
    int64_t h = 0;
    uint32_t planes = 0;
    uint32_t bits = 0;
    uint32_t compression = 0;
    if (headerSize == 12) {
        w = ReadLe16(data, 18);
        h = ReadLe16(data, 20);
        planes = ReadLe16(data, 22);
        bits = ReadLe16(data, 24);
    } else if (headerSize >= 40 && 14 + headerSize <= data.size()) {
        w = static_cast<int32_t>(ReadLe32(data, 18));
        h = static_cast<int32_t>(ReadLe32(data, 22));
        planes = ReadLe16(data, 26);
        bits = ReadLe16(data, 28);
        compression = ReadLe32(data, 30);
    } else {
        return "not a Windows bitmap (an information header of " + std::to_string(headerSize) + " bytes)";
    }
    if (w != width || (h != height && h != -height))
        return Size(w, h < 0 ? -h : h) + " pixels; it must be " + Size(width, height);
    const uint32_t depths[] = { 1, 4, 8, 16, 24, 32 };
    if (planes != 1 || std::find(std::begin(depths), std::end(depths), bits) == std::end(depths))
        return "a bitmap of " + std::to_string(bits) + " bits a pixel in " + std::to_string(planes)
            + " planes, which Windows does not draw";
    // 0 none, 1 RLE8, 2 RLE4, 3 bit fields.
    const bool known = compression == 0 || (compression == 1 && bits == 8) || (compression == 2 && bits == 4)
        || (compression == 3 && (bits == 16 || bits == 32));
    if (!known)
        return "compression " + std::to_string(compression) + " at " + std::to_string(bits)
            + " bits a pixel, which Windows does not draw";
    if (offset < 14 + headerSize || offset >= data.size())
        return "its pixels would start at byte " + std::to_string(offset) + ", outside the file";
    if (compression == 0 || compression == 3) {
        const uint64_t stride = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
        const uint64_t end = offset + stride * static_cast<uint64_t>(height);
        if (end > data.size())
            return "cut short: its pixels end at byte " + std::to_string(end) + ", the file has "
                + std::to_string(data.size());
    }
    return {};
}

std::string IconProblem(const Bytes& data, const std::vector<int>& sizes)
{
    if (data.size() < 6 || ReadLe16(data, 0) != 0 || ReadLe16(data, 2) != 1 || ReadLe16(data, 4) == 0)
        return "not an icon file (no icon header)";
    const uint64_t count = ReadLe16(data, 4);
    const uint64_t directoryEnd = 6 + 16 * count;
    if (directoryEnd > data.size())
        return "cut short: its directory of " + std::to_string(count) + " images does not fit";
    static const unsigned char kPng[8] = { 0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A };
    std::vector<int> held;
    for (uint64_t i = 0; i < count; ++i) {
        const std::size_t entry = 6 + 16 * i;
        const int w = data[entry] == 0 ? 256 : data[entry];
        const int h = data[entry + 1] == 0 ? 256 : data[entry + 1];
        const uint64_t bytes = ReadLe32(data, entry + 8);
        const uint64_t at = ReadLe32(data, entry + 12);
        const std::string which = "its image " + std::to_string(i + 1) + " (" + Size(w, h) + ")";
        if (bytes < 8 || at < directoryEnd || at + bytes > data.size())
            return which + " lies outside the file";
        if (std::memcmp(&data[at], kPng, sizeof kPng) != 0) {
            if (bytes < 40 || ReadLe32(data, at) != 40)
                return which + " is neither a bitmap nor PNG";
            const int64_t dibWidth = static_cast<int32_t>(ReadLe32(data, at + 4));
            const int64_t dibHeight = static_cast<int32_t>(ReadLe32(data, at + 8));
            if (dibWidth != w || dibHeight != 2 * h)
                return which + " holds a bitmap of " + Size(dibWidth, dibHeight / 2) + " pixels";
        }
        if (w == h)
            held.push_back(w);
    }
    for (int size : sizes) {
        if (std::find(held.begin(), held.end(), size) != held.end())
            continue;
        std::string list;
        for (int s : held)
            list += (list.empty() ? "" : ", ") + Size(s, s);
        return "holds no " + Size(size, size) + " image (it holds " + (list.empty() ? "none square" : list) + ")";
    }
    return {};
}

void CheckArtwork(const std::string& artFolder, std::vector<std::string>& problems)
{
    std::error_code ec;
    if (!fs::exists(PathOf(artFolder), ec))
        return;
    if (!fs::is_directory(PathOf(artFolder), ec)) {
        problems.push_back(artFolder + ": not a folder");
        return;
    }
    for (const Picture& picture : kPictures) {
        const std::string path = artFolder + "/" + picture.name;
        if (!fs::exists(PathOf(path), ec))
            continue;
        std::string problem;
        if (!fs::is_regular_file(PathOf(path), ec)) {
            problem = "not a file";
        } else {
            try {
                const Bytes data = ReadFile(path);
                problem = picture.icon ? IconProblem(data, picture.sizes)
                                       : BitmapProblem(data, picture.sizes[0], picture.sizes[1]);
            } catch (const UsageError& e) {
                problem = e.what();
            }
        }
        if (!problem.empty())
            problems.push_back(path + ": " + problem + " (" + picture.role + ")");
    }
}

} // namespace ynbpack
