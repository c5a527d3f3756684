// Names as Windows' file systems compare them.
#include <gtest/gtest.h>

#include "sys/CaseFold.h"

namespace {

using sys::FoldCase;

TEST(CaseFold, LettersFoldToTheirUppercaseInEveryScriptWithCase)
{
    const std::pair<char16_t, char16_t> pairs[] = {
        { u'a', u'A' },
        { u'z', u'Z' },
        { u'é', u'É' },
        { u'ÿ', u'Ÿ' }, // Latin-1, and one that leaves it
        { u'ā', u'Ā' },
        { u'ž', u'Ž' }, // runs of pairs, their first and last
        { u'ａ', u'Ａ' },
        { u'ｚ', u'Ｚ' }, // full width
        { u'α', u'Α' },
        { u'ς', u'Σ' },
        { u'я', u'Я' },
        { u'ё', u'Ё' },
        { u'ⅰ', u'Ⅰ' },
    };
    for (const auto& [lower, upper] : pairs) {
        EXPECT_EQ(upper, FoldCase(lower)) << static_cast<int>(lower);
        EXPECT_EQ(upper, FoldCase(upper)) << static_cast<int>(upper);
    }
    // No case, no single-unit uppercase, or an uppercase in ASCII that a
    // file system keeps apart: the unit itself.
    for (char16_t unit :
        { u'0', u'_', u'\\', u'あ', u'ｱ', u'ß', u'ı', u'ſ', u'Ā', u'İ', char16_t(0xD800), char16_t(0xFFFF) })
        EXPECT_EQ(unit, FoldCase(unit)) << static_cast<int>(unit);
}

// Folding what is folded changes nothing, anywhere in the table: a run with a
// wrong stride or delta would fold an uppercase letter again.
TEST(CaseFold, FoldingTwiceChangesNothing)
{
    int folded = 0;
    for (uint32_t unit = 0; unit <= 0xFFFF; ++unit) {
        const char16_t once = FoldCase(static_cast<char16_t>(unit));
        ASSERT_EQ(once, FoldCase(once)) << unit;
        folded += once != unit;
    }
    EXPECT_GT(folded, 1000);
}

TEST(CaseFold, NamesAreOneWhenTheyDifferOnlyInCase)
{
    EXPECT_TRUE(sys::SameName(u"Readme.txt", u"README.TXT"));
    EXPECT_TRUE(sys::SameName(u"ｄｏｃ\\Αλφα", u"ＤＯＣ\\ΑΛΦΑ"));
    EXPECT_FALSE(sys::SameName(u"readme.txt", u"readme.txt "));
    EXPECT_FALSE(sys::SameName(u"file", u"fıle"));
    EXPECT_FALSE(sys::SameName(u"straße", u"STRASSE"));
    EXPECT_EQ(u"README.TXT", sys::FoldedName(u"Readme.txt"));
}

} // namespace
