// The walk of ANSI paths by characters, and when two are the same path.
#include <gtest/gtest.h>

#include "sys/PathWalk.h"

namespace {

using sys::Slashes;

constexpr LeadByteTest kSjis = IsShiftJisLeadByte;
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

} // namespace
