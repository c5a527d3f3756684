// The product data of setup.exe and uninstall.exe: one area of fixed size in
// a section of the program's own (".product"). A program built for a product
// has it compiled in (ynbpack embed); a prebuilt program (a stub) holds the
// area empty, and ynbpack writes a product into it as it writes the payload
// stamp. Either way the program reads its product from this area alone.
// Portable: no Win32.
//
// Layout (little-endian), kProductAreaLayout 1:
//   0     marker (16 bytes)
//   16    layout version (u32)
//   20    state (u32): 0 no product (a stub), 1 a product
//   24    SetupTextLength (4 bytes) and SetupTextData (1005 bytes), the
//         configuration text's stored form: its length as decimal text, the
//         scrambled text and spaces, a final zero
//   1033  three keys (i32 each): configuration, payload, manifest
//   1045  DisplayVersion (129), Publisher (513), URLInfoAbout (2049): zero
//         terminated Shift-JIS texts of the uninstall entry
//   3736  flags (u32): bit 0, the payload and the documents are inside the
//         program (a single-file setup)
//   3740  the embedded parts, each offset (u64), size (u64), SHA-256 (32):
//         the payload, setup.txt, license.txt
//   3884  zeros up to kProductAreaSize
#pragma once

#include <cstddef>
#include <cstdint>

#include "config/SetupText.h"

namespace config {

constexpr std::size_t kProductAreaSize = 4096;
constexpr std::size_t kProductAreaMarkerSize = 16;
// The version of the layout above: a stub of another layout is refused by a
// ynbpack that writes this one.
constexpr uint32_t kProductAreaLayout = 1;
// The name of the program's section that holds the area.
inline constexpr char kProductSectionName[] = ".product";

// Random bytes without NUL, CR or LF, unlike the payload stamp's marker.
inline constexpr unsigned char kProductAreaMarker[kProductAreaMarkerSize]
    = { 0xc3, 0x5a, 0x91, 0x2e, 0xf7, 0x48, 0xb6, 0x1d, 0x6c, 0xe2, 0x37, 0x85, 0xaf, 0x53, 0x9b, 0x74 };

constexpr std::size_t kDisplayVersionSize = 129;
constexpr std::size_t kPublisherSize = 513;
constexpr std::size_t kUrlInfoAboutSize = 2049;

enum class EmbeddedPart : uint8_t { Payload, SetupText, LicenseText };
constexpr std::size_t kEmbeddedParts = 3;
constexpr std::size_t kEmbeddedDigestSize = 32;

struct EmbeddedRange {
    uint64_t offset = 0; // in the program's file
    uint64_t size = 0;
    unsigned char digest[kEmbeddedDigestSize] = {}; // SHA-256 of its bytes
};

struct ProductData {
    bool present = false; // false: a program that holds no product
    char SetupTextLength[kSetupTextLengthSize] = {};
    char SetupTextData[kSetupTextDataSize + 1] = {};
    int32_t configKey = 0;
    int32_t payloadKey = 0;
    int32_t manifestKey = 0;
    char displayVersion[kDisplayVersionSize] = {};
    char publisher[kPublisherSize] = {};
    char urlInfoAbout[kUrlInfoAboutSize] = {};
    bool singleFile = false; // the parts below are inside the program
    EmbeddedRange parts[kEmbeddedParts];

    const EmbeddedRange& Part(EmbeddedPart part) const { return parts[static_cast<std::size_t>(part)]; }
    EmbeddedRange& Part(EmbeddedPart part) { return parts[static_cast<std::size_t>(part)]; }
};

enum class ProductAreaProblem : uint8_t {
    None,
    NoMarker, // not a product area at all
    OtherLayout, // the area of another version of the program
    NoProduct, // a stub: the area holds no product
    Malformed, // a length or a text that does not fit its field, an unknown state or flag
};

// Reads the area (size bytes, at least kProductAreaSize) into data; data
// stays as it was unless the result is None. Never reads past the area.
ProductAreaProblem ReadProductArea(const unsigned char* area, std::size_t size, ProductData& data);
// The layout version of an area with the marker, else 0.
uint32_t ProductAreaLayoutOf(const unsigned char* area, std::size_t size);

// Writes data into area (kProductAreaSize bytes), marker and layout included.
// Every text must end with its zero inside its field (the caller checks).
void WriteProductArea(const ProductData& data, unsigned char* area);
// The area of a program that holds no product: marker, layout, zeros.
void WriteEmptyProductArea(unsigned char* area);

const char* ProductAreaProblemText(ProductAreaProblem problem);

} // namespace config
