#include "package/ClsSecurity.h"

#include <cstring>

namespace {

// Exchanges bits lo and hi (lo < hi) of every byte and then adds delta to
// every byte, eight bytes per step. Within a 64-bit word a right shift by
// hi - lo carries bits of the next byte only into positions above 7 - (hi - lo),
// which the mask at bit lo never reaches, so bytes stay independent. Plain
// 64-bit arithmetic lets the compiler use vector registers where it can.
void SwapBitsThenAdd(unsigned char* data, int32_t length, int lo, int hi, uint8_t delta)
{
    const uint64_t ones = 0x0101010101010101ull;
    const uint64_t low7 = 0x7f7f7f7f7f7f7f7full;
    const uint64_t high1 = 0x8080808080808080ull;
    const uint64_t deltaWord = ones * delta;
    const uint64_t mask = ones << lo;
    const int distance = hi - lo;

    int32_t i = 0;
    for (; i + 8 <= length; i += 8) {
        uint64_t w;
        std::memcpy(&w, data + i, 8);
        if (distance != 0) {
            const uint64_t diff = ((w >> distance) ^ w) & mask;
            w ^= diff | (diff << distance);
        }
        // Byte-wise addition modulo 256 without carries between bytes.
        w = ((w & low7) + (deltaWord & low7)) ^ ((w ^ deltaWord) & high1);
        std::memcpy(data + i, &w, 8);
    }
    for (; i < length; ++i) {
        unsigned v = data[i];
        if (distance != 0) {
            const unsigned diff = ((v >> distance) ^ v) & (1u << lo);
            v ^= diff | (diff << distance);
        }
        data[i] = static_cast<unsigned char>(v + delta);
    }
}

// The inverse order: subtract first, then exchange the bits.
void SubtractThenSwapBits(unsigned char* data, int32_t length, int lo, int hi, uint8_t delta)
{
    // Subtracting delta is adding its two's complement modulo 256.
    const uint8_t negated = static_cast<uint8_t>(0u - delta);
    const uint64_t ones = 0x0101010101010101ull;
    const uint64_t low7 = 0x7f7f7f7f7f7f7f7full;
    const uint64_t high1 = 0x8080808080808080ull;
    const uint64_t deltaWord = ones * negated;
    const uint64_t mask = ones << lo;
    const int distance = hi - lo;

    int32_t i = 0;
    for (; i + 8 <= length; i += 8) {
        uint64_t w;
        std::memcpy(&w, data + i, 8);
        w = ((w & low7) + (deltaWord & low7)) ^ ((w ^ deltaWord) & high1);
        if (distance != 0) {
            const uint64_t diff = ((w >> distance) ^ w) & mask;
            w ^= diff | (diff << distance);
        }
        std::memcpy(data + i, &w, 8);
    }
    for (; i < length; ++i) {
        unsigned v = static_cast<uint8_t>(data[i] + negated);
        if (distance != 0) {
            const unsigned diff = ((v >> distance) ^ v) & (1u << lo);
            v ^= diff | (diff << distance);
        }
        data[i] = static_cast<unsigned char>(v);
    }
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
    const int a = static_cast<int>(static_cast<uint32_t>(key) & 7u);
    const int b = plainMiddle & 7;
    const uint8_t delta = static_cast<uint8_t>(static_cast<uint32_t>(key) & 0xffu);

    SwapBitsThenAdd(data, length, a < b ? a : b, a < b ? b : a, delta);
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
    const uint8_t delta = static_cast<uint8_t>(static_cast<uint32_t>(key) & 0xffu);
    const unsigned char plainMiddle = static_cast<unsigned char>(data[middle] - delta);
    const int a = static_cast<int>(static_cast<uint32_t>(key) & 7u);
    const int b = plainMiddle & 7;

    SubtractThenSwapBits(data, length, a < b ? a : b, a < b ? b : a, delta);
    data[middle] = plainMiddle;
    return data[0] != first;
}
