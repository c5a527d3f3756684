#include "config/ProductArea.h"

#include <cstring>

namespace config {

namespace {

constexpr std::size_t kLayoutAt = 16;
constexpr std::size_t kStateAt = 20;
constexpr std::size_t kLengthAt = 24;
constexpr std::size_t kDataAt = kLengthAt + kSetupTextLengthSize;
constexpr std::size_t kKeysAt = kDataAt + kSetupTextDataSize + 1;
constexpr std::size_t kVersionAt = kKeysAt + 12;
constexpr std::size_t kPublisherAt = kVersionAt + kDisplayVersionSize;
constexpr std::size_t kUrlAt = kPublisherAt + kPublisherSize;
constexpr std::size_t kFlagsAt = kUrlAt + kUrlInfoAboutSize;
constexpr std::size_t kPartsAt = kFlagsAt + 4;
constexpr std::size_t kPartSize = 16 + kEmbeddedDigestSize;
constexpr std::size_t kEnd = kPartsAt + kEmbeddedParts * kPartSize;
static_assert(kFlagsAt == 3736 && kEnd == 3884 && kEnd <= kProductAreaSize, "the layout the header describes");

constexpr uint32_t kStateProduct = 1;
constexpr uint32_t kFlagSingleFile = 1;

uint64_t Le(const unsigned char* p, int bytes)
{
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}

void PutLe(unsigned char* p, uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// A text field whose zero lies inside it.
bool Terminated(const unsigned char* field, std::size_t size)
{
    return std::memchr(field, 0, size) != nullptr;
}

} // namespace

uint32_t ProductAreaLayoutOf(const unsigned char* area, std::size_t size)
{
    if (size < kProductAreaSize || std::memcmp(area, kProductAreaMarker, kProductAreaMarkerSize) != 0)
        return 0;
    return static_cast<uint32_t>(Le(area + kLayoutAt, 4));
}

ProductAreaProblem ReadProductArea(const unsigned char* area, std::size_t size, ProductData& data)
{
    const uint32_t layout = ProductAreaLayoutOf(area, size);
    if (layout == 0)
        return ProductAreaProblem::NoMarker;
    if (layout != kProductAreaLayout)
        return ProductAreaProblem::OtherLayout;
    const uint32_t state = static_cast<uint32_t>(Le(area + kStateAt, 4));
    if (state == 0)
        return ProductAreaProblem::NoProduct;
    const uint32_t flags = static_cast<uint32_t>(Le(area + kFlagsAt, 4));
    if (state != kStateProduct || (flags & ~kFlagSingleFile) != 0)
        return ProductAreaProblem::Malformed;
    if (!Terminated(area + kLengthAt, kSetupTextLengthSize) || area[kDataAt + kSetupTextDataSize] != 0
        || !Terminated(area + kVersionAt, kDisplayVersionSize) || !Terminated(area + kPublisherAt, kPublisherSize)
        || !Terminated(area + kUrlAt, kUrlInfoAboutSize))
        return ProductAreaProblem::Malformed;
    const int32_t length = SetupTextLengthValue(reinterpret_cast<const char*>(area + kLengthAt), kSetupTextLengthSize);
    if (length <= 0 || length > kSetupTextMaxLength)
        return ProductAreaProblem::Malformed;

    ProductData read;
    read.present = true;
    std::memcpy(read.SetupTextLength, area + kLengthAt, kSetupTextLengthSize);
    std::memcpy(read.SetupTextData, area + kDataAt, kSetupTextDataSize + 1);
    read.configKey = static_cast<int32_t>(Le(area + kKeysAt, 4));
    read.payloadKey = static_cast<int32_t>(Le(area + kKeysAt + 4, 4));
    read.manifestKey = static_cast<int32_t>(Le(area + kKeysAt + 8, 4));
    std::memcpy(read.displayVersion, area + kVersionAt, kDisplayVersionSize);
    std::memcpy(read.publisher, area + kPublisherAt, kPublisherSize);
    std::memcpy(read.urlInfoAbout, area + kUrlAt, kUrlInfoAboutSize);
    read.singleFile = (flags & kFlagSingleFile) != 0;
    for (std::size_t i = 0; i < kEmbeddedParts; ++i) {
        const unsigned char* part = area + kPartsAt + i * kPartSize;
        read.parts[i].offset = Le(part, 8);
        read.parts[i].size = Le(part + 8, 8);
        std::memcpy(read.parts[i].digest, part + 16, kEmbeddedDigestSize);
        if (read.parts[i].offset + read.parts[i].size < read.parts[i].offset)
            return ProductAreaProblem::Malformed;
    }
    data = read;
    return ProductAreaProblem::None;
}

void WriteEmptyProductArea(unsigned char* area)
{
    std::memset(area, 0, kProductAreaSize);
    std::memcpy(area, kProductAreaMarker, kProductAreaMarkerSize);
    PutLe(area + kLayoutAt, kProductAreaLayout, 4);
}

void WriteProductArea(const ProductData& data, unsigned char* area)
{
    WriteEmptyProductArea(area);
    PutLe(area + kStateAt, data.present ? kStateProduct : 0, 4);
    std::memcpy(area + kLengthAt, data.SetupTextLength, kSetupTextLengthSize);
    std::memcpy(area + kDataAt, data.SetupTextData, kSetupTextDataSize + 1);
    PutLe(area + kKeysAt, static_cast<uint32_t>(data.configKey), 4);
    PutLe(area + kKeysAt + 4, static_cast<uint32_t>(data.payloadKey), 4);
    PutLe(area + kKeysAt + 8, static_cast<uint32_t>(data.manifestKey), 4);
    std::memcpy(area + kVersionAt, data.displayVersion, kDisplayVersionSize);
    std::memcpy(area + kPublisherAt, data.publisher, kPublisherSize);
    std::memcpy(area + kUrlAt, data.urlInfoAbout, kUrlInfoAboutSize);
    PutLe(area + kFlagsAt, data.singleFile ? kFlagSingleFile : 0, 4);
    for (std::size_t i = 0; i < kEmbeddedParts; ++i) {
        unsigned char* part = area + kPartsAt + i * kPartSize;
        PutLe(part, data.parts[i].offset, 8);
        PutLe(part + 8, data.parts[i].size, 8);
        std::memcpy(part + 16, data.parts[i].digest, kEmbeddedDigestSize);
    }
}

const char* ProductAreaProblemText(ProductAreaProblem problem)
{
    switch (problem) {
    case ProductAreaProblem::None:
        return "a product";
    case ProductAreaProblem::NoMarker:
        return "no product data area";
    case ProductAreaProblem::OtherLayout:
        return "a product data area of another layout";
    case ProductAreaProblem::NoProduct:
        return "no product (a stub)";
    case ProductAreaProblem::Malformed:
        return "a damaged product data area";
    }
    return "?";
}

} // namespace config
