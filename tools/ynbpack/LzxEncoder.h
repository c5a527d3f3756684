// The LZX compressor of cabinet folders, for cabinet.dll's decoder: one
// stream per folder, cut into 32 KiB frames, each frame the data of one
// CFDATA block. The stream keeps to what every decoder of the format reads
// alike: verbatim and aligned-offset blocks only (no uncompressed blocks),
// blocks made of whole frames, matches that never run across a frame, every
// frame padded to 16 bits, Huffman codes complete and at most 16 bits long.
// Self-contained: no Win32, no exceptions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ynbpack {

constexpr unsigned kLzxMinWindowBits = 15;
constexpr unsigned kLzxMaxWindowBits = 21;
constexpr std::size_t kLzxFrameSize = 32768;
// The most compressed bytes that decoders take in one CFDATA block.
constexpr std::size_t kLzxMaxFrameBytes = 32768 + 6144;

struct LzxOptions {
    unsigned windowBits = kLzxMaxWindowBits; // 15 to 21
    unsigned chainLength = 64; // hash-chain candidates tried at each position
    unsigned niceLength = 96; // a match this long is taken without looking further
    bool optimal = true; // near-optimal parsing; lazy matching when false
    // The x86 call translation: when it pays (Auto), or always or never.
    enum class Calls { Auto, On, Off } calls = Calls::Auto;
};

// Where the compressed bits went, for measurements.
struct LzxStats {
    uint64_t literalBits = 0;
    uint64_t matchBits = 0; // main symbols, length symbols and offset bits of matches
    uint64_t treeBits = 0; // block headers and trees
    uint64_t blocks = 0;
    uint64_t alignedBlocks = 0;
    bool e8 = false; // the x86 call translation was applied
};

// Compresses one folder's bytes: frames[i] receives the data of CFDATA block
// i (ceil(size / 32 KiB) of them; none for an empty folder). The same input
// and options always give the same bytes. False when a frame would take more
// than kLzxMaxFrameBytes or the options are out of range.
bool LzxCompress(const unsigned char* data, std::size_t size, const LzxOptions& options,
    std::vector<std::vector<unsigned char>>& frames, LzxStats* stats = nullptr);

// Huffman code lengths of the frequencies, none above maxLength (at most
// 16), forming a complete code: a symbol without frequency gets 0, and when
// fewer than two symbols have any, the lowest others get length 1 to make
// two. Deterministic.
std::vector<uint8_t> LzxCodeLengths(const std::vector<uint32_t>& frequencies, unsigned maxLength);

} // namespace ynbpack
