#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "install/InstallLog.h"
#include "package/ClsSecurity.h"

using namespace install;

namespace {

std::string TextOf(const InstallLog& log)
{
    EXPECT_EQ(std::char_traits<char>::length(log.Text()), static_cast<std::size_t>(log.Length()));
    return std::string(log.Text(), log.Length());
}

} // namespace

TEST(InstallLog, ExampleProductGivesItsFiveLines)
{
    auto log = std::make_unique<InstallLog>();
    EXPECT_TRUE(log->Start("Tool"));
    EXPECT_TRUE(log->AddEntry("..\\Bin\\Tool.exe", false));
    EXPECT_TRUE(log->AddEntry("D:\\Desk\\Help\\", true));
    EXPECT_TRUE(log->AddShortcut("D:\\Desk", "Tool"));
    EXPECT_TRUE(log->Finish("C:\\Apps\\Tool"));
    EXPECT_TRUE(log->Complete());
    EXPECT_EQ(0, log->LeftOut());
    const std::string expected = "Tool\\\r\n"
                                 "..\\Bin\\Tool.exe\r\n"
                                 "D:\\Desk\\Help\\\\\r\n"
                                 "D:\\Desk\\Tool.lnk\r\n"
                                 "C:\\Apps\\Tool\\\r\n";
    EXPECT_EQ(expected, TextOf(*log));
}

TEST(InstallLog, NothingChosenGivesTwoLinesAndStartEmptiesTheText)
{
    auto log = std::make_unique<InstallLog>();
    log->Start("Old");
    log->AddEntry("x", false);
    log->Start("Hanamaru");
    log->Finish("C:\\\\Hanamaru");
    EXPECT_EQ("Hanamaru\\\r\nC:\\\\Hanamaru\\\r\n", TextOf(*log));
}

TEST(InstallLog, ScrambledWithTheManifestKeyItUnscramblesToTheText)
{
    auto log = std::make_unique<InstallLog>();
    log->Start("はなまる");
    log->AddShortcut("C:\\Start Menu\\Programs", "はなまる家計簿");
    log->Finish("C:\\Program Files\\Hanamaru");
    const std::string plain = TextOf(*log);
    ClsSecurity::Scramble(log->Data(), log->Length(), 829);
    EXPECT_NE(plain, std::string(log->Text(), log->Length()));
    std::string back(log->Text(), log->Length());
    ClsSecurity::Unscramble(back.data(), static_cast<int32_t>(back.size()), 829);
    EXPECT_EQ(plain, back);
}

TEST(InstallLog, LinesThatWouldNotFitAreLeftOutWholeAndTheLastLineStillFits)
{
    auto log = std::make_unique<InstallLog>();
    log->Start("P");
    const std::string path(518, 'p'); // the longest target path: 518 bytes + "\" CR LF
    int added = 0;
    while (log->AddEntry(path.c_str(), true))
        ++added;
    EXPECT_FALSE(log->Complete());
    // Every line kept is whole.
    const std::size_t line = path.size() + 3;
    EXPECT_EQ(4 + added * line, static_cast<std::size_t>(log->Length()));
    EXPECT_GE(kInstallLogCapacity - 1 - log->Length(), InstallLog::kLastLineReserve);
    EXPECT_LT(kInstallLogCapacity - 1 - log->Length(), InstallLog::kLastLineReserve + line);
    EXPECT_FALSE(log->AddShortcut(std::string(259, 'd').c_str(), "Name"));
    EXPECT_EQ(2, log->LeftOut()); // the entry that ended the loop and the shortcut
    const std::string folder(259, 'i');
    EXPECT_TRUE(log->Finish(folder.c_str()));
    const std::string text = TextOf(*log);
    EXPECT_EQ(folder + "\\\r\n", text.substr(text.size() - 262));
    EXPECT_LT(text.size(), kInstallLogCapacity);
}

TEST(InstallLog, TextUpToTheLastByteOfTheBuffer)
{
    auto log = std::make_unique<InstallLog>();
    log->Start("");
    // Fill to leave exactly the reserve, then a last line of the full reserve
    // minus its terminator.
    const std::size_t room = kInstallLogCapacity - 1 - log->Length() - InstallLog::kLastLineReserve;
    ASSERT_TRUE(log->AddEntry(std::string(room - 2, 'e').c_str(), false));
    EXPECT_FALSE(log->AddEntry("", false)); // two more bytes do not fit
    ASSERT_TRUE(log->Finish(std::string(InstallLog::kLastLineReserve - 3, 'f').c_str()));
    EXPECT_EQ(kInstallLogCapacity - 1, static_cast<std::size_t>(log->Length()));
    EXPECT_FALSE(log->Finish("")); // full
    EXPECT_EQ(kInstallLogCapacity - 1, static_cast<std::size_t>(log->Length()));
}
