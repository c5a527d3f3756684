#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "install/Manifest.h"

using namespace install;

namespace {

struct Line {
    std::string source;
    std::string destination;
    EntryProblem problem;
};

// Splits `text` in an exactly sized heap copy, so that AddressSanitizer sees
// any access beyond the data.
struct Split {
    explicit Split(const std::string& text)
        : buffer(text.begin(), text.end())
    {
        result = SplitManifest(buffer.data(), static_cast<int32_t>(buffer.size()), entries);
        for (int i = 0; i < result.Count; ++i) {
            const ManifestEntry& e = entries[i];
            if (e.Problem == EntryProblem::None)
                lines.push_back({ e.Source, e.Destination, e.Problem });
            else
                lines.push_back({ std::string(buffer.data() + e.Offset, e.Length), "", e.Problem });
        }
    }
    std::vector<char> buffer;
    ManifestEntry entries[kManifestMaxEntries];
    ManifestSplit result;
    std::vector<Line> lines;
};

void ExpectLines(const Split& split, const std::vector<Line>& expected)
{
    ASSERT_EQ(expected.size(), split.lines.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(expected[i].source, split.lines[i].source) << "entry " << i;
        EXPECT_EQ(expected[i].destination, split.lines[i].destination) << "entry " << i;
        EXPECT_EQ(expected[i].problem, split.lines[i].problem) << "entry " << i;
    }
}

constexpr EntryProblem kOk = EntryProblem::None;

} // namespace

TEST(ManifestSplit, EveryLineEndFormGivesTheSameEntries)
{
    const std::vector<Line> expected
        = { { "a.txt", "DESKTOP", kOk }, { "Help\\", "..\\Bin", kOk }, { "c", "MYDOC\\x", kOk } };
    for (const char* end : { "\r\n", "\n", "\r", "\n\r" }) {
        const std::string e(end);
        const Split split("a.txt\tDESKTOP" + e + "Help\\\t..\\Bin" + e + "c\tMYDOC\\x" + e);
        SCOPED_TRACE(testing::Message() << "line end " << int(end[0]));
        ExpectLines(split, expected);
        EXPECT_EQ(ManifestStop::End, split.result.Stop);
    }
}

TEST(ManifestSplit, EntriesAreZeroTerminatedInsideTheBuffer)
{
    Split split("ab\tcd\r\nef\tgh\n");
    ASSERT_EQ(2, split.result.Count);
    EXPECT_EQ(split.buffer.data(), split.entries[0].Source);
    EXPECT_EQ(split.buffer.data() + 3, split.entries[0].Destination);
    EXPECT_EQ('\0', split.buffer[2]);
    EXPECT_EQ('\0', split.buffer[5]);
    EXPECT_EQ('\0', split.buffer[6]); // the LF of CR LF
    EXPECT_EQ(split.buffer.data() + 7, split.entries[1].Source);
    EXPECT_EQ(0, split.entries[0].Offset);
    EXPECT_EQ(7, split.entries[1].Offset);
}

TEST(ManifestSplit, SecondTabBelongsToTheDestination)
{
    ExpectLines(Split("src\tdest\twith tab\r\n"), { { "src", "dest\twith tab", kOk } });
}

TEST(ManifestSplit, EmptyDestinationAndEmptySource)
{
    ExpectLines(Split("file\t\r\n\tdest\r\n"), { { "file", "", kOk }, { "", "dest", kOk } });
}

TEST(ManifestSplit, SpacesAndDoubleByteTextStayAsWritten)
{
    // "表" is 0x95 0x5C in Shift-JIS: its trail byte is a backslash.
    ExpectLines(Split("my file.txt\tDESKTOP\\sub dir\r\n\x95\x5C\tMYDOC\r\n"),
        { { "my file.txt", "DESKTOP\\sub dir", kOk }, { "\x95\x5C", "MYDOC", kOk } });
}

TEST(ManifestSplit, EmptyLinesArePassedOverAndNeverReachASource)
{
    ExpectLines(Split("\r\na\tb\r\n\r\n\r\nc\td\n\n\n"), { { "a", "b", kOk }, { "c", "d", kOk } });
    ExpectLines(Split("\n\r\n"), {});
}

TEST(ManifestSplit, NoDataGivesNoEntries)
{
    char text[4] = { 'a', '\t', 'b', '\n' };
    ManifestEntry entries[kManifestMaxEntries];
    for (int32_t size : { 0, -1, -3, INT32_MIN }) {
        const ManifestSplit split = SplitManifest(text, size, entries);
        EXPECT_EQ(0, split.Count);
        EXPECT_EQ(ManifestStop::End, split.Stop);
    }
    EXPECT_EQ('\t', text[1]); // untouched
}

