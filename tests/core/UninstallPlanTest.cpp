// The uninstaller's reading of the install log: the log read back or refused
// whole, canonical paths, their comparisons, and the judgement of each line.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "install/InstallLog.h"
#include "install/UninstallPlan.h"

using namespace install;

namespace {

// "表" is 0x95 0x5C and "ソ" 0x83 0x5C in Shift-JIS; "ア" 0x83 0x41 and "ャ"
// 0x83 0x61 have trail bytes that look like "A" and "a".
const LeadByteTest kSjis = IsShiftJisLeadByte;

LogProblem Read(const std::string& text, UninstallLog& log, std::string_view firstComponent = "Tool")
{
    return ReadUninstallLog(text.data(), text.size(), firstComponent, log);
}

LogProblem Read(const std::string& text, std::string_view firstComponent = "Tool")
{
    UninstallLog log;
    return Read(text, log, firstComponent);
}

// A well-formed log of exactly `size` bytes.
std::string LogOfSize(std::size_t size)
{
    const std::string last = "C:\\Tool\\\r\n";
    std::string text = "Tool\\\r\n";
    std::size_t left = size - text.size() - last.size();
    for (; left > 522; left -= 302)
        text += std::string(300, 'e') + "\r\n";
    return text + std::string(left - 2, 'f') + "\r\n" + last;
}

std::string Canonical(std::string_view path, std::string_view base = {}, LeadByteTest lead = kSjis)
{
    std::string out = "stale";
    EXPECT_EQ(PathProblem::None, CanonicalPath(path, base, lead, out)) << path;
    return out;
}

PathProblem Problem(std::string_view path, std::string_view base = {})
{
    std::string out = "stale";
    const PathProblem problem = CanonicalPath(path, base, kSjis, out);
    EXPECT_EQ("", out) << path;
    return problem;
}

const std::string kInstall = "C:\\Program Files\\Tool";

UninstallPlaces Places(const std::string& installFolder = kInstall)
{
    UninstallPlaces places;
    places.installFolder = installFolder;
    places.areas = { "C:\\Users\\u\\Desktop", "C:\\Users\\u\\Documents" };
    places.fileOnlyAreas = { "C:\\Windows" };
    places.shortcuts = { "C:\\Users\\u\\Desktop\\Tool.lnk", "C:\\Start Menu\\Programs\\Tool.lnk" };
    places.protectedFolders = { "C:\\Users\\u", "C:\\Program Files", "C:\\Start Menu\\Programs" };
    places.sealedFolders = { "C:\\Windows\\System32" };
    return places;
}

PlannedLine Plan(const std::string& path, bool folder, const std::string& installFolder = kInstall)
{
    return PlanLine({ path, folder }, installFolder + "\\ins", Places(installFolder), kSjis);
}

Refusal File(const std::string& path, const std::string& installFolder = kInstall)
{
    return Plan(path, false, installFolder).refusal;
}

Refusal Folder(const std::string& path, const std::string& installFolder = kInstall)
{
    return Plan(path, true, installFolder).refusal;
}

} // namespace

TEST(UninstallLog, ReadsBackWhatTheSetupProgramWrites)
{
    auto written = std::make_unique<InstallLog>();
    written->Start("Tool");
    written->AddEntry("Tool.exe", false);
    written->AddEntry("D:\\Desk\\Help\\", true); // a folder target ends in a backslash
    written->AddEntry("\x95\x5c", true); // 表: a source ending in 0x5C is copied as a folder
    written->AddEntry((std::string(518, 'p') + "\\").c_str(), true); // the longest entry line: 520 bytes
    written->AddShortcut("D:\\Desk", "Tool");
    written->Finish("C:\\\\\x83\x5c");
    UninstallLog log;
    ASSERT_EQ(LogProblem::None, ReadUninstallLog(written->Text(), written->Length(), "Tool", log));
    EXPECT_EQ("Tool", log.firstComponent);
    EXPECT_EQ("C:\\\\\x83\x5c", log.installFolder);
    ASSERT_EQ(5u, log.lines.size());
    const std::pair<std::string, bool> expected[] = { { "Tool.exe", false }, { "D:\\Desk\\Help\\", true },
        { "\x95\x5c", true }, { std::string(518, 'p') + "\\", true }, { "D:\\Desk\\Tool.lnk", false } };
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(expected[i].first, log.lines[i].path) << i;
        EXPECT_EQ(expected[i].second, log.lines[i].folder) << i;
    }
    // The setup program cuts the first component at its first 0x5C byte, even
    // the trail byte of "表": the first line is then "表" itself.
    EXPECT_EQ(LogProblem::None, Read("\x95\x5c\r\nC:\\x\\\r\n", "\x95"));
}

