// SHA-256 (FIPS 180-4): the digest that ynbpack stamps into setup.exe and that
// setup.exe checks data00.dat against. Portable: no Win32. On x86 processors
// with the SHA extensions the blocks go through them, chosen at run time.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t kSha256Size = 32;

// For the tests and the benchmark only: the two ways of hashing whole 64-byte
// blocks into the eight state words.
namespace sha256_internal {

using BlockFunction = void (*)(uint32_t state[8], const unsigned char* blocks, std::size_t count);

BlockFunction PortableBlocks();
// Null where the processor lacks the SHA extensions, or is no x86.
BlockFunction AcceleratedBlocks();

} // namespace sha256_internal

class Sha256 {
public:
    // The fastest block function this processor offers.
    Sha256();
    // A given block function (the tests compare the two); null means the fastest.
    explicit Sha256(sha256_internal::BlockFunction blocks);

    // Any number of bytes in any number of pieces; data may be null when length is 0.
    void Update(const void* data, std::size_t length);
    // Writes the digest of everything since construction or the last Final,
    // and starts over.
    void Final(unsigned char digest[kSha256Size]);

    static void Hash(const void* data, std::size_t length, unsigned char digest[kSha256Size]);

private:
    void Reset();

    sha256_internal::BlockFunction blocks_;
    uint32_t state_[8];
    uint64_t total_; // bytes so far; the length field is its bit count modulo 2^64
    unsigned char pending_[64];
    std::size_t pendingLength_;
};
