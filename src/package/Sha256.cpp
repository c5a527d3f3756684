#include "package/Sha256.h"

#include <cstring>
#include <utility>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define YNB_SHA_EXTENSIONS 1
#endif

namespace {

constexpr uint32_t kInitial[8]
    = { 0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19 };

alignas(16) constexpr uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5, //
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174, //
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da, //
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, //
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, //
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, //
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3, //
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2, //
};

inline uint32_t Rotr(uint32_t x, int n)
{
    return (x >> n) | (x << (32 - n));
}

inline uint32_t LoadBigEndian(const unsigned char* p)
{
    return (uint32_t { p[0] } << 24) | (uint32_t { p[1] } << 16) | (uint32_t { p[2] } << 8) | p[3];
}

inline void StoreBigEndian(unsigned char* p, uint32_t v)
{
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

void PortableBlocksOf(uint32_t state[8], const unsigned char* blocks, std::size_t count)
{
    for (; count > 0; --count, blocks += 64) {
        uint32_t w[64];
        for (int t = 0; t < 16; ++t)
            w[t] = LoadBigEndian(blocks + 4 * t);
        for (int t = 16; t < 64; ++t) {
            const uint32_t s0 = Rotr(w[t - 15], 7) ^ Rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
            const uint32_t s1 = Rotr(w[t - 2], 17) ^ Rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
            w[t] = w[t - 16] + s0 + w[t - 7] + s1;
        }
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        for (int t = 0; t < 64; ++t) {
            const uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[t] + w[t];
            const uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
}

#ifdef YNB_SHA_EXTENSIONS

#define YNB_SHA_TARGET __attribute__((target("sha,sse4.1,ssse3")))
#define YNB_SHA_INLINE YNB_SHA_TARGET __attribute__((always_inline)) inline
// 32-bit Windows promises a callee only 4-byte stack alignment, and spilled
// vectors need 16.
#if defined(__i386__)
#define YNB_SHA_ENTRY YNB_SHA_TARGET __attribute__((force_align_arg_pointer))
#else
#define YNB_SHA_ENTRY YNB_SHA_TARGET
#endif

// Rounds 4g to 4g + 3. The four message words of group j live in w[j % 4]:
// loaded for the first four groups, then made from earlier groups, each step
// as early as its inputs allow.
template <int g>
YNB_SHA_INLINE void FourRounds(
    __m128i& abef, __m128i& cdgh, __m128i (&w)[4], const unsigned char* block, __m128i byteSwap)
{
    if constexpr (g < 4)
        w[g] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * g)), byteSwap);
    const __m128i message = _mm_add_epi32(w[g % 4], _mm_load_si128(reinterpret_cast<const __m128i*>(kRound + 4 * g)));
    cdgh = _mm_sha256rnds2_epu32(cdgh, abef, message);
    if constexpr (g >= 3 && g <= 14) {
        const __m128i previous = _mm_alignr_epi8(w[g % 4], w[(g + 3) % 4], 4);
        w[(g + 1) % 4] = _mm_sha256msg2_epu32(_mm_add_epi32(w[(g + 1) % 4], previous), w[g % 4]);
    }
    abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(message, 0x0e));
    if constexpr (g >= 1 && g <= 12)
        w[(g + 3) % 4] = _mm_sha256msg1_epu32(w[(g + 3) % 4], w[g % 4]);
}

template <int... g>
YNB_SHA_INLINE void AllRounds(
    __m128i& abef, __m128i& cdgh, const unsigned char* block, __m128i byteSwap, std::integer_sequence<int, g...>)
{
    __m128i w[4];
    (FourRounds<g>(abef, cdgh, w, block, byteSwap), ...);
}

