#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "package/ClsSecurity.h"
#include "package/PayloadBlocks.h"

#include "RandomBytes.h"

namespace {

constexpr int32_t kKey = 517;
constexpr std::size_t kBlock = kPayloadBlockSize;

Bytes RandomBytes(std::size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    return ::RandomBytes(rng, n);
}

// Block k scrambled on its own over exactly 65,536 bytes, the tail plain.
void ExpectLayout(const Bytes& plain, const Bytes& payload)
{
    ASSERT_EQ(plain.size(), payload.size());
    const std::size_t blocks = plain.size() / kBlock;
    for (std::size_t k = 0; k < blocks; ++k) {
        Bytes block(plain.begin() + static_cast<std::ptrdiff_t>(k * kBlock),
            plain.begin() + static_cast<std::ptrdiff_t>((k + 1) * kBlock));
        ClsSecurity::Scramble(block.data(), static_cast<int32_t>(kBlock), kKey);
        EXPECT_TRUE(std::equal(block.begin(), block.end(), payload.begin() + static_cast<std::ptrdiff_t>(k * kBlock)))
            << "block " << k;
    }
    EXPECT_TRUE(std::equal(plain.begin() + static_cast<std::ptrdiff_t>(blocks * kBlock), plain.end(),
        payload.begin() + static_cast<std::ptrdiff_t>(blocks * kBlock)))
        << "the tail must stay plain";
}

class PayloadBlocksSizes : public ::testing::TestWithParam<std::size_t> { };

TEST_P(PayloadBlocksSizes, FullBlocksScrambledTailPlainAndRoundTrip)
{
    const Bytes plain = RandomBytes(GetParam(), static_cast<unsigned>(GetParam()));
    Bytes payload = plain;
    ScramblePayloadBlocks(payload.data(), payload.size(), kKey);
    ExpectLayout(plain, payload);
    if (plain.size() >= kBlock) {
        EXPECT_NE(plain, payload);
    }
    UnscramblePayloadBlocks(payload.data(), payload.size(), kKey);
    EXPECT_EQ(plain, payload);
}

INSTANTIATE_TEST_SUITE_P(Sizes, PayloadBlocksSizes,
    ::testing::Values(
        0u, 1u, 1000u, kBlock - 1, kBlock, kBlock + 1, 3 * kBlock, 3 * kBlock + 12345, 2 * kBlock + kBlock - 1));

TEST(PayloadBlocks, ZeroLengthTouchesNothing)
{
    ScramblePayloadBlocks(nullptr, 0, kKey); // no buffer at all: nothing is read or written
    UnscramblePayloadBlocks(nullptr, 0, kKey);
    const Bytes plain = RandomBytes(16, 5);
    Bytes data = plain;
    ScramblePayloadBlocks(data.data(), 0, kKey);
    UnscramblePayloadBlocks(data.data(), 0, kKey);
    EXPECT_EQ(plain, data);
}

TEST(PayloadBlocks, BlocksAreIndependent)
{
    // Changing block 1 must not change how block 0 or the tail come out.
    Bytes a = RandomBytes(2 * kBlock + 7, 1);
    Bytes b = a;
    b[kBlock + kBlock / 2] ^= 0x5a; // the middle byte of block 1 steers its bit exchange
    ScramblePayloadBlocks(a.data(), a.size(), kKey);
    ScramblePayloadBlocks(b.data(), b.size(), kKey);
    EXPECT_TRUE(std::equal(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(kBlock), b.begin()));
    EXPECT_FALSE(std::equal(a.begin() + static_cast<std::ptrdiff_t>(kBlock),
        a.begin() + static_cast<std::ptrdiff_t>(2 * kBlock), b.begin() + static_cast<std::ptrdiff_t>(kBlock)));
    EXPECT_TRUE(std::equal(a.end() - 7, a.end(), b.end() - 7));
}

TEST(PayloadBlocks, WrongKeyDoesNotRestore)
{
    const Bytes plain = RandomBytes(kBlock, 9);
    Bytes payload = plain;
    ScramblePayloadBlocks(payload.data(), payload.size(), kKey);
    UnscramblePayloadBlocks(payload.data(), payload.size(), kKey + 1);
    EXPECT_NE(plain, payload);
}

} // namespace