TEST(UninstallLog, RefusesAnyLineEndButCrLf)
{
    const std::string good = "Tool\\\r\nx\r\nC:\\Tool\\\r\n";
    EXPECT_EQ(LogProblem::None, Read(good));
    EXPECT_EQ(LogProblem::ControlByte, Read("Tool\\\nx\nC:\\Tool\\\n"));
    EXPECT_EQ(LogProblem::ControlByte, Read("Tool\\\rx\rC:\\Tool\\\r"));
    EXPECT_EQ(LogProblem::ControlByte, Read("Tool\\\r\nx\ny\r\nC:\\Tool\\\r\n"));
    EXPECT_EQ(LogProblem::ControlByte, Read("Tool\\\r\nx\r\r\nC:\\Tool\\\r\n"));
    EXPECT_EQ(LogProblem::ControlByte, Read("Tool\\\r\nx\ty\r\nC:\\Tool\\\r\n"));
    std::string nul = good;
    nul[7] = '\0';
    EXPECT_EQ(LogProblem::ControlByte, Read(nul));
    EXPECT_EQ(LogProblem::NoLineEnd, Read(good.substr(0, good.size() - 1))); // CR at the very end
    EXPECT_EQ(LogProblem::NoLineEnd, Read(good.substr(0, good.size() - 2)));
    EXPECT_EQ(LogProblem::NoLineEnd, Read(good + "x"));
    EXPECT_EQ(LogProblem::EmptyLine, Read("Tool\\\r\n\r\nC:\\Tool\\\r\n"));
    EXPECT_EQ(LogProblem::EmptyLine, Read("\r\n" + good));
    EXPECT_EQ(LogProblem::Empty, Read(""));
    UninstallLog log;
    EXPECT_EQ(LogProblem::Empty, ReadUninstallLog(nullptr, 4, "Tool", log));
}

TEST(UninstallLog, LimitsOfSizeAndLineLength)
{
    // The longest line: a shortcut of a 259-byte folder and a 259-byte name.
    const std::string shortcut = std::string(259, 'f') + "\\" + std::string(259, 'n') + ".lnk";
    EXPECT_EQ(LogProblem::None, Read("Tool\\\r\n" + shortcut + "\r\nC:\\Tool\\\r\n"));
    EXPECT_EQ(LogProblem::LineTooLong, Read("Tool\\\r\n" + shortcut + "x\r\nC:\\Tool\\\r\n"));
    EXPECT_EQ(LogProblem::LineTooLong, Read("Tool\\\r\n" + std::string(523, 'a') + "\\\r\n"));
    UninstallLog log;
    const std::string largest = LogOfSize(kInstallLogCapacity - 1);
    ASSERT_EQ(66559u, largest.size());
    EXPECT_EQ(LogProblem::None, Read(largest, log));
    EXPECT_EQ("C:\\Tool", log.installFolder);
    EXPECT_EQ(LogProblem::TooLarge, Read(LogOfSize(kInstallLogCapacity)));
}

