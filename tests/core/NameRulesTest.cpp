#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sys/NameRules.h"

namespace {

using F = NameFault;

F Check(const std::string& name, LeadByteTest lead = IsShiftJisLeadByte)
{
    return CheckName(name.data(), name.size(), lead);
}

TEST(NameRules, OrdinaryRelativeNamesPass)
{
    for (const char* name : { "a.txt", "readme", "bin\\app.exe", "bin/app.exe", "a\\b\\c\\d.dat", ".profile", "a..b",
             "...x", "x.y.z", "con1.txt", "console", "com0", "lpt10", "nul_x", "auxiliary.txt", "my file.txt",
             "a b\\c d", "~tmp", "#1", "\x7f" }) {
        EXPECT_EQ(F::None, Check(name)) << name;
        EXPECT_EQ(F::None, Check(name, nullptr)) << name;
    }
}

TEST(NameRules, EmptyAndRooted)
{
    EXPECT_EQ(F::Empty, Check(""));
    EXPECT_EQ(F::Empty, CheckName(nullptr, 3, nullptr));
    EXPECT_EQ(F::Rooted, Check("\\x"));
    EXPECT_EQ(F::Rooted, Check("/x"));
    EXPECT_EQ(F::Rooted, Check("\\\\server\\share\\x"));
    EXPECT_EQ(F::Rooted, Check("\\\\?\\C:\\x"));
    EXPECT_EQ(F::Rooted, Check("\\\\.\\pipe\\x"));
}

TEST(NameRules, DrivesAndStreams)
{
    EXPECT_EQ(F::Colon, Check("C:\\x"));
    EXPECT_EQ(F::Colon, Check("C:x"));
    EXPECT_EQ(F::Colon, Check("a.txt:stream"));
    EXPECT_EQ(F::Colon, Check("a.txt::$DATA"));
    EXPECT_EQ(F::Colon, Check("dir\\b:c"));
}

TEST(NameRules, ParentComponentsWithEitherSeparator)
{
    for (const char* name :
        { "..", "..\\x", "../x", "a\\..\\..\\x", "a/../../x", "a\\..", "a/..\\b", "..\\..\\..\\windows\\x" })
        EXPECT_EQ(F::ParentFolder, Check(name)) << name;
}

TEST(NameRules, EmptyComponents)
{
    EXPECT_EQ(F::EmptyComponent, Check("a\\\\b"));
    EXPECT_EQ(F::EmptyComponent, Check("a//b"));
    EXPECT_EQ(F::EmptyComponent, Check("a\\"));
    EXPECT_EQ(F::EmptyComponent, Check("a/"));
}

TEST(NameRules, ControlBytesAnywhere)
{
    for (unsigned c = 1; c < 0x20; ++c) {
        const std::string name = std::string("a") + static_cast<char>(c) + "b";
        EXPECT_EQ(F::ControlByte, Check(name)) << c;
    }
    EXPECT_EQ(F::ControlByte, Check(std::string("ab\0c", 4)));
}

TEST(NameRules, ReservedCharacters)
{
    for (const char* name : { "a<b", "a>b", "a\"b", "a|b", "a?b", "*.txt", "dir\\?" })
        EXPECT_EQ(F::ReservedCharacter, Check(name)) << name;
}

TEST(NameRules, DeviceNamesInAnyComponentCaseAndExtension)
{
    for (const char* name : { "CON", "con", "nul.txt", "NUL.tar.gz", "aux", "prn.log", "com1", "COM9.x", "lpt1", "LPT9",
             "dir\\nul", "dir/con.txt", "nul\\x", "nul .txt", "conin$", "CONOUT$.x", "com\xb9" }) {
        EXPECT_EQ(F::DeviceName, Check(name, nullptr)) << name;
    }
}

TEST(NameRules, TrailingDotOrSpace)
{
    for (const char* name : { "a.", "a ", ".", "dir.\\x", "dir \\x", "a\\.\\b", "x..." })
        EXPECT_EQ(F::TrailingDotOrSpace, Check(name)) << name;
}

// "表" is 0x95 0x5C and "ソ" 0x83 0x5C in Shift-JIS: the trail byte is not a
// separator in code page 932, where the program runs.
TEST(NameRules, ShiftJisTrailByteIsNotASeparator)
{
    const std::string table = "\x95\x5c.txt"; // 表.txt
    EXPECT_EQ(F::None, Check(table));
    EXPECT_EQ(F::None, Check("dir\\\x83\x5c")); // dir\ソ
    EXPECT_EQ(F::None, Check("\x83\x5c\\\x83\x7c.txt")); // ソ\ポ.txt: 0x7C '|' as a trail byte
    EXPECT_EQ(F::None, Check("\x83\x5c\x83\x5c")); // ソソ
    // The strict byte-wise reading sees separators and reserved characters there.
    EXPECT_EQ(F::EmptyComponent, Check("dir\\\x83\x5c", nullptr));
    EXPECT_EQ(F::ReservedCharacter, Check("\x83\x7c.txt", nullptr));
}

TEST(NameRules, ShiftJisCannotHideATraversal)
{
    // A lead byte before "\.." joins the backslash to it; the component then
    // ends in dots and is refused all the same.
    EXPECT_EQ(F::TrailingDotOrSpace, Check("\x95\\..\\x"));
    EXPECT_EQ(F::ParentFolder, Check("\x95\\..\\x", nullptr));
    EXPECT_EQ(F::ParentFolder, Check("\x95\x41\\..\\x"));
    EXPECT_EQ(F::Rooted, Check("\\\x95\x5c"));
    EXPECT_EQ(F::Colon, Check("\x95\x5c:x"));
}

TEST(NameRules, IncompleteDoubleByteCharacter)
{
    EXPECT_EQ(F::BrokenCharacter, Check("abc\x95"));
    EXPECT_EQ(F::BrokenCharacter, Check(std::string("a\x95\0", 3)));
    EXPECT_EQ(F::BrokenCharacter, Check("a\x95\x01"));
    EXPECT_EQ(F::None, Check("abc\x95", nullptr));
}

TEST(NameRules, LeadByteRangesOfShiftJis)
{
    EXPECT_FALSE(IsShiftJisLeadByte(0x80));
    EXPECT_TRUE(IsShiftJisLeadByte(0x81));
    EXPECT_TRUE(IsShiftJisLeadByte(0x9F));
    EXPECT_FALSE(IsShiftJisLeadByte(0xA0));
    EXPECT_FALSE(IsShiftJisLeadByte(0xDF)); // half-width katakana are single bytes
    EXPECT_TRUE(IsShiftJisLeadByte(0xE0));
    EXPECT_TRUE(IsShiftJisLeadByte(0xFC));
    EXPECT_FALSE(IsShiftJisLeadByte(0xFD));
    EXPECT_FALSE(IsShiftJisLeadByte('\\'));
}

TEST(NameRules, EveryFaultHasAText)
{
    for (F fault : { F::None, F::Empty, F::Rooted, F::Colon, F::ParentFolder, F::EmptyComponent, F::ControlByte,
             F::ReservedCharacter, F::DeviceName, F::TrailingDotOrSpace, F::BrokenCharacter })
        EXPECT_GT(std::strlen(NameFaultText(fault)), 5u);
    EXPECT_STREQ("parent folder component", NameFaultText(F::ParentFolder));
}

} // namespace
