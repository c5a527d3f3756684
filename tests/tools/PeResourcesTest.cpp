// The resource writer and the version resource, natively: trees written and
// read back, damaged sections refused, icons and bitmaps replaced as
// Windows loads them. Windows' own reading of a written program is the
// Windows tests' (tests/win-tools/ResourceProbe.cpp).
#include <gtest/gtest.h>

#include "Errors.h"
#include "PeResources.h"
#include "VersionInfo.h"

namespace {

using namespace ynbpack;

constexpr uint32_t kRva = 0x5000;

ResourceKey Key(uint16_t type, uint16_t name, uint16_t language = 1033)
{
    return { { type, {} }, { name, {} }, language };
}

// An icon file of the given square sizes, each image a 40-byte header and
// filler bytes.
Bytes IconFile(std::initializer_list<int> sizes)
{
    Bytes file(6 + 16 * sizes.size(), 0);
    file[2] = 1;
    file[4] = static_cast<unsigned char>(sizes.size());
    std::size_t i = 0;
    for (int size : sizes) {
        Bytes image(40 + 4 * size * size, static_cast<unsigned char>(size));
        image[0] = 40;
        image[1] = image[2] = image[3] = 0;
        for (int b = 0; b < 4; ++b) {
            image[4 + b] = static_cast<unsigned char>(size >> (8 * b));
            image[8 + b] = static_cast<unsigned char>((2 * size) >> (8 * b));
        }
        const std::size_t entry = 6 + 16 * i++;
        file[entry] = file[entry + 1] = static_cast<unsigned char>(size);
        file[entry + 4] = 1;
        file[entry + 6] = 32;
        for (int b = 0; b < 4; ++b) {
            file[entry + 8 + b] = static_cast<unsigned char>(image.size() >> (8 * b));
            file[entry + 12 + b] = static_cast<unsigned char>(file.size() >> (8 * b));
        }
        file.insert(file.end(), image.begin(), image.end());
    }
    return file;
}

TEST(Resources, ATreeWrittenReadsBackTheSame)
{
    ResourceTree tree;
    tree[Key(kRtVersion, 1)] = Bytes { 1, 2, 3 };
    tree[Key(kRtBitmap, 101)] = Bytes(1000, 7);
    tree[Key(kRtBitmap, 101, 1041)] = Bytes { 9 };
    tree[{ { 0, u"CUSTOM" }, { 0, u"Name" }, 0 }] = Bytes(5, 5);
    tree[{ { 0, u"CUSTOM" }, { 3, {} }, 0 }] = Bytes();
    const Bytes section = WriteResources(tree, kRva);
    EXPECT_EQ(tree, ReadResources(section, kRva, "test"));
    EXPECT_EQ(section, WriteResources(ReadResources(section, kRva, "test"), kRva)) << "one tree, one form";
    // Windows searches each directory's names, then its numbers, both in order.
    EXPECT_EQ(1u, ReadLe16(section, 12)) << "one named type";
    EXPECT_EQ(2u, ReadLe16(section, 14)) << "two numbered types";
}

TEST(Resources, DamagedSectionsAreRefused)
{
    ResourceTree tree;
    tree[Key(kRtVersion, 1)] = Bytes(64, 1);
    const Bytes good = WriteResources(tree, kRva);
    const auto refused = [&](auto spoil, uint32_t rva = kRva) {
        Bytes section = good;
        spoil(section);
        EXPECT_THROW(ReadResources(section, rva, "test"), UsageError);
    };
    refused([](Bytes& s) { s.resize(20); }); // the entries cut off
    refused([](Bytes& s) { s[20] = 0x00, s[23] = 0x80; }); // the type's directory is the root again: a loop
    refused([](Bytes& s) { s[21] = 0x40; }); // a directory far outside
    refused([](Bytes&) {}, kRva + 0x1000); // the data before the section
    refused([](Bytes& s) { s[s.size() - 64 - 16 + 5] = 0x10; }); // a size past the end
    refused([](Bytes& s) { s[23] = 0; }); // a data entry where the type's directory belongs
}

TEST(Resources, AnIconGroupReplacesItsImagesAndKeepsOthers)
{
    ResourceTree tree;
    SetIconGroup(tree, 1, IconFile({ 16, 32, 48 }), "program.ico");
    SetIconGroup(tree, 102, IconFile({ 32 }), "image2.ico");
    ASSERT_EQ(1u, tree.count(Key(kRtIcon, 4, 0))) << "the second group's image after the first's";
    SetIconGroup(tree, 1, IconFile({ 16 }), "product.ico");
    EXPECT_EQ(0u, tree.count(Key(kRtIcon, 2, 0))) << "the old group's images go";
    EXPECT_EQ(0u, tree.count(Key(kRtIcon, 3, 0)));
    EXPECT_EQ(1u, tree.count(Key(kRtIcon, 4, 0))) << "the other group's image stays";
    const Bytes& group = tree.at(Key(kRtGroupIcon, 1, 0));
    ASSERT_EQ(6u + 14, group.size());
    EXPECT_EQ(1u, ReadLe16(group, 4));
    EXPECT_EQ(16, group[6]) << "its width";
    const uint16_t image = static_cast<uint16_t>(ReadLe16(group, 6 + 12));
    EXPECT_EQ(1, image) << "the lowest free number";
    EXPECT_EQ(ReadLe32(group, 6 + 8), tree.at(Key(kRtIcon, image, 0)).size());
    EXPECT_EQ(16, tree.at(Key(kRtIcon, image, 0)).at(40)) << "the image's bytes, from the file";

    Bytes cut = IconFile({ 32 });
    cut.resize(cut.size() - 1);
    EXPECT_THROW(SetIconGroup(tree, 1, cut, "cut.ico"), UsageError);
}

TEST(Resources, ABitmapLosesItsFileHeader)
{
    ResourceTree tree;
    tree[Key(kRtBitmap, 101, 1033)] = Bytes { 1 };
    Bytes file(14, 0);
    file[0] = 'B', file[1] = 'M';
    file.resize(14 + 40 + 8, 3);
    SetBitmap(tree, 101, file, "image1.bmp");
    EXPECT_EQ(Bytes(file.begin() + 14, file.end()), tree.at(Key(kRtBitmap, 101, 1033)));
    EXPECT_THROW(SetBitmap(tree, 101, Bytes(30, 0), "x.bmp"), UsageError);
}

TEST(VersionInfo, VersionsAreFourSixteenBitNumbers)
{
    std::array<uint16_t, 4> parts {};
    ASSERT_TRUE(ParseFileVersion("1.0.7", parts));
    EXPECT_EQ((std::array<uint16_t, 4> { 1, 0, 7, 0 }), parts);
    ASSERT_TRUE(ParseFileVersion("65535.0.0.65535", parts));
    EXPECT_EQ("65535.0.0.65535", FileVersionText(parts));
    for (const char* text : { "", "1.", ".1", "1..2", "1.2.3.4.5", "65536", "1.0-beta", "+1", "1 .2", "000001" })
        EXPECT_FALSE(ParseFileVersion(text, parts)) << text;
}

// The resource's own structure: every node's length covers its children, each
// child starts on a 32-bit boundary, and the texts are there in UTF-16.
TEST(VersionInfo, TheResourceHoldsItsTextsInItsNodes)
{
    VersionTexts texts;
    texts.fileDescription = u"Setup";
    texts.productName = u"はなまる家計簿";
    texts.version = u"1.2.3.4";
    texts.parts = { 1, 2, 3, 4 };
    const Bytes resource = VersionResource(texts);
    ASSERT_EQ(resource.size(), ReadLe16(resource, 0));
    EXPECT_EQ(52u, ReadLe16(resource, 2));
    EXPECT_EQ(0xFEEF04BDu, ReadLe32(resource, 40)) << "the fixed part after the 32-bit aligned key";
    EXPECT_EQ(0x00010002u, ReadLe32(resource, 48)) << "1.2";
    EXPECT_EQ(0x00030004u, ReadLe32(resource, 52)) << "3.4";
    const auto find = [&](const std::u16string& text) {
        Bytes units;
        for (char16_t c : text)
            units.push_back(static_cast<unsigned char>(c)), units.push_back(static_cast<unsigned char>(c >> 8));
        return std::search(resource.begin(), resource.end(), units.begin(), units.end()) - resource.begin();
    };
    const auto name = find(u"ProductName");
    ASSERT_LT(name, static_cast<std::ptrdiff_t>(resource.size()));
    EXPECT_EQ(0, (name - 6) % 4) << "a string node starts on a 32-bit boundary";
    EXPECT_EQ(8u, ReadLe16(resource, static_cast<std::size_t>(name - 4))) << "the value's length in characters";
    EXPECT_LT(find(u"はなまる家計簿"), static_cast<std::ptrdiff_t>(resource.size()));
    EXPECT_EQ(static_cast<std::ptrdiff_t>(resource.size()), find(u"CompanyName")) << "an empty text is left out";
}

} // namespace