TEST(UninstallLog, FirstLineNamesTheProductAndTheLastOneAFolder)
{
    const std::string rest = "x\r\nC:\\Tool\\\r\n";
    EXPECT_EQ(LogProblem::TooFewLines, Read("Tool\\\r\n"));
    for (const char* first : { "Other\\", "tool\\", "TOOL\\", "Tool", "Tool\\\\", "Tools\\", "Too\\", "Tool\\x" })
        EXPECT_EQ(LogProblem::FirstLine, Read(first + ("\r\n" + rest))) << first;
    EXPECT_EQ(LogProblem::FirstLine, Read("Tool\\\r\n" + rest, ""));
    EXPECT_EQ(LogProblem::LastLine, Read("Tool\\\r\nx\r\nC:\\Tool\r\n"));
    EXPECT_EQ(LogProblem::LastLine, Read("Tool\\\r\nx\r\n\\\r\n"));
    UninstallLog log;
    EXPECT_EQ(LogProblem::None, Read("Tool\\\r\nC:\\Tool\\\r\n", log)); // nothing was chosen
    EXPECT_EQ("C:\\Tool", log.installFolder);
    EXPECT_TRUE(log.lines.empty());
    // A refused log leaves nothing of an earlier one.
    ASSERT_EQ(LogProblem::None, Read("Tool\\\r\n" + rest, log));
    EXPECT_EQ(LogProblem::LastLine, Read("Tool\\\r\nx\r\nC:\\Tool\r\n", log));
    EXPECT_TRUE(log.lines.empty());
    EXPECT_EQ("", log.installFolder);
}

TEST(UninstallPaths, CanonicalFormOfAbsolutePaths)
{
    EXPECT_EQ("C:\\Program Files\\Tool", Canonical("c:\\Program Files\\Tool"));
    EXPECT_EQ("C:\\a\\b\\c", Canonical("C:/a//b\\./c/"));
    EXPECT_EQ("C:\\", Canonical("C:\\"));
    EXPECT_EQ("C:\\", Canonical("C:\\."));
    EXPECT_EQ("C:\\", Canonical("C:\\a\\.."));
    EXPECT_EQ("\\\\srv\\share\\x", Canonical("//srv/share//x"));
    EXPECT_EQ("\\\\srv\\share\\", Canonical("\\\\srv\\share"));
    EXPECT_EQ("\\\\srv\\share\\", Canonical("\\\\srv\\share\\x\\.."));
    // Shift-JIS: the trail byte 0x5C stays inside its character.
    EXPECT_EQ("C:\\\x95\x5c\\\x83\x5c", Canonical("C:\\\x95\x5c\\\x83\x5c\\"));
    EXPECT_EQ("C:\\\x95\x5c", Canonical("C:\\\x95\x5c\\\x83\x5c\\.."));
    // Read byte-wise, the same bytes split into other components.
    EXPECT_EQ("C:\\\x95\\\x83", Canonical("C:\\\x95\x5c\\\x83\x5c\\", {}, nullptr));
}

TEST(UninstallPaths, RelativePathsResolveAgainstTheBaseAndItsRoot)
{
    const std::string base = "C:\\Program Files\\Tool\\ins";
    EXPECT_EQ(base + "\\x.dat", Canonical("x.dat", base));
    EXPECT_EQ(base, Canonical(".", base));
    EXPECT_EQ("C:\\Program Files\\Tool\\Bin\\x", Canonical("..\\Bin/x", base));
    EXPECT_EQ("C:\\x", Canonical("\\x", base));
    EXPECT_EQ("C:\\", Canonical("/", base));
    EXPECT_EQ("\\\\srv\\share\\x", Canonical("\\x", "\\\\srv\\share\\Tool"));
    EXPECT_EQ("D:\\\x83\x5c\\x", Canonical("x", "D:\\\x83\x5c"));
    EXPECT_EQ("C:\\", Canonical("..\\..\\..", base));
    EXPECT_EQ(PathProblem::ClimbsAboveRoot, Problem("..\\..\\..\\..", base));
    EXPECT_EQ(PathProblem::ClimbsAboveRoot, Problem("\\..\\Windows", base));
    EXPECT_EQ(PathProblem::ClimbsAboveRoot, Problem("C:\\.."));
    EXPECT_EQ(PathProblem::ClimbsAboveRoot, Problem("C:\\a\\..\\..\\Windows"));
    EXPECT_EQ(PathProblem::ClimbsAboveRoot, Problem("\\\\srv\\share\\.."));
    EXPECT_EQ(PathProblem::NoBase, Problem("x"));
    EXPECT_EQ(PathProblem::NoBase, Problem("\\x"));
    EXPECT_EQ(PathProblem::NoBase, Problem("x", "C:"));
    EXPECT_EQ(PathProblem::Empty, Problem("", base));
}

