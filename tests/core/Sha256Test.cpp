#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "package/Sha256.h"
#include "RandomBytes.h"

namespace {

using sha256_internal::BlockFunction;

std::string Hex(const unsigned char* digest)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < kSha256Size; ++i) {
        text += kDigits[digest[i] >> 4];
        text += kDigits[digest[i] & 15];
    }
    return text;
}

// The digest of data fed in two pieces, split at split.
std::string DigestOf(BlockFunction blocks, const void* data, std::size_t length, std::size_t split = 0)
{
    Sha256 hasher(blocks);
    hasher.Update(data, split);
    hasher.Update(static_cast<const unsigned char*>(data) + split, length - split);
    unsigned char digest[kSha256Size];
    hasher.Final(digest);
    return Hex(digest);
}

// Both block functions; the accelerated one only where the processor has it.
std::vector<BlockFunction> Paths()
{
    std::vector<BlockFunction> paths { sha256_internal::PortableBlocks() };
    if (sha256_internal::AcceleratedBlocks() != nullptr)
        paths.push_back(sha256_internal::AcceleratedBlocks());
    return paths;
}

TEST(Sha256Vectors, KnownDigestsOnEveryPath)
{
    const std::string million(1000000, 'a');
    const struct {
        std::string message;
        const char* digest;
    } vectors[] = {
        { "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855" },
        { "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad" },
        { "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1" },
        { "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrst"
          "nopqrstu",
            "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1" },
        { million, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0" },
        // The padding just fits the last block, and a whole block of padding (coreutils' sha256sum).
        { std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318" },
        { std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb" },
    };
    for (const auto& v : vectors) {
        for (BlockFunction path : Paths())
            EXPECT_EQ(v.digest, DigestOf(path, v.message.data(), v.message.size())) << v.message.substr(0, 20);
        unsigned char digest[kSha256Size];
        Sha256::Hash(v.message.data(), v.message.size(), digest);
        EXPECT_EQ(v.digest, Hex(digest));
    }
}

TEST(Sha256Incremental, EverySplitAndFinalStartsOver)
{
    std::mt19937 rng(11);
    const Bytes message = RandomBytes(rng, 300);
    for (BlockFunction path : Paths()) {
        const std::string whole = DigestOf(path, message.data(), message.size());
        for (std::size_t split = 0; split <= message.size(); ++split)
            ASSERT_EQ(whole, DigestOf(path, message.data(), message.size(), split)) << "split " << split;

        // Pieces of every size from 1 to 70 bytes, and a null piece of 0 bytes.
        Sha256 hasher(path);
        hasher.Update(nullptr, 0);
        for (std::size_t at = 0, piece = 1; at < message.size(); at += piece, piece = piece % 70 + 1)
            hasher.Update(message.data() + at, std::min(piece, message.size() - at));
        unsigned char digest[kSha256Size];
        hasher.Final(digest);
        EXPECT_EQ(whole, Hex(digest));
        hasher.Update("abc", 3);
        hasher.Final(digest);
        EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", Hex(digest));
    }
}

TEST(Sha256Paths, AcceleratedAgreesWithPortable)
{
    const BlockFunction accelerated = sha256_internal::AcceleratedBlocks();
    if (accelerated == nullptr)
        GTEST_SKIP() << "this processor has no SHA extensions";
    const BlockFunction portable = sha256_internal::PortableBlocks();
    std::mt19937 rng(29);
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n <= 600; ++n)
        lengths.push_back(n);
    for (std::size_t n : { 4095u, 65536u, 65600u, 1048576u + 17u })
        lengths.push_back(n);
    for (std::size_t n : lengths) {
        const Bytes data = RandomBytes(rng, n);
        ASSERT_EQ(DigestOf(portable, data.data(), n), DigestOf(accelerated, data.data(), n)) << "length " << n;
    }
    // Arbitrary states, not only those reachable from the initial one, over 1 to 5 blocks.
    for (std::size_t count = 1; count <= 5; ++count) {
        uint32_t a[8], b[8];
        for (auto& w : a)
            w = static_cast<uint32_t>(rng());
        std::memcpy(b, a, sizeof a);
        const Bytes data = RandomBytes(rng, 64 * count);
        portable(a, data.data(), count);
        accelerated(b, data.data(), count);
        EXPECT_EQ(0, std::memcmp(a, b, sizeof a)) << count << " blocks";
    }
}

} // namespace
