#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "config/SetupText.h"
#include "package/ClsSecurity.h"

namespace {

// Parses `text` the way the program does: at the start of a zeroed 1024-byte
// buffer. (The parser's result is always 0: the record is what tells.)
SetupRecord Parse(const std::string& text)
{
    char buffer[kSetupBufferSize] = {};
    std::memcpy(buffer, text.data(), std::min(text.size(), sizeof buffer));
    SetupRecord record;
    (void)ParseSetupText(buffer, record);
    return record;
}

std::string Entries(const char* end)
{
    std::string s;
    const char* labels[] = { "Sunday   :", "Monday   :", "Tuesday  :", "Wednesday:", "Thirsday :", "Friday   :" };
    const char* values[] = { "one", "Name", "three", "Folder\\Sub", "Folder\\prog.exe", "six" };
    for (int i = 0; i < 6; ++i)
        s += std::string(labels[i]) + values[i] + end;
    return s;
}

TEST(SetupTextParse, OneEntryPerLabelFillsTheThreeFields)
{
    const SetupRecord r = Parse(Entries("\r\n"));
    EXPECT_STREQ("Name", r.ProductName);
    EXPECT_STREQ("Folder\\Sub", r.ProductFolder);
    EXPECT_STREQ("Folder\\prog.exe", r.ProgramPath);
    EXPECT_STREQ("", r.BaseFolder);
    EXPECT_STREQ("", r.DefaultFolder);
}

TEST(SetupTextParse, LineEndsCrLfLfAndCrGiveTheSameValues)
{
    for (const char* end : { "\r\n", "\n", "\r" }) {
        const SetupRecord r = Parse(Entries(end));
        EXPECT_STREQ("Name", r.ProductName) << "line end " << int(end[0]);
        EXPECT_STREQ("Folder\\Sub", r.ProductFolder);
        EXPECT_STREQ("Folder\\prog.exe", r.ProgramPath);
    }
}

TEST(SetupTextParse, ValuesAreNumberedByOrderNotByLabel)
{
    SetupRecord r = Parse("Friday   :A\nSunday   :B\n");
    EXPECT_STREQ("B", r.ProductName);
    r = Parse("Monday   :1\nMonday   :2\nMonday   :3\nMonday   :4\nMonday   :5\n");
    EXPECT_STREQ("2", r.ProductName);
    EXPECT_STREQ("4", r.ProductFolder);
    EXPECT_STREQ("5", r.ProgramPath);
}

TEST(SetupTextParse, ValuesKeepTheirBytesAsWritten)
{
    // Leading and trailing spaces belong to the value; so does a ';' inside it;
    // an empty value is empty; Shift-JIS bytes pass through.
    const SetupRecord r = Parse("Sunday   :\nMonday   : Name \nTuesday  :a;b\n"
                                "Wednesday:\x83\x5c\x83\x74\x83\x67\nThirsday :\n");
    EXPECT_STREQ(" Name ", r.ProductName);
    EXPECT_STREQ("\x83\x5c\x83\x74\x83\x67", r.ProductFolder);
    EXPECT_STREQ("", r.ProgramPath);
}

TEST(SetupTextParse, BlanksAndCommentsMayPrecedeEntries)
{
    const SetupRecord r = Parse("\n\n  \t; a comment with Monday   :X\r\n"
                                "  Sunday   :1\n\tMonday   :Name\n; Tuesday  :no\nTuesday  :3\n"
                                "Wednesday:F\nThirsday :P\n; last comment without a line end");
    EXPECT_STREQ("Name", r.ProductName);
    EXPECT_STREQ("F", r.ProductFolder);
    EXPECT_STREQ("P", r.ProgramPath);
}

TEST(SetupTextParse, AnyOtherTextEndsParsing)
{
    for (const char* stop : { "Thursday :x\n", "Saturday :x\n", "Monday:x\n", "monday   :x\n", "garbage\n" }) {
        const SetupRecord r
            = Parse(std::string("Sunday   :1\nMonday   :Name\n") + stop + "Tuesday  :3\nWednesday:F\nThirsday :P\n");
        EXPECT_STREQ("Name", r.ProductName) << stop;
        EXPECT_STREQ("", r.ProductFolder) << stop;
        EXPECT_STREQ("", r.ProgramPath) << stop;
    }
}

TEST(SetupTextParse, FewerThanFiveEntriesLeaveTheRestEmpty)
{
    EXPECT_STREQ("", Parse("").ProductName);
    const SetupRecord r = Parse("Sunday   :1\nMonday   :Name\nTuesday  :3\n");
    EXPECT_STREQ("Name", r.ProductName);
    EXPECT_STREQ("", r.ProductFolder);
    EXPECT_STREQ("", r.ProgramPath);
}

TEST(SetupTextLimits, LongValueIsCutTo259Bytes)
{
    const std::string longValue(300, 'x');
    const SetupRecord r = Parse("Sunday   :1\nMonday   :" + longValue
        + "\nTuesday  :3\nWednesday:" + std::string(259, 'f') + "\nThirsday :" + std::string(260, 'p') + "\n");
    EXPECT_EQ(259u, std::strlen(r.ProductName));
    EXPECT_EQ(std::string(259, 'x'), r.ProductName);
    EXPECT_EQ(std::string(259, 'f'), r.ProductFolder);
    EXPECT_EQ(std::string(259, 'p'), r.ProgramPath);
}

TEST(SetupTextLimits, ValueWithoutLineEndStopsAtTheBuffersEnd)
{
    // The whole buffer is text: the last value runs into the buffer's end.
    std::string text = "Sunday   :1\nMonday   :N\nTuesday  :3\nWednesday:F\nThirsday :";
    text += std::string(kSetupBufferSize - text.size(), 'p');
    char buffer[kSetupBufferSize + 16];
    std::memset(buffer, 'Z', sizeof buffer);
    std::memcpy(buffer, text.data(), kSetupBufferSize);
    SetupRecord r;
    (void)ParseSetupText(buffer, r);
    EXPECT_EQ(std::string(259, 'p'), r.ProgramPath);
    for (std::size_t i = kSetupBufferSize; i < sizeof buffer; ++i)
        EXPECT_EQ('Z', buffer[i]) << "written past the buffer at " << i;
}

TEST(SetupTextLimits, LabelAtTheBuffersEndIsNoMatch)
{
    std::string text(kSetupBufferSize - 5, ' ');
    text += "Monda";
    char buffer[kSetupBufferSize];
    std::memcpy(buffer, text.data(), kSetupBufferSize);
    SetupRecord r;
    (void)ParseSetupText(buffer, r);
    EXPECT_STREQ("", r.ProductName);
    EXPECT_EQ(text, std::string(buffer, kSetupBufferSize)); // nothing taken for a value, nothing written
}

TEST(SetupTextParse, EachValuesLineEndBecomesAZero)
{
    char buffer[kSetupBufferSize] = "Sunday   :a\r\nMonday   :b\nTuesday  :c\r";
    SetupRecord r;
    (void)ParseSetupText(buffer, r);
    // The CR of CR LF ends the first value; the LF after it is passed over as a blank.
    EXPECT_EQ(std::string("Sunday   :a\0\nMonday   :b\0Tuesday  :c\0", 37), std::string(buffer, 37));
}

TEST(SetupTextLimits, EntriesBeyondTwelveAreIgnored)
{
    std::string text;
    for (int i = 1; i <= 40; ++i)
        text += "Monday   :v" + std::to_string(i) + "\n";
    const SetupRecord r = Parse(text);
    EXPECT_STREQ("v2", r.ProductName);
    EXPECT_STREQ("v4", r.ProductFolder);
    EXPECT_STREQ("v5", r.ProgramPath);
}

TEST(SetupTextLength, DecimalTextWithBlanksAndSign)
{
    EXPECT_EQ(203, SetupTextLengthValue("203", 4));
    EXPECT_EQ(12, SetupTextLengthValue(" 12x", 4));
    EXPECT_EQ(-5, SetupTextLengthValue("-5", 4));
    EXPECT_EQ(0, SetupTextLengthValue("abc", 4));
    // Reads no further than its size, even without a terminator.
    const char noZero[4] = { '9', '9', '9', '9' };
    EXPECT_EQ(9999, SetupTextLengthValue(noZero, 4));
}

TEST(SetupTextLoad, UnscramblesAndParsesTheStoredText)
{
    std::string text = Entries("\r\n");
    char data[kSetupTextDataSize + 1];
    std::memset(data, ' ', kSetupTextDataSize);
    data[kSetupTextDataSize] = 0;
    std::memcpy(data, text.data(), text.size());
    ClsSecurity::Scramble(data, static_cast<int32_t>(text.size()), 613);
    const std::string length = std::to_string(text.size());

    auto load = [&](const char* lengthText, int32_t key) {
        char buffer[kSetupBufferSize];
        std::memset(buffer, 'Z', sizeof buffer);
        SetupRecord r;
        const int32_t n = CopySetupText(lengthText, data, buffer);
        if (n >= 0) {
            for (std::size_t i = static_cast<std::size_t>(n); i < sizeof buffer; ++i)
                EXPECT_EQ(0, buffer[i]) << "the rest of the working buffer is zero";
            ClsSecurity::Unscramble(buffer, n, key);
            (void)ParseSetupText(buffer, r);
        }
        return r;
    };
    EXPECT_STREQ("Name", load(length.c_str(), 613).ProductName);
    EXPECT_STREQ("Folder\\Sub", load(length.c_str(), 613).ProductFolder);
    EXPECT_STRNE("Name", load(length.c_str(), 614).ProductName);
    EXPECT_STREQ("", load("1005", 613).ProductName);
    char buffer[kSetupBufferSize];
    EXPECT_EQ(-1, CopySetupText("-1", data, buffer));
}

} // namespace