TEST(UninstallPaths, NamesWindowsWouldAlterOrRefuse)
{
    const std::string base = "C:\\Tool";
    for (const char* path :
        { "\\\\?\\C:\\Tool\\x", "\\\\.\\C:\\x", "//?/C:/x", "\\\\.", "C:x", "C:", "c:..\\x", "1:\\x" })
        EXPECT_EQ(PathProblem::DevicePath, Problem(path, base)) << path;
    for (const char* path : { "x.", "x ", "x\\.\\y.\\z", "con", "NUL.txt", "x\\com1\\y", "xy:stream", "xy::$DATA", "a*",
             "a?b", "a|b", "a\"b", "a<b", "\\\\srv", "\\\\srv\\", "\\\\srv\\\\share", "\\\\..\\x\\y", "x\x95",
             "\x95\x5c..\\..\\x" }) // 表 and two dots: a name ending in a dot, no climb
        EXPECT_EQ(PathProblem::BadName, Problem(path, base)) << path;
}

TEST(UninstallPaths, ComparisonsFoldAsciiCaseButNoTrailByte)
{
    EXPECT_TRUE(SamePath("C:\\Program Files\\Tool", "c:\\PROGRAM FILES\\tool", kSjis));
    EXPECT_FALSE(SamePath("C:\\\x83\x41", "C:\\\x83\x61", kSjis));
    EXPECT_TRUE(SamePath("C:\\\x83\x41", "C:\\\x83\x61", nullptr)); // what the lead byte test prevents
    EXPECT_FALSE(IsBelow("C:\\\x83\x61\\x", "C:\\\x83\x41", kSjis));
    EXPECT_TRUE(IsBelow("c:\\\x83\x41\\x", "C:\\\x83\x41", kSjis));
    EXPECT_TRUE(IsBelow("C:\\\x83\x5c\\x", "C:\\\x83\x5c", kSjis));
    EXPECT_TRUE(IsBelow("c:\\tool\\x", "C:\\TOOL", kSjis));
    EXPECT_FALSE(IsBelow("C:\\Tool", "C:\\Tool", kSjis));
    EXPECT_FALSE(IsBelow("C:\\Toolbox\\x", "C:\\Tool", kSjis));
    EXPECT_FALSE(IsBelow("C:\\x", "", kSjis));
    EXPECT_TRUE(IsBelow("C:\\x", "C:\\", kSjis));
    EXPECT_FALSE(IsBelow("C:\\", "C:\\", kSjis));
    EXPECT_FALSE(IsBelow("D:\\x", "C:\\", kSjis));
    EXPECT_TRUE(IsBelow("\\\\srv\\share\\x", "\\\\SRV\\Share\\", kSjis));
    EXPECT_FALSE(IsBelow("\\\\srv\\shared\\x", "\\\\srv\\share\\", kSjis));
    EXPECT_TRUE(IsRoot("C:\\", kSjis));
    EXPECT_TRUE(IsRoot("\\\\srv\\share\\", kSjis));
    EXPECT_FALSE(IsRoot("C:\\x", kSjis));
    EXPECT_FALSE(IsRoot("\\", kSjis));
    EXPECT_EQ("C:\\Program Files", ParentOf("C:\\Program Files\\Tool", kSjis));
    EXPECT_EQ("C:\\", ParentOf("C:\\Tool", kSjis));
    EXPECT_EQ("C:\\", ParentOf("C:\\", kSjis));
    EXPECT_EQ("C:\\\x95\x5c", ParentOf("C:\\\x95\x5c\\\x83\x5c", kSjis));
    EXPECT_EQ("\\\\srv\\share\\", ParentOf("\\\\srv\\share\\x", kSjis));
}