// The instructions keep the state as the word pairs ABEF and CDGH.
YNB_SHA_ENTRY void ShaExtensionBlocks(uint32_t state[8], const unsigned char* blocks, std::size_t count)
{
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bll, 0x0405060700010203ll);
    const __m128i cdab = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0xb1);
    const __m128i efgh = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1b);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xf0);
    for (; count > 0; --count, blocks += 64) {
        const __m128i abefBefore = abef;
        const __m128i cdghBefore = cdgh;
        AllRounds(abef, cdgh, blocks, byteSwap, std::make_integer_sequence<int, 16>());
        abef = _mm_add_epi32(abef, abefBefore);
        cdgh = _mm_add_epi32(cdgh, cdghBefore);
    }
    const __m128i feba = _mm_shuffle_epi32(abef, 0x1b);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xb1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xf0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}

bool HasShaExtensions()
{
    constexpr unsigned kSha = 1u << 29; // leaf 7, EBX
    constexpr unsigned kSsse3 = 1u << 9; // leaf 1, ECX
    constexpr unsigned kSse41 = 1u << 19; // leaf 1, ECX
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid_max(0, nullptr) < 7)
        return false;
    __cpuid(1, a, b, c, d);
    if ((c & kSsse3) == 0 || (c & kSse41) == 0)
        return false;
    __cpuid_count(7, 0, a, b, c, d);
    return (b & kSha) != 0;
}

#endif // YNB_SHA_EXTENSIONS

sha256_internal::BlockFunction FastestBlocks()
{
    const sha256_internal::BlockFunction accelerated = sha256_internal::AcceleratedBlocks();
    return accelerated != nullptr ? accelerated : PortableBlocksOf;
}

} // namespace

namespace sha256_internal {

BlockFunction PortableBlocks()
{
    return PortableBlocksOf;
}

BlockFunction AcceleratedBlocks()
{
#ifdef YNB_SHA_EXTENSIONS
    static const bool available = HasShaExtensions();
    return available ? ShaExtensionBlocks : nullptr;
#else
    return nullptr;
#endif
}

} // namespace sha256_internal

Sha256::Sha256()
    : Sha256(nullptr)
{
}

Sha256::Sha256(sha256_internal::BlockFunction blocks)
    : blocks_(blocks != nullptr ? blocks : FastestBlocks())
{
    Reset();
}

void Sha256::Reset()
{
    std::memcpy(state_, kInitial, sizeof state_);
    total_ = 0;
    pendingLength_ = 0;
}

void Sha256::Update(const void* data, std::size_t length)
{
    if (length == 0)
        return;
    auto* bytes = static_cast<const unsigned char*>(data);
    total_ += length;
    if (pendingLength_ > 0) {
        const std::size_t take = length < 64 - pendingLength_ ? length : 64 - pendingLength_;
        std::memcpy(pending_ + pendingLength_, bytes, take);
        pendingLength_ += take;
        bytes += take;
        length -= take;
        if (pendingLength_ < 64)
            return;
        blocks_(state_, pending_, 1);
        pendingLength_ = 0;
    }
    const std::size_t whole = length / 64;
    if (whole > 0) {
        blocks_(state_, bytes, whole);
        bytes += whole * 64;
        length -= whole * 64;
    }
    if (length > 0)
        std::memcpy(pending_, bytes, length);
    pendingLength_ = length;
}

void Sha256::Final(unsigned char digest[kSha256Size])
{
    const uint64_t bits = total_ * 8;
    pending_[pendingLength_++] = 0x80;
    if (pendingLength_ > 56) {
        std::memset(pending_ + pendingLength_, 0, 64 - pendingLength_);
        blocks_(state_, pending_, 1);
        pendingLength_ = 0;
    }
    std::memset(pending_ + pendingLength_, 0, 56 - pendingLength_);
    StoreBigEndian(pending_ + 56, static_cast<uint32_t>(bits >> 32));
    StoreBigEndian(pending_ + 60, static_cast<uint32_t>(bits));
    blocks_(state_, pending_, 1);
    for (int i = 0; i < 8; ++i)
        StoreBigEndian(digest + 4 * i, state_[i]);
    Reset();
}

void Sha256::Hash(const void* data, std::size_t length, unsigned char digest[kSha256Size])
{
    Sha256 hasher;
    hasher.Update(data, length);
    hasher.Final(digest);
}