TEST(ManifestSplit, LineWithoutTabIsRefusedAndTheNextLineIsRead)
{
    const Split split("no tab here\r\nok\tdest\r\n");
    ExpectLines(split, { { "no tab here", "", EntryProblem::MissingTab }, { "ok", "dest", kOk } });
    EXPECT_EQ(nullptr, split.entries[0].Source);
    EXPECT_EQ(nullptr, split.entries[0].Destination);
}

TEST(ManifestSplit, LastLineWithoutLineEndIsRefused)
{
    ExpectLines(Split("a\tb\r\nc\td"), { { "a", "b", kOk }, { "c\td", "", EntryProblem::MissingLineEnd } });
    ExpectLines(Split("a\tb\nno tab"), { { "a", "b", kOk }, { "no tab", "", EntryProblem::MissingLineEnd } });
    ExpectLines(Split("x\t"), { { "x\t", "", EntryProblem::MissingLineEnd } });
    // Nothing of a refused line is overwritten.
    const Split split("c\td");
    EXPECT_EQ('\t', split.buffer[1]);
}

TEST(ManifestSplit, AtMost256EntriesAreRead)
{
    std::string text;
    for (int i = 0; i < 256; ++i)
        text.append("f").append(std::to_string(i)).append("\td\n");
    Split full(text);
    EXPECT_EQ(256, full.result.Count);
    EXPECT_EQ(ManifestStop::End, full.result.Stop);
    EXPECT_STREQ("f255", full.entries[255].Source);

    Split over(text + "extra\td\n");
    EXPECT_EQ(256, over.result.Count);
    EXPECT_EQ(ManifestStop::TooManyLines, over.result.Stop);
    // Trailing empty lines are no 257th line.
    EXPECT_EQ(ManifestStop::End, Split(text + "\r\n\r\n").result.Stop);
}

TEST(ManifestSplit, TextOfExactly4096BytesIsReadAndOneMoreIsRefused)
{
    std::string line = "s\t" + std::string(4096 - 4, 'd') + "\r\n";
    ASSERT_EQ(4096u, line.size());
    Split exact(line);
    ASSERT_EQ(1, exact.result.Count);
    EXPECT_EQ(4092u, std::strlen(exact.entries[0].Destination));

    Split over(line + "x");
    EXPECT_EQ(0, over.result.Count);
    EXPECT_EQ(ManifestStop::TooLarge, over.result.Stop);
    EXPECT_EQ('\t', over.buffer[1]); // untouched
}

TEST(ManifestClassify, LastByteDecides)
{
    EXPECT_TRUE(IsFolderSource("Data\\"));
    EXPECT_TRUE(IsFolderSource("\\"));
    EXPECT_TRUE(IsFolderSource("\x95\x5C")); // a trail byte 0x5C counts
    EXPECT_FALSE(IsFolderSource("Data"));
    EXPECT_FALSE(IsFolderSource("Data\\x"));
    EXPECT_FALSE(IsFolderSource(""));
}

namespace {

bool Desktop(char* out)
{
    return std::strcpy(out, "D:\\Desk"), true;
}
bool Documents(char* out)
{
    return std::strcpy(out, "C:\\Users\\u\\Documents"), true;
}
bool Windows(char* out)
{
    return std::strcpy(out, "C:\\windows"), true;
}
bool Empty(char* out)
{
    return out[0] = '\0', true;
}
bool Full(char* out) // the longest path a getter may give
{
    std::memset(out, 'f', kFolderCapacity - 1);
    out[kFolderCapacity - 1] = '\0';
    return true;
}
bool Mydoc(char* out)
{
    return std::strcpy(out, "MYDOC"), true;
}

const SpecialFolders kFolders { Desktop, Documents, Windows };

std::string Target(const char* destination, const char* source, const SpecialFolders& folders = kFolders,
    TargetResult expected = TargetResult::Ok)
{
    char target[kTargetPathCapacity];
    std::memset(target, 'x', sizeof target);
    std::string whole;
    EXPECT_EQ(expected, FormTargetPath(destination, source, folders, target, &whole));
    if (expected != TargetResult::Ok) {
        EXPECT_STREQ("", target);
        return whole;
    }
    EXPECT_EQ(whole, target);
    return target;
}

} // namespace

TEST(ManifestTarget, SpecialWordsAreReplacedByTheirFolder)
{
    EXPECT_EQ("D:\\Desk\\Data\\", Target("DESKTOP", "Data\\"));
    EXPECT_EQ("D:\\Desk\\Tools\\a.exe", Target("DESKTOP\\Tools", "a.exe"));
    EXPECT_EQ("D:\\DeskTools\\a.exe", Target("DESKTOPTools", "a.exe"));
    EXPECT_EQ("C:\\Users\\u\\Documents\\readme.txt", Target("MYDOC", "readme.txt"));
    EXPECT_EQ("C:\\windows\\system32\\x.dll", Target("SYSTEM\\system32", "x.dll"));
}