TEST(UninstallJudge, BelowTheInstallFolderOrAnAreaAndTheShortcutsAreAllowed)
{
    const PlannedLine relative = Plan("Tool.exe", false);
    EXPECT_EQ(Refusal::None, relative.refusal);
    EXPECT_EQ(kInstall + "\\ins\\Tool.exe", relative.path);
    EXPECT_EQ("Tool.exe", relative.text);
    const PlannedLine folder = Plan("..\\Help\\", true);
    EXPECT_EQ(Refusal::None, folder.refusal);
    EXPECT_EQ(kInstall + "\\Help", folder.path);
    EXPECT_EQ("..\\Help\\\\", folder.text);
    EXPECT_TRUE(folder.folder);
    for (const char* path : { "\\Program Files\\Tool\\Bin", "c:/program files/TOOL//bin/./x.dll",
             "C:\\Users\\u\\Desktop\\Tool\\", "C:\\Users\\U\\DOCUMENTS\\Tool", "." }) {
        EXPECT_EQ(Refusal::None, File(path)) << path;
        EXPECT_EQ(Refusal::None, Folder(path)) << path;
    }
    EXPECT_EQ(Refusal::None, File("C:\\Start Menu\\Programs\\Tool.lnk"));
    EXPECT_EQ(Refusal::None, File("c:\\start menu\\PROGRAMS\\tool.LNK"));
    // In the Windows folder, files only.
    EXPECT_EQ(Refusal::None, File("C:\\windows\\Tool.ini"));
    EXPECT_EQ(Refusal::None, File("C:\\Windows\\Tool\\Tool.dll"));
    EXPECT_EQ(Refusal::Protected, Folder("C:\\Windows\\Tool"));
}

TEST(UninstallJudge, RootsAreasProtectedFoldersWhatHoldsThemAndWhatSealedOnesHoldAreProtected)
{
    for (const char* path : { "C:\\", "c:\\.", "\\", "/", "..\\..\\..", "\\\\srv\\share", "//srv/share/x/..", "..",
             "C:\\Program Files\\Tool", "c:\\program files\\TOOL\\ins\\..\\", "C:\\Program Files",
             "C:\\Users\\u\\Desktop\\", "C:\\Users\\u\\Desktop\\.", "C:\\Users\\u\\Desktop\\x\\..", "C:\\Windows",
             "C:\\Users", "C:\\Users\\u", "C:\\Windows\\System32", "C:\\WINDOWS\\system32\\", "C:\\Start Menu",
             "C:\\Windows\\System32\\Tool.dll", "c:\\windows\\SYSTEM32\\drivers\\x" }) {
        EXPECT_EQ(Refusal::Protected, Folder(path)) << path;
        EXPECT_EQ(Refusal::Protected, File(path)) << path;
    }
    const std::string sjis = "D:\\\x95\x5c\\\x83\x5c"; // D:\表\ソ
    EXPECT_EQ(Refusal::Protected, Folder("..\\", sjis));
    EXPECT_EQ(Refusal::Protected, Folder(sjis + "\\", sjis));
    EXPECT_EQ(Refusal::Protected, Folder("D:\\\x95\x5c", sjis));
}

TEST(UninstallJudge, EverythingElseIsOutside)
{
    for (const char* path : { "C:\\Other\\x", "D:\\Program Files\\Tool\\x", "C:\\Program Files\\Toolbox\\x",
             "..\\..\\Other", "\\\\localhost\\C$\\Program Files\\Tool\\x", "C:\\Users\\u\\Desktop2\\x",
             "C:\\Start Menu\\Tool.lnk", "C:\\Start Menu\\Programs\\Other.lnk" }) {
        EXPECT_EQ(Refusal::Outside, File(path)) << path;
        EXPECT_EQ(Refusal::Outside, Folder(path)) << path;
    }
    EXPECT_EQ(Refusal::Outside, Folder("C:\\Start Menu\\Programs\\Tool.lnk")); // a shortcut is a file
    const std::string sjis = "D:\\\x95\x5c\\\x83\x5c"; // D:\表\ソ
    EXPECT_EQ(Refusal::None, File("..\\x", sjis));
    EXPECT_EQ(Refusal::Outside, File("D:\\\x95\x5c\\x", sjis));
    EXPECT_EQ(Refusal::None, File("d:\\\x83\x41\\x", "D:\\\x83\x41"));
    EXPECT_EQ(Refusal::Outside, File("D:\\\x83\x61\\x", "D:\\\x83\x41"));
}

