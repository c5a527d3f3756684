// The walk of ANSI paths by characters, and when two are the same path.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include "sys/PathWalk.h"

namespace {

using sys::Slashes;

constexpr LeadByteTest kSjis = IsShiftJisLeadByte;

// Shift-JIS in UTF-16 by the system's own conversion.
std::u16string ShiftJisToUtf16(std::string_view text)
{
    std::u16string out(text.size(), u'\0');
#ifdef _WIN32
    const int units = MultiByteToWideChar(932, 0, text.data(), static_cast<int>(text.size()),
        reinterpret_cast<wchar_t*>(out.data()), static_cast<int>(out.size()));
    out.resize(units > 0 ? static_cast<std::size_t>(units) : 0);
#else
    iconv_t convert = iconv_open("UTF-16LE", "CP932");
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    auto* to = reinterpret_cast<char*>(out.data());
    std::size_t outLeft = out.size() * 2;
    const bool ok = convert != reinterpret_cast<iconv_t>(-1) && iconv(convert, &in, &inLeft, &to, &outLeft) == 0;
    if (convert != reinterpret_cast<iconv_t>(-1))
        iconv_close(convert);
    out.resize(ok ? out.size() - outLeft / 2 : 0);
#endif
    return out;
}
const sys::CodePage kShiftJis { kSjis, ShiftJisToUtf16 };
// 表 is 0x95 0x5C: its trail byte is a backslash. 0x82 0x61 and 0x82 0x41
// are two characters whose trail bytes are the letters a and A.
const std::string kHyo = "\x95\x5C";

TEST(PathWalk, TrailBytesAreNeverSeparators)
{
    EXPECT_EQ(2, sys::LastSeparatorIn("C:\\" + kHyo, kSjis));
    EXPECT_EQ(4, sys::LastSeparatorIn("C:\\" + kHyo, nullptr)); // every byte a character of its own
    EXPECT_EQ(-1, sys::LastSeparatorIn("a/b", kSjis));
    EXPECT_EQ(1, sys::LastSeparatorIn("a/b", kSjis, Slashes::Separate));
    EXPECT_EQ((std::vector<std::string_view> { "", kHyo, "", "x" }),
        sys::SplitAtSeparators("\\" + kHyo + "\\/x", kSjis, Slashes::Separate));
    // A lead byte at the end has no trail: one character of one byte.
    EXPECT_EQ(1u, sys::CharacterSize("\x95", 0, kSjis));
    EXPECT_EQ(2u, sys::CharacterSize(kHyo, 0, kSjis));
}

TEST(PathWalk, SamePathFoldsAsciiLettersAndNoTrailByte)
{
    EXPECT_TRUE(sys::SamePathPrefix("C:\\Program Files\\x", "c:\\PROGRAM FILES", 16, kSjis));
    EXPECT_FALSE(sys::SamePathPrefix("C:\\\x82\x61", "C:\\\x82\x41", 5, kSjis));
    EXPECT_TRUE(sys::SamePathPrefix("C:\\\x82\x61", "C:\\\x82\x41", 5, nullptr)); // read as single bytes
    EXPECT_FALSE(sys::SamePathPrefix("C:", "C:\\x", 3, kSjis)); // shorter than the prefix
    EXPECT_EQ("C:\\\x82\x61\\ABC", sys::PathKey("c:\\\x82\x61\\abc", kSjis));
    EXPECT_EQ(sys::PathKey("a\\" + kHyo + "b", kSjis), sys::PathKey("A\\" + kHyo + "B", kSjis));
}

// With the text in UTF-16, names compare by the one table: full-width and
// Greek letters fold too, characters without case never.
TEST(PathWalk, SamePathByTheTableWhereTheTextIsKnownInUtf16)
{
    const std::string fullWidthLower = "\x82\x81\x82\x82"; // ａｂ
    const std::string fullWidthUpper = "\x82\x60\x82\x61"; // ＡＢ
    const std::string alpha = "\x83\xBF"; // α
    const std::string capitalAlpha = "\x83\x9F"; // Α
    ASSERT_EQ(u"ａｂ", ShiftJisToUtf16(fullWidthLower));
    EXPECT_TRUE(
        sys::SamePathPrefix("c:\\" + fullWidthLower + alpha, "C:\\" + fullWidthUpper + capitalAlpha, 9, kShiftJis));
    EXPECT_FALSE(sys::SamePathPrefix("c:\\" + fullWidthLower, "C:\\" + fullWidthUpper, 7, kSjis)); // without it, exact
    EXPECT_FALSE(sys::SamePathPrefix("\x83\x41", "\x83\x61", 2, kShiftJis)); // ア and ャ
    EXPECT_EQ(sys::PathKey("x\\" + fullWidthLower, kShiftJis), sys::PathKey("X\\" + fullWidthUpper, kShiftJis));
    EXPECT_NE(sys::PathKey("x\\" + fullWidthLower, kShiftJis), sys::PathKey("X\\" + fullWidthLower + "a", kShiftJis));
}

} // namespace

TEST(FoldersBelowRoot, EachFolderOfThePathBelowItsRoot)
{
    using V = std::vector<std::string>;
    EXPECT_EQ((V { "C:\\A", "C:\\A\\B" }), sys::FoldersBelowRoot("C:\\A\\B", nullptr));
    EXPECT_EQ((V { "C:\\A", "C:\\A\\B" }), sys::FoldersBelowRoot("C:\\A\\B\\", nullptr));
    EXPECT_EQ((V { "\\\\server\\share\\A" }), sys::FoldersBelowRoot("\\\\server\\share\\A", nullptr));
    EXPECT_EQ((V { "C:\\A", "C:\\A\\\\B" }), sys::FoldersBelowRoot("C:\\A\\\\B", nullptr));
    EXPECT_EQ((V { "\\A" }), sys::FoldersBelowRoot("\\A", nullptr));
    EXPECT_TRUE(sys::FoldersBelowRoot("C:\\", nullptr).empty());
    EXPECT_TRUE(sys::FoldersBelowRoot("\\\\server\\share\\", nullptr).empty());
    // A Shift-JIS trail byte 0x5C is no separator.
    const LeadByteTest lead = [](unsigned char c) { return c == 0x95; };
    EXPECT_EQ((V { "C:\\\x95\\x", "C:\\\x95\\x\\B" }), sys::FoldersBelowRoot("C:\\\x95\\x\\B", lead));
    // 表 (0x95 0x5C) ends a folder's name: the separator after it counts.
    EXPECT_EQ((V { "C:\\\x95\\", "C:\\\x95\\\\B" }), sys::FoldersBelowRoot("C:\\\x95\\\\B", lead));
    EXPECT_EQ((V { "C:\\\x95\\" }), sys::FoldersBelowRoot("C:\\\x95\\", lead));
}
