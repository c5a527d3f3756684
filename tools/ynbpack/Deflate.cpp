#include "Deflate.h"

#include <algorithm>
#include <cstdint>

#include "LzxEncoder.h"

namespace ynbpack {

namespace {

constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 258;
constexpr unsigned kChain = 128; // candidates tried at each position
constexpr int kNice = 128; // a match this long is taken at once
constexpr unsigned kHashBits = 15;
constexpr uint16_t kEndOfBlock = 256;

constexpr uint16_t kLengthBase[29] = { 3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27, 31, 35, 43, 51, 59, 67, 83,
    99, 115, 131, 163, 195, 227, 258 };
constexpr uint8_t kLengthExtra[29]
    = { 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0 };
constexpr uint16_t kDistanceBase[30] = { 1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193, 257, 385, 513, 769,
    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577 };
constexpr uint8_t kDistanceExtra[30]
    = { 0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13 };
// The order in which the code length code's lengths are sent.
constexpr uint8_t kCodeLengthOrder[19] = { 16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15 };

struct Token {
    uint16_t length; // 0: a literal
    uint16_t value; // the literal, or the distance
};

int LengthCode(int length)
{
    int code = 28;
    while (kLengthBase[code] > length)
        --code;
    return code;
}

int DistanceCode(int distance)
{
    int code = 29;
    while (kDistanceBase[code] > distance)
        --code;
    return code;
}

std::vector<Token> Tokens(const unsigned char* data, std::size_t size)
{
    std::vector<Token> tokens;
    std::vector<int32_t> head(1u << kHashBits, -1);
    std::vector<int32_t> previous(size, -1);
    const auto hash = [&](std::size_t at) {
        return ((data[at] << 10) ^ (data[at + 1] << 5) ^ data[at + 2]) & ((1u << kHashBits) - 1);
    };
    const auto insert = [&](std::size_t at) {
        if (at + kMinMatch <= size) {
            const unsigned h = hash(at);
            previous[at] = head[h];
            head[h] = static_cast<int32_t>(at);
        }
    };
    const auto longest = [&](std::size_t at, int& distance) {
        int best = 0;
        if (at + kMinMatch > size)
            return 0;
        const int limit = static_cast<int>(std::min<std::size_t>(kMaxMatch, size - at));
        unsigned tries = kChain;
        for (int32_t candidate = head[hash(at)]; candidate >= 0 && tries-- > 0 && best < limit;
             candidate = previous[candidate]) {
            const unsigned char* a = data + candidate;
            const unsigned char* b = data + at;
            if (a[best] != b[best])
                continue;
            int length = 0;
            while (length < limit && a[length] == b[length])
                ++length;
            if (length > best) {
                best = length;
                distance = static_cast<int>(at - static_cast<std::size_t>(candidate));
                if (length >= kNice)
                    break;
            }
        }
        return best >= kMinMatch ? best : 0;
    };
    std::size_t at = 0;
    while (at < size) {
        int distance = 0;
        const int length = longest(at, distance);
        if (length > 0 && length < kNice && at + 1 < size) {
            // One step of lazy matching: a longer match at the next byte wins.
            insert(at);
            int nextDistance = 0;
            const int next = longest(at + 1, nextDistance);
            if (next > length) {
                tokens.push_back({ 0, data[at] });
                ++at;
                continue;
            }
            tokens.push_back({ static_cast<uint16_t>(length), static_cast<uint16_t>(distance) });
            for (std::size_t i = at + 1; i < at + static_cast<std::size_t>(length); ++i)
                insert(i);
            at += static_cast<std::size_t>(length);
            continue;
        }
        if (length > 0) {
            tokens.push_back({ static_cast<uint16_t>(length), static_cast<uint16_t>(distance) });
            for (std::size_t i = at; i < at + static_cast<std::size_t>(length); ++i)
                insert(i);
            at += static_cast<std::size_t>(length);
        } else {
            tokens.push_back({ 0, data[at] });
            insert(at);
            ++at;
        }
    }
    return tokens;
}

class Bits {
public:
    explicit Bits(std::vector<unsigned char>& out)
        : out_(out)
    {
    }
    void Put(uint32_t value, int count)
    {
        buffer_ |= static_cast<uint64_t>(value) << count_;
        count_ += count;
        while (count_ >= 8) {
            out_.push_back(static_cast<unsigned char>(buffer_));
            buffer_ >>= 8;
            count_ -= 8;
        }
    }
    // A Huffman code goes first bit first.
    void Code(uint16_t code, uint8_t length)
    {
        uint32_t reversed = 0;
        for (int i = 0; i < length; ++i)
            reversed |= ((code >> i) & 1u) << (length - 1 - i);
        Put(reversed, length);
    }
    void Flush()
    {
        if (count_ > 0)
            Put(0, 8 - count_);
    }

private:
    std::vector<unsigned char>& out_;
    uint64_t buffer_ = 0;
    int count_ = 0;
};

std::vector<uint16_t> Canonical(const std::vector<uint8_t>& lengths)
{
    uint16_t count[17] = {};
    for (uint8_t length : lengths)
        ++count[length];
    count[0] = 0;
    uint16_t next[17] = {};
    uint16_t code = 0;
    for (int bits = 1; bits <= 16; ++bits) {
        code = static_cast<uint16_t>((code + count[bits - 1]) << 1);
        next[bits] = code;
    }
    std::vector<uint16_t> codes(lengths.size(), 0);
    for (std::size_t i = 0; i < lengths.size(); ++i)
        if (lengths[i] != 0)
            codes[i] = next[lengths[i]]++;
    return codes;
}

// The code lengths of both codes, run-length coded: (symbol, extra bits).
std::vector<std::pair<uint8_t, uint8_t>> RunLengths(const std::vector<uint8_t>& lengths)
{
    std::vector<std::pair<uint8_t, uint8_t>> runs;
    for (std::size_t i = 0; i < lengths.size();) {
        std::size_t run = 1;
        while (i + run < lengths.size() && lengths[i + run] == lengths[i])
            ++run;
        const uint8_t length = lengths[i];
        i += run;
        if (length == 0) {
            while (run >= 11) {
                const std::size_t n = std::min<std::size_t>(run, 138);
                runs.push_back({ 18, static_cast<uint8_t>(n - 11) });
                run -= n;
            }
            if (run >= 3) {
                runs.push_back({ 17, static_cast<uint8_t>(run - 3) });
                run = 0;
            }
        } else {
            runs.push_back({ length, 0 });
            --run;
            while (run >= 3) {
                const std::size_t n = std::min<std::size_t>(run, 6);
                runs.push_back({ 16, static_cast<uint8_t>(n - 3) });
                run -= n;
            }
        }
        for (; run > 0; --run)
            runs.push_back({ length, 0 });
    }
    return runs;
}

} // namespace

void Deflate(const unsigned char* data, std::size_t size, std::vector<unsigned char>& out)
{
    out.clear();
    const std::vector<Token> tokens = Tokens(data, size);
    std::vector<uint32_t> literals(286, 0);
    std::vector<uint32_t> distances(30, 0);
    for (const Token& token : tokens) {
        if (token.length == 0) {
            ++literals[token.value];
        } else {
            ++literals[257 + LengthCode(token.length)];
            ++distances[DistanceCode(token.value)];
        }
    }
    ++literals[kEndOfBlock];
    std::vector<uint8_t> literalLengths = LzxCodeLengths(literals, 15);
    std::vector<uint8_t> distanceLengths = LzxCodeLengths(distances, 15);
    std::size_t literalCount = 286;
    while (literalCount > 257 && literalLengths[literalCount - 1] == 0)
        --literalCount;
    std::size_t distanceCount = 30;
    while (distanceCount > 1 && distanceLengths[distanceCount - 1] == 0)
        --distanceCount;
    literalLengths.resize(literalCount);
    distanceLengths.resize(distanceCount);
    std::vector<uint8_t> both = literalLengths;
    both.insert(both.end(), distanceLengths.begin(), distanceLengths.end());
    const auto runs = RunLengths(both);
    std::vector<uint32_t> runFrequencies(19, 0);
    for (const auto& [symbol, extra] : runs)
        ++runFrequencies[symbol];
    const std::vector<uint8_t> runLengths = LzxCodeLengths(runFrequencies, 7);
    std::size_t runCount = 19;
    while (runCount > 4 && runLengths[kCodeLengthOrder[runCount - 1]] == 0)
        --runCount;

    // The block's size in bits, against the bytes stored.
    uint64_t bits = 3 + 5 + 5 + 4 + 3 * runCount;
    for (const auto& [symbol, extra] : runs)
        bits += runLengths[symbol] + (symbol == 16 ? 2 : symbol == 17 ? 3 : symbol == 18 ? 7 : 0);
    for (std::size_t s = 0; s < literalCount; ++s)
        bits += uint64_t { literals[s] } * literalLengths[s];
    for (int c = 0; c < 29; ++c)
        bits += uint64_t { literals[257 + c] } * kLengthExtra[c];
    for (std::size_t d = 0; d < distanceCount; ++d)
        bits += uint64_t { distances[d] } * (distanceLengths[d] + kDistanceExtra[d]);
    Bits writer(out);
    if ((bits + 7) / 8 >= size + 5) {
        writer.Put(1, 1); // final
        writer.Put(0, 2); // stored
        writer.Flush();
        const auto length = static_cast<uint32_t>(size);
        writer.Put(length, 16);
        writer.Put(~length & 0xFFFF, 16);
        out.insert(out.end(), data, data + size);
        return;
    }
    writer.Put(1, 1); // final
    writer.Put(2, 2); // dynamic Huffman codes
    writer.Put(static_cast<uint32_t>(literalCount - 257), 5);
    writer.Put(static_cast<uint32_t>(distanceCount - 1), 5);
    writer.Put(static_cast<uint32_t>(runCount - 4), 4);
    for (std::size_t i = 0; i < runCount; ++i)
        writer.Put(runLengths[kCodeLengthOrder[i]], 3);
    const std::vector<uint16_t> runCodes = Canonical(runLengths);
    for (const auto& [symbol, extra] : runs) {
        writer.Code(runCodes[symbol], runLengths[symbol]);
        if (symbol >= 16)
            writer.Put(extra, symbol == 16 ? 2 : symbol == 17 ? 3 : 7);
    }
    const std::vector<uint16_t> literalCodes = Canonical(literalLengths);
    const std::vector<uint16_t> distanceCodes = Canonical(distanceLengths);
    for (const Token& token : tokens) {
        if (token.length == 0) {
            writer.Code(literalCodes[token.value], literalLengths[token.value]);
            continue;
        }
        const int length = LengthCode(token.length);
        writer.Code(literalCodes[257 + length], literalLengths[257 + length]);
        writer.Put(static_cast<uint32_t>(token.length - kLengthBase[length]), kLengthExtra[length]);
        const int distance = DistanceCode(token.value);
        writer.Code(distanceCodes[distance], distanceLengths[distance]);
        writer.Put(static_cast<uint32_t>(token.value - kDistanceBase[distance]), kDistanceExtra[distance]);
    }
    writer.Code(literalCodes[kEndOfBlock], literalLengths[kEndOfBlock]);
    writer.Flush();
}

} // namespace ynbpack