// A log or uninstaller that others could have changed: only what lies below
// the install folder is taken; every other line keeps its own refusal or is
// refused as unprotected.
TEST(UninstallJudge, AnUnprotectedLogReachesOnlyIntoTheInstallFolder)
{
    UninstallPlaces places = Places();
    places.installFolderOnly = true;
    auto judge = [&places](const std::string& path, bool folder) {
        return PlanLine({ path, folder }, kInstall + "\\ins", places, kSjis).refusal;
    };
    EXPECT_EQ(Refusal::None, judge("..\\Help\\", true));
    EXPECT_EQ(Refusal::None, judge("C:\\Program Files\\Tool\\Bin\\x.dll", false));
    for (const char* path : { "C:\\Users\\u\\Desktop\\Tool\\", "C:\\Users\\u\\Documents\\x", "C:\\Windows\\Tool.ini",
             "C:\\Start Menu\\Programs\\Tool.lnk", "C:\\Other\\x" })
        EXPECT_EQ(Refusal::Unprotected, judge(path, false)) << path;
    EXPECT_EQ(Refusal::Protected, judge("C:\\Windows\\System32\\x.dll", false));
    EXPECT_EQ(Refusal::ClimbsAboveRoot, judge("..\\..\\..\\..\\x", false));
}

TEST(UninstallJudge, UnresolvableLinesAreRefusedWithoutAPath)
{
    for (const char* path : { "..\\..\\..\\..\\x", "\\..\\x", "C:\\..\\Windows\\x", "\\\\srv\\share\\..\\x" }) {
        const PlannedLine planned = Plan(path, false);
        EXPECT_EQ(Refusal::ClimbsAboveRoot, planned.refusal) << path;
        EXPECT_EQ("", planned.path) << path;
    }
    for (const char* path : { "", "\\\\?\\C:\\Program Files\\Tool\\x", "\\\\.\\C:\\x", "C:Tool.exe", "Tool.exe.",
             "Tool.exe ", "con", "aux.txt", "Tool.exe:x", "a*b", "x\x95" }) {
        const PlannedLine planned = Plan(path, true);
        EXPECT_EQ(Refusal::BadPath, planned.refusal) << path;
        EXPECT_EQ("", planned.path) << path;
        EXPECT_EQ(std::string(path) + "\\", planned.text);
    }
}

TEST(UninstallJudge, InstallFolderMayNotBeARootAnAreaHoldAProtectedFolderOrLieInASealedOne)
{
    const UninstallPlaces places = Places();
    for (const char* folder :
        { "C:\\Program Files\\Tool", "C:\\Users\\u\\Desktop\\Tool", "C:\\Users\\u\\Tool", "C:\\Windows\\Tool" })
        EXPECT_TRUE(InstallFolderAllowed(folder, places, kSjis)) << folder;
    for (const char* folder : { "", "C:\\", "\\\\srv\\share\\", "C:\\Users\\u\\Desktop", "C:\\Users", "C:\\Windows",
             "C:\\Windows\\System32", "C:\\Windows\\System32\\Tool", "C:\\Program Files" })
        EXPECT_FALSE(InstallFolderAllowed(folder, places, kSjis)) << folder;
}

TEST(UninstallJudge, PlanRunsFromTheLastLineToTheFirst)
{
    const std::string text = "Tool\\\r\nTool.exe\r\n..\\Help\\\\\r\nC:\\\\\r\nC:\\Start Menu\\Programs\\Tool.lnk\r\n";
    UninstallLog log;
    ASSERT_EQ(LogProblem::None, Read(text + kInstall + "\\\r\n", log));
    const std::vector<PlannedLine> plan = PlanUninstall(log, kInstall + "\\ins", Places(), kSjis);
    ASSERT_EQ(4u, plan.size());
    EXPECT_EQ("C:\\Start Menu\\Programs\\Tool.lnk", plan[0].text);
    EXPECT_EQ(Refusal::None, plan[0].refusal);
    EXPECT_EQ("C:\\\\", plan[1].text);
    EXPECT_EQ(Refusal::Protected, plan[1].refusal);
    EXPECT_EQ(kInstall + "\\Help", plan[2].path);
    EXPECT_EQ(kInstall + "\\ins\\Tool.exe", plan[3].path);
}

