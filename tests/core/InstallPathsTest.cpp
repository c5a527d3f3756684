#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "install/InstallPaths.h"

using namespace install;

namespace {

// Runs a formula into a buffer filled with garbage and returns its text.
template <typename F>
std::string Formula(F formula, bool expected = true, std::size_t size = kPathSize)
{
    std::string buffer(size, 'x');
    EXPECT_EQ(expected, formula(buffer.data()));
    const std::size_t length = std::strlen(buffer.c_str());
    EXPECT_LT(length, size);
    if (!expected) {
        EXPECT_EQ(0u, length);
    }
    return buffer.substr(0, length);
}

} // namespace

TEST(InstallPaths, FirstComponentEndsAtTheFirstBackslashByte)
{
    EXPECT_EQ("A", Formula([](char* o) { return FirstComponent("A\\B", o); }));
    EXPECT_EQ("Hanamaru", Formula([](char* o) { return FirstComponent("Hanamaru", o); }));
    EXPECT_EQ("", Formula([](char* o) { return FirstComponent("\\x", o); }));
    EXPECT_EQ("", Formula([](char* o) { return FirstComponent("", o); }));
    EXPECT_EQ("\x95", Formula([](char* o) { return FirstComponent("\x95\x5C\x95\x5C", o); }));
}

TEST(InstallPaths, InstallFolderDropsTrailingBlanksAndControlBytesOnly)
{
    EXPECT_EQ("C:\\Apps\\A", Formula([](char* o) { return InstallFolder("C:\\Apps", "A", o); }));
    EXPECT_EQ("C:\\Apps\\A", Formula([](char* o) { return InstallFolder("C:\\Apps \t\r\n\x01\x1f", "A", o); }));
    EXPECT_EQ("C:\\\\A", Formula([](char* o) { return InstallFolder("C:\\", "A", o); }));
    EXPECT_EQ("C:\\x\\\\A", Formula([](char* o) { return InstallFolder("C:\\x\\ ", "A", o); }));
    EXPECT_EQ("\\A", Formula([](char* o) { return InstallFolder("", "A", o); }));
    EXPECT_EQ("\\A", Formula([](char* o) { return InstallFolder("   ", "A", o); }));
    EXPECT_EQ(" C:\\A", Formula([](char* o) { return InstallFolder(" C:", "A", o); })); // leading blanks stay
    EXPECT_EQ("\x7f\\A", Formula([](char* o) { return InstallFolder("\x7f", "A", o); }));
}

TEST(InstallPaths, BaseFolderDropsTrailingBlanksAndControlBytesOnly)
{
    EXPECT_EQ("C:\\Apps", Formula([](char* o) { return BaseFolder("C:\\Apps \t\r\n\x01\x1f", o); }));
    EXPECT_EQ("C:\\", Formula([](char* o) { return BaseFolder("C:\\", o); }));
    EXPECT_EQ("C:\\x\\", Formula([](char* o) { return BaseFolder("C:\\x\\  ", o); }));
    EXPECT_EQ("", Formula([](char* o) { return BaseFolder("   ", o); }));
    EXPECT_EQ(" C:\\a b", Formula([](char* o) { return BaseFolder(" C:\\a b", o); }));
    // 259 bytes fit once the blanks are gone; 260 do not.
    const std::string fits = std::string(259, 'a') + "    ";
    EXPECT_EQ(std::string(259, 'a'), Formula([&](char* o) { return BaseFolder(fits.c_str(), o); }));
    const std::string tooLong(260, 'a');
    Formula([&](char* o) { return BaseFolder(tooLong.c_str(), o); }, false);
}

TEST(InstallPaths, DerivedPathsOfProductFolderAB)
{
    EXPECT_EQ("C:\\x\\A\\ins", Formula([](char* o) { return StagingFolder("C:\\x\\A", o); }));
    EXPECT_EQ("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\A",
        Formula([](char* o) { return UninstallKey("A", o); }));
    EXPECT_EQ("C:\\x\\A\\uninstall.exe", Formula([](char* o) { return UninstallCommand("C:\\x\\A", o); }));
    EXPECT_EQ("C:\\x \\A\\B\\p.exe", Formula([](char* o) { return ShortcutTarget("C:\\x ", "A\\B\\p.exe", o); }));
    EXPECT_EQ("\\p.exe", Formula([](char* o) { return ShortcutTarget("", "p.exe", o); }));
    EXPECT_EQ("A\\B\\ynb", Formula([](char* o) { return LogFolderFromParent("A\\B", o); }));
}

