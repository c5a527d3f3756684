// ynbpack's Shift-JIS table: natively, its round trips and Windows' choices
// where several codes are one character; under Wine, every code against
// MultiByteToWideChar and every character against WideCharToMultiByte of
// code page 932.
#include <gtest/gtest.h>

#include "ShiftJis.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using namespace ynbpack;

std::string Sjis(std::initializer_list<int> bytes)
{
    std::string out;
    for (int b : bytes)
        out += static_cast<char>(b);
    return out;
}

TEST(ShiftJis, EveryCodeReadsBackToItselfOrToWindowsChoice)
{
    int defined = 0;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        for (int trail = 0x40; trail <= 0xFC && ShiftJisIsLead(static_cast<unsigned char>(lead)); ++trail) {
            const char32_t c = ShiftJisDecode(static_cast<unsigned char>(lead), static_cast<unsigned char>(trail));
            if (c == 0)
                continue;
            ++defined;
            const uint16_t code = ShiftJisEncode(c);
            ASSERT_EQ(c, ShiftJisDecode(static_cast<unsigned char>(code >> 8), static_cast<unsigned char>(code)))
                << std::hex << lead << trail;
            // Only a duplicate goes elsewhere: never into NEC's selection of
            // the IBM extensions (0xED, 0xEE).
            if (code != (lead << 8 | trail)) {
                EXPECT_TRUE(lead == 0xED || lead == 0xEE || lead == 0x87 || lead >= 0xFA) << std::hex << lead << trail;
            }
            EXPECT_NE(0xED, code >> 8);
            EXPECT_NE(0xEE, code >> 8);
        }
    }
    EXPECT_EQ(9604, defined);
}

TEST(ShiftJis, TextsConvertBothWays)
{
    std::string sjis;
    ASSERT_TRUE(Utf8ToShiftJis("家計簿\\ｶﾅ~ⅰ∵￢", sjis));
    EXPECT_EQ(
        Sjis({ 0x89, 0xc6, 0x8c, 0x76, 0x95, 0xeb, 0x5c, 0xb6, 0xc5, 0x7e, 0xfa, 0x40, 0x81, 0xe6, 0x81, 0xca }), sjis);
    std::string utf8;
    ASSERT_TRUE(ShiftJisToUtf8(sjis, utf8));
    EXPECT_EQ("家計簿\\ｶﾅ~ⅰ∵￢", utf8);
    ASSERT_TRUE(ShiftJisToUtf8(Sjis({ 0x81, 0x60, 0xf0, 0x40 }), utf8));
    EXPECT_EQ("\uff5e\ue000", utf8) << "the wave dash as Windows reads it, the user-defined area as private use";

    EXPECT_FALSE(Utf8ToShiftJis("😀", sjis)) << "beyond the code page";
    EXPECT_FALSE(Utf8ToShiftJis("\xe5\xae", sjis)) << "bad UTF-8";
    EXPECT_FALSE(ShiftJisToUtf8(Sjis({ 0x89 }), utf8)) << "a lead byte without its trail";
    EXPECT_FALSE(ShiftJisToUtf8(Sjis({ 0x85, 0x40 }), utf8)) << "an undefined code";
    EXPECT_FALSE(ShiftJisToUtf8(Sjis({ 0x80 }), utf8));
    EXPECT_FALSE(ShiftJisToUtf8(Sjis({ 0x89, 0x20 }), utf8)) << "no trail byte below 0x40";
}

#ifdef _WIN32
// Windows' own conversions, code by code and character by character.
TEST(ShiftJis, TheTableIsWindowsCodePage932)
{
    int mismatches = 0;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!ShiftJisIsLead(static_cast<unsigned char>(lead)))
            continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            const char bytes[2] = { static_cast<char>(lead), static_cast<char>(trail) };
            wchar_t unit[2] = {};
            const int n = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes, 2, unit, 2);
            const char32_t ours = ShiftJisDecode(static_cast<unsigned char>(lead), static_cast<unsigned char>(trail));
            if (ours != 0 && (n != 1 || unit[0] != ours) && ++mismatches < 20)
                ADD_FAILURE() << std::hex << lead << trail << ": Windows " << static_cast<unsigned>(unit[0])
                              << ", ours " << static_cast<unsigned>(ours);
        }
    }
    for (char32_t c = 1; c < 0x10000; ++c) {
        const uint16_t ours = ShiftJisEncode(c);
        if (ours == 0 || (c >= 0xD800 && c <= 0xDFFF))
            continue;
        const wchar_t unit = static_cast<wchar_t>(c);
        char bytes[4] = {};
        BOOL defaulted = FALSE;
        const int n = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, &unit, 1, bytes, 4, nullptr, &defaulted);
        const uint16_t windows = n == 2
            ? static_cast<uint16_t>(static_cast<unsigned char>(bytes[0]) << 8 | static_cast<unsigned char>(bytes[1]))
            : static_cast<unsigned char>(bytes[0]);
        if ((defaulted || windows != ours) && ++mismatches < 40)
            ADD_FAILURE() << std::hex << "U+" << static_cast<unsigned>(c) << ": Windows " << windows << ", ours "
                          << ours;
    }
    EXPECT_EQ(0, mismatches);
}
#endif

} // namespace