TEST(UninstallRecordedFolder, NamesTheFolderTheUninstallerRunsFrom)
{
    for (const char* recorded : { "C:\\Program Files\\Tool", "c:\\PROGRAM FILES\\tool", "C:/Program Files//Tool/",
             "C:\\Program Files\\\\Tool", "Tool", "Program Files\\Tool", "\\Program Files\\Tool", ".\\Tool" })
        EXPECT_TRUE(RecordedFolderMatches(recorded, kInstall, kSjis)) << recorded;
    for (const char* recorded : { "", "C:\\Program Files\\Other", "D:\\Program Files\\Tool", "C:\\Program Files",
             "C:\\Program Files\\Tool\\ins", "Other\\Tool", "Tool\\Tool", "C:Tool", "\\\\?\\C:\\Program Files\\Tool",
             "C:\\Program Files\\Tool.", "C:\\..\\Program Files\\Tool", "\\..\\Program Files\\Tool" })
        EXPECT_FALSE(RecordedFolderMatches(recorded, kInstall, kSjis)) << recorded;
    EXPECT_TRUE(RecordedFolderMatches("\\\\SRV\\share\\tool", "\\\\srv\\share\\Tool", kSjis));
    EXPECT_TRUE(RecordedFolderMatches("\\Tool", "\\\\srv\\share\\Tool", kSjis));
    EXPECT_TRUE(RecordedFolderMatches("\x95\x5c", "D:\\\x83\x5c\\\x95\x5c", kSjis));
    EXPECT_FALSE(RecordedFolderMatches("\x83\x61", "D:\\\x83\x41", kSjis));
    EXPECT_FALSE(RecordedFolderMatches("D:\\\x83\x61", "D:\\\x83\x41", kSjis));
    // A folder that is no absolute path ends the search at once.
    EXPECT_FALSE(RecordedFolderMatches("Tool", "", kSjis));
    EXPECT_FALSE(RecordedFolderMatches("Tool", "Tool", kSjis));
    EXPECT_FALSE(RecordedFolderMatches("Tool", "C:", kSjis));
}

// After a new installation over an earlier one: each line of the earlier log
// stays, goes, or is pruned of what the new one did not place.
TEST(StaleLines, GoUnlessTheNewInstallationPlacedThem)
{
    PlacedPaths placed({});
    placed.Add("C:\\P\\Tool\\bin\\app.exe");
    placed.Add("C:\\P\\Tool\\docs");
    placed.Add("C:\\P\\Tool\\help\\a.txt");
    placed.Add("C:\\P\\Tool\\~ynb1.tmp");
    placed.Remove("C:\\P\\Tool\\~YNB1.TMP"); // gone again, whatever its case
    const auto judge = [&](const char* path, bool folder, Refusal refusal = Refusal::None) {
        return JudgeStaleLine({ path, path, folder, refusal }, placed);
    };
    EXPECT_EQ(StaleAction::Keep, judge("C:\\p\\tool\\BIN\\app.exe", false)); // as Windows compares names
    EXPECT_EQ(StaleAction::Remove, judge("C:\\P\\Tool\\bin\\old.dll", false));
    EXPECT_EQ(StaleAction::Remove, judge("C:\\P\\Tool\\bin\\app", false)); // a prefix of a name is no folder
    EXPECT_EQ(StaleAction::Keep, judge("C:\\P\\Tool\\docs", true)); // made by the new one, whole
    EXPECT_EQ(StaleAction::Prune, judge("C:\\P\\Tool\\help", true));
    EXPECT_EQ(StaleAction::Keep, judge("C:\\P\\Tool\\help", false)); // a file line that holds placed files
    EXPECT_EQ(StaleAction::Remove, judge("C:\\P\\Tool\\~ynb1.tmp", false));
    EXPECT_EQ(StaleAction::Refused, judge("C:\\Windows", true, Refusal::Protected));
    EXPECT_EQ(StaleAction::Keep, judge("C:\\P\\Tool\\help\\a.txt", false, Refusal::Unprotected));
    EXPECT_EQ(StaleAction::Refused, JudgeStaleLine({ "..\\..\\..", "", true, Refusal::ClimbsAboveRoot }, placed));
}