TEST(InstallPaths, UninstallStringIsQuotedOnlyWhenItHoldsASpace)
{
    EXPECT_EQ("C:\\x\\A\\uninstall.exe",
        Formula([](char* o) { return QuotedCommand("C:\\x\\A\\uninstall.exe", o); }, true, kQuotedCommandSize));
    EXPECT_EQ("\"C:\\Program Files\\A\\uninstall.exe\"",
        Formula(
            [](char* o) { return QuotedCommand("C:\\Program Files\\A\\uninstall.exe", o); }, true, kQuotedCommandSize));
    // The longest command still fits with its quotes.
    const std::string longest = std::string(258, 'c') + " ";
    EXPECT_EQ("\"" + longest + "\"",
        Formula([&](char* o) { return QuotedCommand(longest.c_str(), o); }, true, kQuotedCommandSize));
}

TEST(InstallPaths, StartMenuFolderIsTheStartupFolderCutAtItsLastBackslash)
{
    EXPECT_EQ("C:\\u\\Start Menu\\Programs",
        Formula([](char* o) { return StartMenuFolder("C:\\u\\Start Menu\\Programs\\StartUp", o); }));
    EXPECT_EQ(
        "C:\\u\\Programs\\StartUp", Formula([](char* o) { return StartMenuFolder("C:\\u\\Programs\\StartUp\\", o); }));
    EXPECT_EQ("", Formula([](char* o) { return StartMenuFolder("NoBackslash", o); }));
    EXPECT_EQ("", Formula([](char* o) { return StartMenuFolder("", o); }));
}

TEST(InstallPaths, ResultsOf259BytesFitAnd260AreRefused)
{
    const std::string a(259, 'a'), b(260, 'b');
    EXPECT_EQ(a, Formula([&](char* o) { return FirstComponent(a.c_str(), o); }));
    Formula([&](char* o) { return FirstComponent(b.c_str(), o); }, false);
    Formula([&](char* o) { return FirstComponent((b + "\\x").c_str(), o); }, false);

    const std::string folder(257, 'f');
    EXPECT_EQ(259u, Formula([&](char* o) { return InstallFolder(folder.c_str(), "A", o); }).size());
    Formula([&](char* o) { return InstallFolder(folder.c_str(), "AB", o); }, false);
    // Trailing blanks do not count.
    EXPECT_EQ(259u, Formula([&](char* o) { return InstallFolder((folder + "      ").c_str(), "A", o); }).size());

    const std::string install(255, 'i');
    EXPECT_EQ(259u, Formula([&](char* o) { return StagingFolder(install.c_str(), o); }).size());
    Formula([&](char* o) { return StagingFolder((install + "i").c_str(), o); }, false);
    Formula([&](char* o) { return UninstallCommand(install.c_str(), o); }, false);
    EXPECT_EQ(259u, Formula([&](char* o) { return UninstallCommand(std::string(245, 'i').c_str(), o); }).size());
    Formula([&](char* o) { return UninstallKey(std::string(260 - 52, 'k').c_str(), o); }, false);
    EXPECT_EQ(259u, Formula([&](char* o) { return UninstallKey(std::string(259 - 52, 'k').c_str(), o); }).size());
    Formula([&](char* o) { return ShortcutTarget(std::string(130, 'b').c_str(), std::string(129, 'p').c_str(), o); },
        false);
    EXPECT_EQ(259u, Formula([&](char* o) {
        return ShortcutTarget(std::string(129, 'b').c_str(), std::string(129, 'p').c_str(), o);
    }).size());
    Formula([&](char* o) { return LogFolderFromParent(std::string(256, 'p').c_str(), o); }, false);
    Formula(
        [&](char* o) { return QuotedCommand((std::string(259, 'c') + " ").c_str(), o); }, false, kQuotedCommandSize);
}
