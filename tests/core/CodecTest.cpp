#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "package/ClsSecurity.h"
#include "RandomBytes.h"

namespace {

unsigned SwapBits(unsigned v, int a, int b)
{
    const unsigned bitA = (v >> a) & 1u, bitB = (v >> b) & 1u;
    v &= ~((1u << a) | (1u << b));
    return v | (bitA << b) | (bitB << a);
}

// The transform written out byte by byte, two passes, as the file formats
// define it; the codec's fused word-wise loop must agree with it.
void ReferenceScramble(Bytes& d, int32_t key)
{
    const std::size_t m = d.size() / 2;
    const int a = key & 7, b = d[m] & 7;
    for (std::size_t i = 0; i < d.size(); ++i)
        if (i != m)
            d[i] = static_cast<unsigned char>(SwapBits(d[i], a, b));
    for (auto& v : d)
        v = static_cast<unsigned char>(((v + static_cast<int64_t>(key)) % 256 + 256) % 256);
}

TEST(CodecArguments, NullZeroAndNegativeLengthsTouchNothing)
{
    unsigned char buffer[4] = { 1, 2, 3, 4 };
    EXPECT_FALSE(ClsSecurity::Scramble(nullptr, 4, 123));
    EXPECT_FALSE(ClsSecurity::Unscramble(nullptr, 4, 123));
    EXPECT_FALSE(ClsSecurity::Scramble(buffer, 0, 123));
    EXPECT_FALSE(ClsSecurity::Unscramble(buffer, 0, 123));
    EXPECT_FALSE(ClsSecurity::Scramble(buffer, -1, 123));
    EXPECT_FALSE(ClsSecurity::Unscramble(buffer, INT32_MIN, 123));
    EXPECT_EQ(0, std::memcmp(buffer, "\1\2\3\4", 4));
}

TEST(CodecTransform, MatchesTheTwoPassDefinitionForManyLengthsAndKeys)
{
    std::mt19937 rng(7);
    const int32_t keys[]
        = { 123, 471, 613, 829, 999, 100, 8, 255, 256, 257, -1, -300, INT32_MAX, INT32_MIN, 0x12345678 };
    for (std::size_t n : { 1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u, 15u, 16u, 17u, 31u, 33u, 64u, 1000u, 4097u }) {
        for (int32_t key : keys) {
            Bytes plain = RandomBytes(rng, n);
            Bytes expected = plain;
            ReferenceScramble(expected, key);
            Bytes actual = plain;
            (void)ClsSecurity::Scramble(actual.data(), static_cast<int32_t>(n), key);
            ASSERT_EQ(expected, actual) << "n=" << n << " key=" << key;
            (void)ClsSecurity::Unscramble(actual.data(), static_cast<int32_t>(n), key);
            ASSERT_EQ(plain, actual) << "n=" << n << " key=" << key;
        }
    }
}

TEST(CodecTransform, ResultTellsWhetherByteZeroChanged)
{
    // Length 1: only the shift applies; a multiple of 256 leaves the byte as it was.
    unsigned char one[1] = { 0x41 };
    EXPECT_TRUE(ClsSecurity::Scramble(one, 1, 123));
    EXPECT_EQ(0x41 + 123, one[0]);
    EXPECT_FALSE(ClsSecurity::Scramble(one, 1, 512));
    EXPECT_TRUE(ClsSecurity::Unscramble(one, 1, 123));
    EXPECT_EQ(0x41, one[0]);

    // Length 2: byte 0 is exchanged under byte 1's low bits, both are shifted.
    // Key 0x100 | 1 shifts by 1; bits 1 and 2 (b = 2 from 0x02) of 0x02 swap to 0x04.
    unsigned char two[2] = { 0x02, 0x02 };
    EXPECT_TRUE(ClsSecurity::Scramble(two, 2, 0x101));
    EXPECT_EQ(0x05, two[0]);
    EXPECT_EQ(0x03, two[1]);
}

TEST(CodecTransform, EqualKeyAndDataBitsLeaveOnlyTheShift)
{
    // key & 7 == 5 and the middle byte's low bits are 5: no exchange.
    unsigned char data[3] = { 0x10, 0x05, 0xf0 };
    (void)ClsSecurity::Scramble(data, 3, 0x0d); // 13: low bits 5
    EXPECT_EQ(0x10 + 13, data[0]);
    EXPECT_EQ(0x05 + 13, data[1]);
    EXPECT_EQ((0xf0 + 13) & 0xff, data[2]);
}

TEST(CodecRoundTrip, EveryByteValueAtEveryPosition)
{
    for (int32_t key : { 613, 471, 829, 0, 3, 7, -5 }) {
        for (int n : { 1, 2, 3, 255, 256, 257 }) {
            for (int pos = 0; pos < n; ++pos) {
                Bytes plain(static_cast<std::size_t>(n));
                for (int i = 0; i < n; ++i)
                    plain[static_cast<std::size_t>(i)] = static_cast<unsigned char>(i * 37 + pos);
                for (int value = 0; value < 256; ++value) {
                    plain[static_cast<std::size_t>(pos)] = static_cast<unsigned char>(value);
                    Bytes data = plain;
                    (void)ClsSecurity::Scramble(data.data(), n, key);
                    (void)ClsSecurity::Unscramble(data.data(), n, key);
                    ASSERT_EQ(plain, data) << "key " << key << " n " << n << " pos " << pos << " value " << value;
                }
            }
        }
    }
}

TEST(CodecRoundTrip, UnscrambleThenScrambleAlsoRestores)
{
    std::mt19937 rng(11);
    for (int32_t key : { 613, 6, -77 }) {
        Bytes plain = RandomBytes(rng, 999);
        Bytes data = plain;
        (void)ClsSecurity::Unscramble(data.data(), 999, key);
        (void)ClsSecurity::Scramble(data.data(), 999, key);
        EXPECT_EQ(plain, data);
    }
}

TEST(CodecBlocks, FullPayloadBlockUsesByte32768AsMiddle)
{
    std::mt19937 rng(3);
    Bytes block = RandomBytes(rng, 65536);
    for (uint8_t middle : { 0x00, 0x07, 0x80, 0xff }) {
        block[32768] = middle;
        Bytes data = block;
        (void)ClsSecurity::Scramble(data.data(), 65536, 471);
        EXPECT_EQ(static_cast<unsigned char>(middle + 471), data[32768]);
        Bytes expected = block;
        ReferenceScramble(expected, 471);
        EXPECT_EQ(expected, data);
        (void)ClsSecurity::Unscramble(data.data(), 65536, 471);
        EXPECT_EQ(block, data);
    }
}

TEST(CodecBlocks, BytesBeyondTheLengthAreNeverTouched)
{
    Bytes data(64, 0xAA);
    Bytes guard = data;
    (void)ClsSecurity::Scramble(data.data() + 8, 13, 613);
    (void)ClsSecurity::Unscramble(data.data() + 8, 13, 829);
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_EQ(guard[i], data[i]);
    for (std::size_t i = 8 + 13; i < 64; ++i)
        EXPECT_EQ(guard[i], data[i]);
}

} // namespace
