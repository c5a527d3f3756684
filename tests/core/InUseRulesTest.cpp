// Which files programs hold and which programs a question names, from
// Windows' answers given as data: the error of opening a file for writing,
// and the processes Restart Manager lists.
#include <gtest/gtest.h>

#include "sys/InUseRules.h"

using sys::Probe;

TEST(InUseRules, AFileIsHeldWhenItCannotBeOpenedForWriting)
{
    EXPECT_EQ(Probe::Free, sys::JudgeProbe(0));
    EXPECT_EQ(Probe::Held, sys::JudgeProbe(32)); // a running image, a loaded module, an open without sharing
    EXPECT_EQ(Probe::Held, sys::JudgeProbe(33)); // a locked range
    EXPECT_EQ(Probe::Missing, sys::JudgeProbe(2));
    EXPECT_EQ(Probe::Missing, sys::JudgeProbe(3));
    EXPECT_EQ(Probe::Other, sys::JudgeProbe(5)); // read-only, or no right: the write itself reports it
    EXPECT_EQ(Probe::Other, sys::JudgeProbe(1920));
}

// Restart Manager lists every process using a registered file, this
// program and the one that started it among them when they run the
// uninstaller from the install folder; each other program is named once.
TEST(InUseRules, TheProgramsNamedAreOthersEachOnce)
{
    const std::vector<sys::Holder> listed = { { 100, L"はなまる家計簿" }, { 200, L"uninstall.exe" },
        { 101, L"はなまる家計簿" }, { 300, L"Explorer" }, { 400, L"" }, { 201, L"uninstall.exe" } };
    EXPECT_EQ(
        (std::vector<std::wstring> { L"はなまる家計簿", L"Explorer" }), sys::ProgramsToName(listed, { 200, 201 }));
    EXPECT_EQ((std::vector<std::wstring> { L"はなまる家計簿", L"uninstall.exe", L"Explorer" }),
        sys::ProgramsToName(listed, {}));
    EXPECT_TRUE(sys::ProgramsToName({}, { 1 }).empty());
    EXPECT_TRUE(sys::ProgramsToName({ { 7, L"setup.exe" } }, { 7 }).empty());
}
