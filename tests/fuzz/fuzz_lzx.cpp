// The LZX encoder's round trip through libmspack's decoder on any bytes:
// the input, repeated with a change in each copy, grown past the 32 KiB
// frames; its first three bytes choose the window, the call translation,
// the parser and the match finder's effort. Whatever the bytes, the encoder keeps within the format and the
// decoder gives them back.
#include <cstdint>
#include <cstdio>

#include "LzxRoundTrip.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    ynbpack::LzxOptions options;
    options.windowBits = ynbpack::kLzxMinWindowBits + data[0] % 7;
    options.calls = static_cast<ynbpack::LzxOptions::Calls>(data[0] / 7 % 3);
    options.optimal = (data[2] & 0x80) == 0;
    options.chainLength = 1 + (data[1] & 0x3F);
    options.niceLength = data[1] & 0x40 ? 257 : 16;
    const unsigned copies = 1 + (data[1] >> 7) * (data[2] & 0x7F);
    data += 3;
    size -= 3;
    lzxtest::Bytes input;
    for (unsigned copy = 0; copy < copies; ++copy) {
        input.insert(input.end(), data, data + size);
        if (size > 0)
            input[input.size() - 1 - copy % size] ^= static_cast<unsigned char>(copy);
    }
    const std::string failure = lzxtest::RoundTrip(input, options);
    if (!failure.empty()) {
        std::fprintf(stderr, "LZX round trip: %s\n", failure.c_str());
        __builtin_trap();
    }
    return 0;
}
