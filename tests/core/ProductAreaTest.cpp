#include <gtest/gtest.h>

#include <cstring>

#include "config/ProductArea.h"

namespace {

using config::ProductAreaProblem;

config::ProductData Sample()
{
    config::ProductData data;
    data.present = true;
    std::memcpy(data.SetupTextLength, "203", 4);
    std::memset(data.SetupTextData, ' ', kSetupTextDataSize);
    data.SetupTextData[0] = '\x81';
    data.configKey = 123;
    data.payloadKey = -7;
    data.manifestKey = 999;
    std::strcpy(data.displayVersion, "1.2.3");
    std::strcpy(data.publisher, "\x82\xcd\x82\xc8"); // Shift-JIS
    std::memset(data.urlInfoAbout, 'u', config::kUrlInfoAboutSize - 1);
    data.singleFile = true;
    data.Part(config::EmbeddedPart::LicenseText) = { 0x1'0000'0000ull, 42, { 1, 2, 3 } };
    return data;
}

struct Area {
    unsigned char bytes[config::kProductAreaSize] = {};
};

TEST(ProductArea, WrittenDataReadsBackWhole)
{
    Area area;
    config::WriteProductArea(Sample(), area.bytes);
    config::ProductData read;
    ASSERT_EQ(ProductAreaProblem::None, config::ReadProductArea(area.bytes, sizeof area.bytes, read));
    const config::ProductData expected = Sample();
    EXPECT_TRUE(read.present);
    EXPECT_EQ(0, std::memcmp(expected.SetupTextData, read.SetupTextData, sizeof read.SetupTextData));
    EXPECT_STREQ("203", read.SetupTextLength);
    EXPECT_EQ(123, read.configKey);
    EXPECT_EQ(-7, read.payloadKey);
    EXPECT_EQ(999, read.manifestKey);
    EXPECT_STREQ("1.2.3", read.displayVersion);
    EXPECT_STREQ(expected.publisher, read.publisher);
    EXPECT_EQ(config::kUrlInfoAboutSize - 1, std::strlen(read.urlInfoAbout));
    EXPECT_TRUE(read.singleFile);
    const config::EmbeddedRange& license = read.Part(config::EmbeddedPart::LicenseText);
    EXPECT_EQ(0x1'0000'0000ull, license.offset);
    EXPECT_EQ(42u, license.size);
    EXPECT_EQ(3, license.digest[2]);
    EXPECT_EQ(0u, read.Part(config::EmbeddedPart::Payload).size);
}

TEST(ProductArea, StubsAndOtherProgramsAreToldApart)
{
    Area area;
    config::ProductData read = Sample();
    EXPECT_EQ(ProductAreaProblem::NoMarker, config::ReadProductArea(area.bytes, sizeof area.bytes, read));
    config::WriteEmptyProductArea(area.bytes);
    EXPECT_EQ(config::kProductAreaLayout, config::ProductAreaLayoutOf(area.bytes, sizeof area.bytes));
    EXPECT_EQ(ProductAreaProblem::NoProduct, config::ReadProductArea(area.bytes, sizeof area.bytes, read));
    EXPECT_STREQ("1.2.3", read.displayVersion) << "a refused area leaves the data as it was";
    area.bytes[16] = static_cast<unsigned char>(config::kProductAreaLayout + 1);
    EXPECT_EQ(ProductAreaProblem::OtherLayout, config::ReadProductArea(area.bytes, sizeof area.bytes, read));
    EXPECT_EQ(ProductAreaProblem::NoMarker, config::ReadProductArea(area.bytes, sizeof area.bytes - 1, read))
        << "an area cut short is none";
}

// Each field's bound: an area whose text runs to its field's end, or whose
// length or flags are out of range, is refused rather than read past.
TEST(ProductArea, FieldsWithoutTheirEndAreRefused)
{
    const auto refused = [](auto spoil) {
        Area area;
        config::WriteProductArea(Sample(), area.bytes);
        spoil(area.bytes);
        config::ProductData read;
        return config::ReadProductArea(area.bytes, sizeof area.bytes, read) == ProductAreaProblem::Malformed;
    };
    EXPECT_TRUE(refused([](unsigned char* a) { std::memset(a + 24, '9', 4); })); // length without its zero
    EXPECT_TRUE(refused([](unsigned char* a) { std::memcpy(a + 24, "0\0", 2); }));
    EXPECT_TRUE(refused([](unsigned char* a) { std::memcpy(a + 24, "1000", 4); }));
    EXPECT_TRUE(refused([](unsigned char* a) { a[24 + 4 + 1004] = ' '; })); // the text's final zero
    EXPECT_TRUE(refused([](unsigned char* a) { std::memset(a + 1045, 'v', config::kDisplayVersionSize); }));
    EXPECT_TRUE(refused([](unsigned char* a) { std::memset(a + 1174, 'p', config::kPublisherSize); }));
    EXPECT_TRUE(refused([](unsigned char* a) { a[1687 + config::kUrlInfoAboutSize - 1] = 'u'; }));
    EXPECT_TRUE(refused([](unsigned char* a) { a[20] = 2; })); // an unknown state
    EXPECT_TRUE(refused([](unsigned char* a) { a[3736] = 3; })); // an unknown flag
    EXPECT_TRUE(refused([](unsigned char* a) { std::memset(a + 3740, 0xff, 16); })); // a range that wraps
    EXPECT_FALSE(refused([](unsigned char*) {}));
}

} // namespace
