#include "package/PayloadDigests.h"

namespace package {

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

std::string WriteDigests(const PayloadDigests& digests)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (const auto& [name, digest] : digests) {
        for (unsigned char byte : digest.sha256) {
            text += kHex[byte >> 4];
            text += kHex[byte & 15];
        }
        text += '\t';
        text += std::to_string(digest.size);
        text += '\t';
        text += name;
        text += "\r\n";
    }
    return text;
}

bool ReadDigests(std::string_view text, PayloadDigests& digests, std::size_t maxLines)
{
    digests.clear();
    std::size_t lines = 0;
    while (!text.empty()) {
        const std::size_t end = text.find("\r\n");
        if (end == std::string_view::npos || ++lines > maxLines) {
            digests.clear();
            return false;
        }
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 2);
        FileDigest digest;
        bool good = line.size() > 2 * kSha256Size + 2 && line[2 * kSha256Size] == '\t';
        for (std::size_t i = 0; good && i < kSha256Size; ++i) {
            const int high = HexValue(line[2 * i]);
            const int low = HexValue(line[2 * i + 1]);
            good = high >= 0 && low >= 0;
            digest.sha256[i] = static_cast<unsigned char>(high * 16 + low);
        }
        std::size_t at = 2 * kSha256Size + 1;
        const std::size_t sizeEnd = good ? line.find('\t', at) : std::string_view::npos;
        good = good && sizeEnd != std::string_view::npos && sizeEnd > at && sizeEnd - at <= 19;
        for (; good && at < sizeEnd; ++at) {
            good = line[at] >= '0' && line[at] <= '9';
            digest.size = digest.size * 10 + static_cast<uint64_t>(line[at] - '0');
        }
        const std::string name(good ? line.substr(sizeEnd + 1) : std::string_view());
        // A name holds no control byte (the cabinet's rules keep them out).
        for (char c : name)
            good = good && static_cast<unsigned char>(c) >= 0x20;
        if (!good || name.empty() || !digests.emplace(name, digest).second) {
            digests.clear();
            return false;
        }
    }
    return true;
}

} // namespace package