TEST(ManifestTarget, OtherDestinationsAreUsedAsWritten)
{
    EXPECT_EQ("desktop\\a", Target("desktop", "a")); // case-sensitive
    EXPECT_EQ("DESKTO\\a", Target("DESKTO", "a"));
    EXPECT_EQ("xDESKTOP\\a", Target("xDESKTOP", "a"));
    EXPECT_EQ("..\\Bin\\Tool.exe", Target("..\\Bin", "Tool.exe"));
    EXPECT_EQ("\\file", Target("", "file")); // the root of the current drive
    EXPECT_EQ("E:\\x\\\\y", Target("E:\\x\\", "y")); // no separator dropped
    EXPECT_EQ("a\\", Target("a", ""));
}

TEST(ManifestTarget, WordsAreTestedInOrderOnTheDestinationAsLeft)
{
    // A desktop folder named MYDOC (relative) is then replaced in turn.
    const SpecialFolders chain { Mydoc, Documents, Windows };
    EXPECT_EQ("C:\\Users\\u\\DocumentsX\\a", Target("DESKTOPX", "a", chain));
    // SYSTEM before MYDOC is not replaced after it.
    EXPECT_EQ("C:\\Users\\u\\DocumentsSYSTEM\\a", Target("MYDOCSYSTEM", "a"));
}

TEST(ManifestTarget, ASpecialFolderTheSystemCannotNameRefusesTheEntry)
{
    const SpecialFolders none { Empty, nullptr, Windows };
    EXPECT_EQ("DESKTOP\\a", Target("DESKTOP", "a", none, TargetResult::NoSpecialFolder));
    EXPECT_EQ("MYDOC\\a", Target("MYDOC", "a", none, TargetResult::NoSpecialFolder));
    EXPECT_EQ("C:\\windows\\a", Target("SYSTEM", "a", none));
    EXPECT_EQ("rel\\a", Target("rel", "a", none)); // no getter asked
}

TEST(ManifestTarget, TargetOf519BytesFitsAnd520IsRefused)
{
    const std::string destination(400, 'd');
    EXPECT_EQ(519u, Target(destination.c_str(), std::string(118, 's').c_str()).size());
    EXPECT_EQ(520u, Target(destination.c_str(), std::string(119, 's').c_str(), kFolders, TargetResult::TooLong).size());
    // A destination of 520 bytes alone, and one that grows past the limit by
    // its special folder.
    Target(std::string(520, 'd').c_str(), "", kFolders, TargetResult::TooLong);
    const SpecialFolders full { Full, Documents, Windows };
    const std::string rest = "DESKTOP" + std::string(260, 'r');
    const std::string whole = Target(rest.c_str(), "s", full, TargetResult::TooLong);
    EXPECT_EQ(259u + 260u + 2u, whole.size());
    EXPECT_EQ(518u, Target(("DESKTOP" + std::string(258, 'r')).c_str(), "", full).size());
}

TEST(ManifestCheck, WellFormedManifestPasses)
{
    const std::string text = "kakeibo.exe\tDESKTOP\r\nHelp\\\tMYDOC\\Hanamaru\r\nr.txt\t..\\doc\r\n";
    EXPECT_EQ("", CheckManifest(text.data(), text.size()));
    const std::string lfCr = "a\tb\n\rc\td\r";
    EXPECT_EQ("", CheckManifest(lfCr.data(), lfCr.size()));
}

TEST(ManifestCheck, EachSyntaxFaultIsNamedWithItsLine)
{
    auto check = [](const std::string& text) { return CheckManifest(text.data(), text.size()); };
    EXPECT_EQ("the manifest is empty", check(""));
    EXPECT_EQ("line 2 is empty", check("a\tb\r\n\r\n\r\nc\td\r\n"));
    EXPECT_EQ("line 1 is empty", check("\na\tb\n"));
    EXPECT_EQ("line 2 has no TAB between source and destination", check("a\tb\nc d\n"));
    EXPECT_EQ("line 3 does not end with a line end", check("a\tb\nc\td\ne\tf"));
    EXPECT_EQ("line 1 holds a zero byte", check(std::string("a\0\tb\n", 5)));
    EXPECT_EQ("line 1 is too long: its target path would exceed 519 bytes",
        check(std::string(300, 's') + "\t" + std::string(219, 'd') + "\n"));
    EXPECT_EQ("", check(std::string(300, 's') + "\t" + std::string(218, 'd') + "\n"));

    std::string many;
    for (int i = 0; i < 257; ++i)
        many += "f\td\n";
    EXPECT_EQ("the manifest has more than 256 lines", check(many));
    EXPECT_EQ("", check(many.substr(4)));
    EXPECT_EQ("the manifest has 4097 bytes; at most 4096 are allowed", check(std::string(4097, 'a')));
}
