#include <gtest/gtest.h>

#include <tuple>

#include "config/CommandLine.h"

using namespace config;

namespace {

CommandLine Parsed(std::wstring_view line, Program program = Program::Setup)
{
    CommandLine options;
    const CommandLineResult result = ParseCommandLine(line, program, options);
    EXPECT_EQ(CommandLineProblem::None, result.problem) << testing::PrintToString(std::wstring(line));
    return options;
}

CommandLineResult Problem(std::wstring_view line, Program program = Program::Setup)
{
    CommandLine options;
    return ParseCommandLine(line, program, options);
}

} // namespace

TEST(CommandLine, SwitchesInAnyCaseAfterEitherMark)
{
    const CommandLine none = Parsed(L"\"C:\\Program Files\\x\\setup.exe\"");
    EXPECT_FALSE(none.silent || none.progress || none.help || none.noDesktop || none.noStartMenu || none.hasFolder
        || none.allowDowngrade || none.repair || none.closeApplications);
    const CommandLine all = Parsed(
        L"setup.exe /s -Progress /NoDesktop -NOSTARTMENU /log=C:\\l.txt /? /AllowDowngrade -repair /closeapplications");
    EXPECT_TRUE(all.silent && all.progress && all.help && all.noDesktop && all.noStartMenu && all.allowDowngrade
        && all.repair && all.closeApplications);
    EXPECT_EQ(L"C:\\l.txt", all.log);
    // Quotes around a value or a whole switch; blanks between are any number.
    EXPECT_EQ(L"C:\\a b\\l.txt", Parsed(L"setup.exe   /LOG=\"C:\\a b\\l.txt\"\t/S").log);
    EXPECT_EQ(L"C:\\a b\\l.txt", Parsed(L"setup.exe \"/LOG=C:\\a b\\l.txt\"").log);
}

TEST(CommandLine, FolderTakesTheRestOfTheLine)
{
    const CommandLine options = Parsed(L"setup.exe /S /D=C:\\My Apps\\ぼくの フォルダー  ");
    EXPECT_TRUE(options.hasFolder);
    EXPECT_EQ(L"C:\\My Apps\\ぼくの フォルダー", options.folder);
    EXPECT_EQ(L"D:\\a /S", Parsed(L"setup.exe /D=D:\\a /S").folder); // what follows belongs to it
    EXPECT_EQ(L"C:\\a b", Parsed(L"setup.exe /D=\"C:\\a b\"").folder);
    EXPECT_EQ(L"C:\\a b", Parsed(L"setup.exe \"/D=C:\\a b\"").folder);
    EXPECT_EQ(CommandLineProblem::MissingValue, Problem(L"setup.exe /D=  ").problem);
    // The uninstaller takes no folder.
    EXPECT_EQ(CommandLineProblem::Unknown, Problem(L"uninstall.exe /D=C:\\x", Program::Uninstall).problem);
}

TEST(CommandLine, WhatIsRefusedNamesTheArgument)
{
    const struct {
        const wchar_t* line;
        CommandLineProblem problem;
        const wchar_t* argument;
    } cases[] = {
        { L"setup.exe /X", CommandLineProblem::Unknown, L"/X" },
        { L"setup.exe /SS", CommandLineProblem::Unknown, L"/SS" },
        { L"setup.exe /S extra", CommandLineProblem::NotASwitch, L"extra" },
        { L"setup.exe /S /s", CommandLineProblem::Repeated, L"/s" },
        { L"setup.exe /LOG=a /LOG=b", CommandLineProblem::Repeated, L"/LOG=b" },
        { L"setup.exe /LOG=", CommandLineProblem::MissingValue, L"/LOG=" },
        { L"setup.exe /LOGFILE", CommandLineProblem::Unknown, L"/LOGFILE" },
        { L"setup.exe /CURRENTUSER /S -allusers", CommandLineProblem::Conflicting, L"-allusers" },
    };
    for (const auto& c : cases) {
        const CommandLineResult result = Problem(c.line);
        EXPECT_EQ(c.problem, result.problem) << testing::PrintToString(std::wstring(c.line));
        EXPECT_EQ(c.argument, result.argument);
        EXPECT_NE(L'\0', CommandLineProblemText(result.problem)[0]);
    }
    // The setup program's own switches mean nothing to the uninstaller.
    EXPECT_EQ(CommandLineProblem::Unknown, Problem(L"uninstall.exe /NODESKTOP", Program::Uninstall).problem);
    EXPECT_EQ(CommandLineProblem::Unknown, Problem(L"uninstall.exe /CURRENTUSER", Program::Uninstall).problem);
    EXPECT_TRUE(Parsed(L"uninstall.exe /S /LOG=x", Program::Uninstall).silent);
}

// The copy started with administrator rights reads the choices back as they
// were, the scope as the machine's, the folder last, and never the log's
// path: only the name of the pipe its lines go into.
TEST(CommandLine, ElevatedArgumentsGiveTheChoicesBack)
{
    for (const wchar_t* line : { L"setup.exe /S /PROGRESS /NODESKTOP /NOSTARTMENU /ALLOWDOWNGRADE /REPAIR "
                                 L"/CLOSEAPPLICATIONS /LOG=rel.log /D=C:\\a  b\\c ",
             L"setup.exe", L"setup.exe /ALLUSERS -nodesktop /D=\"D:\\x y\"" }) {
        const CommandLine options = Parsed(line);
        const std::wstring pipe = options.log.empty() ? L"" : L"ynb-log-0123456789abcdef0123456789abcdef";
        const std::wstring arguments = ElevatedArguments(options, Program::Setup, pipe);
        CommandLine again = Parsed(L"\"C:\\p q\\setup.exe\" " + arguments);
        EXPECT_TRUE(again.elevated && again.allUsers && !again.currentUser) << arguments;
        EXPECT_EQ(pipe, again.logPipe);
        EXPECT_EQ(L"", again.log);
        EXPECT_EQ(std::wstring::npos, arguments.find(L"LOG=")) << arguments;
        again.elevated = false;
        again.allUsers = options.allUsers;
        EXPECT_EQ(
            std::tuple(options.silent, options.progress, options.noDesktop, options.noStartMenu, options.allowDowngrade,
                options.repair, options.closeApplications, options.hasFolder, options.folder),
            std::tuple(again.silent, again.progress, again.noDesktop, again.noStartMenu, again.allowDowngrade,
                again.repair, again.closeApplications, again.hasFolder, again.folder))
            << arguments;
    }
    CommandLine again;
    const CommandLine uninstall
        = Parsed(ElevatedArguments(Parsed(L"u.exe /S", Program::Uninstall), Program::Uninstall, L"").insert(0, L"u "),
            Program::Uninstall);
    EXPECT_TRUE(uninstall.elevated && uninstall.silent && !uninstall.allUsers);
    // Given once, with a value.
    EXPECT_EQ(
        CommandLineProblem::Repeated, ParseCommandLine(L"u /LOGPIPE=a /LOGPIPE=b", Program::Uninstall, again).problem);
    EXPECT_EQ(CommandLineProblem::MissingValue, ParseCommandLine(L"u /LOGPIPE=", Program::Setup, again).problem);
}
