#include "package/ClsSecurity.h"

#include <cstring>

namespace {

// On x86-64 ELF hosts the loops get an AVX2 clone chosen at load time; the
// Windows programs use the baseline code of their target.
#if defined(__x86_64__) && defined(__ELF__)
#define YNB_MULTIVERSION __attribute__((target_clones("avx2", "default")))
#else
#define YNB_MULTIVERSION
#endif

// 32 bytes at a time: as 64-bit lanes for the bit exchange, as bytes for the
// addition. Within a 64-bit lane a right shift by hi - lo moves bits of the
// next byte only into positions above 7 - (hi - lo), which the mask at bit lo
// never reaches, so the bytes stay independent.
typedef uint64_t Lanes __attribute__((vector_size(32)));
typedef uint8_t Octets __attribute__((vector_size(32)));
constexpr int32_t kStep = 32;

struct Exchange {
    int lo; // the lower of the two bit positions
    int distance; // hi - lo; 0 means the exchange changes nothing
};

inline unsigned ExchangeByte(unsigned v, Exchange x)
{
    const unsigned diff = ((v >> x.distance) ^ v) & (1u << x.lo);
    return v ^ (diff | (diff << x.distance));
}

// Scramble's order: exchange the bits, then add.
YNB_MULTIVERSION void ExchangeThenAdd(unsigned char* data, int32_t length, Exchange x, uint8_t delta)
{
    const uint64_t m = 0x0101010101010101ull << x.lo;
    const Lanes mask = { m, m, m, m };
    int32_t i = 0;
    for (; i + kStep <= length; i += kStep) {
        Lanes w;
        std::memcpy(&w, data + i, kStep);
        const Lanes diff = ((w >> x.distance) ^ w) & mask;
        w ^= diff | (diff << x.distance);
        const Octets o = reinterpret_cast<Octets>(w) + delta;
        std::memcpy(data + i, &o, kStep);
    }
    for (; i < length; ++i)
        data[i] = static_cast<unsigned char>(ExchangeByte(data[i], x) + delta);
}

// Unscramble's order: subtract, then exchange the bits.
YNB_MULTIVERSION void SubtractThenExchange(unsigned char* data, int32_t length, Exchange x, uint8_t delta)
{
    const uint64_t m = 0x0101010101010101ull << x.lo;
    const Lanes mask = { m, m, m, m };
    int32_t i = 0;
    for (; i + kStep <= length; i += kStep) {
        Octets o;
        std::memcpy(&o, data + i, kStep);
        o -= delta;
        Lanes w = reinterpret_cast<Lanes>(o);
        const Lanes diff = ((w >> x.distance) ^ w) & mask;
        w ^= diff | (diff << x.distance);
        std::memcpy(data + i, &w, kStep);
    }
    for (; i < length; ++i)
        data[i] = static_cast<unsigned char>(ExchangeByte(static_cast<uint8_t>(data[i] - delta), x));
}

Exchange BitsOf(int32_t key, unsigned char plainMiddle)
{
    const int a = static_cast<int>(static_cast<uint32_t>(key) & 7u);
    const int b = plainMiddle & 7;
    return a < b ? Exchange { a, b - a } : Exchange { b, a - b };
}

// Only the key modulo 256 matters for the shift, whatever its sign.
uint8_t ShiftOf(int32_t key)
{
    return static_cast<uint8_t>(static_cast<uint32_t>(key) & 0xffu);
}

} // namespace

bool ClsSecurity::Scramble(void* buffer, int32_t length, int32_t key)
{
    if (buffer == nullptr || length <= 0)
        return false;
    auto* data = static_cast<unsigned char*>(buffer);
    const unsigned char first = data[0];
    const int32_t middle = length / 2;
    const unsigned char plainMiddle = data[middle];
    const uint8_t delta = ShiftOf(key);

    ExchangeThenAdd(data, length, BitsOf(key, plainMiddle), delta);
    // The middle byte carries b for the way back: it is shifted, never exchanged.
    data[middle] = static_cast<unsigned char>(plainMiddle + delta);
    return data[0] != first;
}

bool ClsSecurity::Unscramble(void* buffer, int32_t length, int32_t key)
{
    if (buffer == nullptr || length <= 0)
        return false;
    auto* data = static_cast<unsigned char*>(buffer);
    const unsigned char first = data[0];
    const int32_t middle = length / 2;
    const uint8_t delta = ShiftOf(key);
    const unsigned char plainMiddle = static_cast<unsigned char>(data[middle] - delta);

    SubtractThenExchange(data, length, BitsOf(key, plainMiddle), delta);
    data[middle] = plainMiddle;
    return data[0] != first;
}
