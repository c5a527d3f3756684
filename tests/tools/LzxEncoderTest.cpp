// The LZX encoder, proven by libmspack's decoder: every kind of data, every
// window, the 32 KiB frames and the blocks around them, matches at the far
// end of the window, the call translation, and the code lengths it builds.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

#include "../core/RandomBytes.h"
#include "LzxRoundTrip.h"

using ynbpack::LzxOptions;
using ynbpack::LzxStats;

namespace {

constexpr std::size_t kFrame = ynbpack::kLzxFrameSize;

// Words from a small vocabulary: text with many matches and repeated offsets.
Bytes Text(std::mt19937& rng, std::size_t n)
{
    static const char* const words[] = { "setup ", "cabinet ", "folder ", "the ", "of ", "インストール", "\r\n",
        "file ", "window ", "frame ", "0123 ", "Program Files\\" };
    Bytes out;
    while (out.size() < n) {
        const std::string word = words[rng() % std::size(words)];
        out.insert(out.end(), word.begin(), word.end());
    }
    out.resize(n);
    return out;
}

// Machine code: this program's own file, full of relative calls into itself.
Bytes Code(std::size_t n = SIZE_MAX)
{
    std::ifstream in("/proc/self/exe", std::ios::binary);
    Bytes out((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    out.resize(std::min(out.size(), n));
    return out;
}

LzxOptions Window(unsigned bits)
{
    LzxOptions options;
    options.windowBits = bits;
    return options;
}

struct Sample {
    const char* name;
    Bytes data;
};

std::vector<Sample> Samples()
{
    std::mt19937 rng(20261210);
    std::vector<Sample> all;
    all.push_back({ "empty", {} });
    all.push_back({ "one byte", { 0x41 } });
    all.push_back({ "ten bytes", Text(rng, 10) });
    all.push_back({ "zeros past several windows", Bytes(5 * kFrame + 123, 0) });
    all.push_back({ "random", RandomBytes(rng, 3 * kFrame + 7) });
    all.push_back({ "text", Text(rng, 300000) });
    all.push_back({ "code", Code(700000) });
    for (std::size_t size : { kFrame - 1, kFrame, kFrame + 1, 4 * kFrame, 4 * kFrame + 1, 8 * kFrame - 3 })
        all.push_back({ "text around frames and blocks", Text(rng, size) });
    // A random chunk repeated, so that matches run up to every frame's end.
    Bytes repeated = RandomBytes(rng, 1000);
    while (repeated.size() < 6 * kFrame)
        repeated.insert(repeated.end(), repeated.begin(), repeated.begin() + 1000);
    all.push_back({ "repeated chunk", repeated });
    // Random data repeated at the window's largest distances and beyond.
    for (std::size_t distance : { std::size_t { 32765 }, std::size_t { 32766 }, std::size_t { 32767 } }) {
        Bytes far = RandomBytes(rng, distance);
        far.insert(far.end(), far.begin(), far.begin() + 3000);
        all.push_back({ "repeat at the window's end", far });
    }
    // E8 bytes everywhere, at frame ends and with every kind of operand.
    Bytes calls = RandomBytes(rng, 3 * kFrame);
    for (std::size_t at = 0; at < calls.size(); at += 7 + rng() % 40)
        calls[at] = 0xE8;
    for (std::size_t end = kFrame; end < calls.size(); end += kFrame)
        for (std::size_t at = end - 12; at < end + 2; ++at)
            calls[at] = 0xE8;
    all.push_back({ "calls", calls });
    return all;
}

// Every sample comes back whole from libmspack, with each window, with the
// near-optimal parser and with lazy matching and the call translation
// forced on whatever the data.
TEST(LzxEncoder, RoundTripsEverySampleThroughLibmspack)
{
    for (unsigned bits = ynbpack::kLzxMinWindowBits; bits <= ynbpack::kLzxMaxWindowBits; ++bits)
        for (const bool optimal : { true, false })
            for (const Sample& sample : Samples()) {
                LzxOptions options = Window(bits);
                options.optimal = optimal;
                options.calls = optimal ? LzxOptions::Calls::Auto : LzxOptions::Calls::On;
                EXPECT_EQ("", lzxtest::RoundTrip(sample.data, options))
                    << sample.name << ", " << sample.data.size() << " bytes, window " << bits << ", optimal "
                    << optimal;
            }
}

// Short chains and short nice lengths, on text and random data repeated
// further back than a small window reaches; and the far end of a large
// window.
TEST(LzxEncoder, RoundTripsWithEveryMatchFinderSetting)
{
    std::mt19937 rng(7);
    const Bytes text = Text(rng, 200000);
    const Bytes tail = RandomBytes(rng, 2100000);
    Bytes data = text;
    data.insert(data.end(), tail.begin(), tail.begin() + 300000);
    data.insert(data.end(), tail.begin(), tail.begin() + 50000); // 300 KB back
    for (unsigned chain : { 1u, 8u, 200u })
        for (unsigned nice : { 3u, 32u, 257u })
            for (const bool optimal : { true, false }) {
                LzxOptions options;
                options.chainLength = chain;
                options.niceLength = nice;
                options.optimal = optimal;
                EXPECT_EQ("", lzxtest::RoundTrip(data, options)) << chain << " " << nice << " " << optimal;
            }
    Bytes far = text;
    far.insert(far.end(), tail.begin(), tail.end());
    far.insert(far.end(), tail.begin(), tail.begin() + 200000); // 2 MiB back
    for (const bool optimal : { true, false }) {
        LzxOptions options;
        options.optimal = optimal;
        EXPECT_EQ("", lzxtest::RoundTrip(far, options)) << "2 MiB back, optimal " << optimal;
    }
}

// The call translation is taken for code and left out for other data; the
// same input always gives the same bytes.
TEST(LzxEncoder, TranslatesCallsInCodeOnlyAndIsDeterministic)
{
    std::mt19937 rng(3);
    LzxStats stats;
    const Bytes code = Code();
    ASSERT_EQ("", lzxtest::RoundTrip(code, Window(21), &stats));
    EXPECT_TRUE(stats.e8);
    // Each block is verbatim or aligned-offset, whichever is smaller.
    EXPECT_GT(stats.alignedBlocks, 0u);
    EXPECT_LT(stats.alignedBlocks, stats.blocks);
    ASSERT_EQ("", lzxtest::RoundTrip(RandomBytes(rng, 400000), Window(21), &stats));
    EXPECT_FALSE(stats.e8);
    ASSERT_EQ("", lzxtest::RoundTrip(Text(rng, 400000), Window(21), &stats));
    EXPECT_FALSE(stats.e8);
    EXPECT_GT(stats.matchBits, stats.literalBits); // text is mostly matches

    std::vector<Bytes> first, second;
    ASSERT_TRUE(ynbpack::LzxCompress(code.data(), code.size(), Window(21), first));
    ASSERT_TRUE(ynbpack::LzxCompress(code.data(), code.size(), Window(21), second));
    EXPECT_EQ(first, second);
    // Text compresses; random data grows by little.
    const Bytes text = Text(rng, 300000);
    ASSERT_TRUE(ynbpack::LzxCompress(text.data(), text.size(), Window(21), first));
    std::size_t packed = 0;
    for (const Bytes& frame : first)
        packed += frame.size();
    EXPECT_LT(packed, text.size() / 4);
}

// Code lengths are complete prefix codes within their limit, also for
// frequencies that would make a deeper tree, and never a lone code.
TEST(LzxEncoder, CodeLengthsAreCompleteAndLimited)
{
    auto kraft = [](const std::vector<uint8_t>& lengths) {
        double sum = 0;
        for (uint8_t length : lengths)
            sum += length != 0 ? 1.0 / (1u << length) : 0;
        return sum;
    };
    std::vector<uint32_t> fibonacci(40);
    fibonacci[0] = fibonacci[1] = 1;
    for (std::size_t i = 2; i < fibonacci.size(); ++i)
        fibonacci[i] = fibonacci[i - 1] + fibonacci[i - 2];
    for (unsigned limit : { 16u, 15u, 7u }) {
        const std::vector<uint32_t> frequencies(fibonacci.begin(), fibonacci.begin() + (limit == 7 ? 8 : 40));
        const std::vector<uint8_t> lengths = ynbpack::LzxCodeLengths(frequencies, limit);
        EXPECT_EQ(limit, *std::max_element(lengths.begin(), lengths.end()));
        EXPECT_EQ(1.0, kraft(lengths)) << limit;
        for (std::size_t i = 1; i < lengths.size(); ++i)
            EXPECT_LE(lengths[i], lengths[i - 1]) << "a more frequent symbol with a longer code, limit " << limit;
    }
    std::vector<uint32_t> lone(20, 0);
    lone[5] = 9;
    EXPECT_EQ(1.0, kraft(ynbpack::LzxCodeLengths(lone, 15)));
    EXPECT_EQ(1, ynbpack::LzxCodeLengths(lone, 15)[5]);
    EXPECT_EQ(1.0, kraft(ynbpack::LzxCodeLengths(std::vector<uint32_t>(8, 0), 7)));

    // Literals of such frequencies through the whole encoder and back.
    std::mt19937 rng(11);
    Bytes skewed;
    for (std::size_t symbol = 0; symbol < 26; ++symbol)
        skewed.insert(skewed.end(), fibonacci[symbol], static_cast<unsigned char>(symbol * 9));
    std::shuffle(skewed.begin(), skewed.end(), rng);
    EXPECT_EQ("", lzxtest::RoundTrip(skewed, Window(16)));
}

} // namespace
