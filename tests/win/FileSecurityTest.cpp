// FileSecurity under Wine: descriptors read from handles, the running
// account, the judgement of files and folders as Wine creates them and as the
// host changed them (tests/scripts/sys-security.sh), and ProtectFolder.
// Wine derives the descriptors it reports from the host file's mode and owner
// (docs/WINE.md): what it can show is tested here.
#include <gtest/gtest.h>

#include "SysScratch.h"
#include "sys/FileSecurity.h"
#include "sys/Handle.h"

#include <windows.h>
#include <sddl.h>

#include <string>

using namespace sys;
using scratch::TempFolder;

namespace {

UniqueFile OpenForReading(const std::string& path, DWORD access = READ_CONTROL | FILE_READ_ATTRIBUTES)
{
    return UniqueFile(CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// The folder that sys-security.sh prepared, or empty when run on its own.
std::string HostFolder()
{
    return driver::HostGiven("YNB_SECURITY_FOLDER");
}

} // namespace

TEST(ReadOwnerAndDacl, GivesTheSelfRelativeDescriptorOfAHandle)
{
    TempFolder dir("security_read");
    ASSERT_TRUE(scratch::Write(dir / "file.txt", "data"));
    UniqueFile file = OpenForReading(dir / "file.txt");
    ASSERT_TRUE(file);
    std::vector<std::uint8_t> descriptor;
    ASSERT_TRUE(ReadOwnerAndDacl(file.Get(), descriptor));
    ASSERT_GE(descriptor.size(), 20u);
    EXPECT_EQ(1, descriptor[0]);
    EXPECT_EQ(0x8004, (descriptor[2] | descriptor[3] << 8) & 0x8004); // self-relative, DACL present
    EXPECT_EQ(CurrentUserSid(), OwnerOf(descriptor));

    // Without READ_CONTROL, or without a handle, nothing is given.
    UniqueFile attributesOnly = OpenForReading(dir / "file.txt", FILE_READ_ATTRIBUTES);
    ASSERT_TRUE(attributesOnly);
    EXPECT_FALSE(ReadOwnerAndDacl(attributesOnly.Get(), descriptor));
    EXPECT_TRUE(descriptor.empty());
    EXPECT_FALSE(ReadOwnerAndDacl(nullptr, descriptor));
    EXPECT_EQ(Protection::Unreadable, JudgeHandle(attributesOnly.Get(), TrustScope::Machine));
}

TEST(CurrentUserSid, RendersAsWindowsRendersIt)
{
    SidBytes sid = CurrentUserSid();
    ASSERT_FALSE(sid.empty());
    char* text = nullptr;
    ASSERT_TRUE(ConvertSidToStringSidA(sid.data(), &text));
    const std::string windows = text;
    LocalFree(text);
    EXPECT_EQ(windows, SidText(sid));
}

TEST(JudgePath, WhatWineCreatesIsProtectedAndMissingIsUnreadable)
{
    TempFolder dir("security_judge");
    ASSERT_TRUE(scratch::Write(dir / "file.txt", "data"));
    EXPECT_EQ(Protection::Protected, JudgePath((dir / "file.txt").c_str(), TrustScope::Machine));
    EXPECT_EQ(Protection::Protected, JudgePath(dir.Path().c_str(), TrustScope::Machine));
    EXPECT_TRUE(OwnerIsTrusted(dir.Path().c_str(), TrustScope::Machine));

    const std::string missing = dir / "missing";
    EXPECT_EQ(Protection::Unreadable, JudgePath(missing.c_str(), TrustScope::Machine));
    EXPECT_FALSE(OwnerIsTrusted(missing.c_str(), TrustScope::Machine));
}

// Wine's token is an elevated administrator's: for the machine its account
// counts as an administrator.
TEST(RunningAccount, IsTheTokensUserAndItsRights)
{
    const Account account = RunningAccount();
    EXPECT_EQ(CurrentUserSid(), account.sid);
    EXPECT_TRUE(account.enabledAdministrator);
}

// A machine's install folder and the folders above it: those missing are
// listed top first and made with the protection of Program Files.
TEST(JudgeInstallPath, ListsWhatIsMissingAndMakesItProtected)
{
    TempFolder dir("security_path");
    const std::string install = dir / "base\\Product";
    InstallPathJudgement judgement = JudgeInstallPath(install, TrustScope::Machine);
    EXPECT_EQ(Protection::Protected, judgement.protection);
    ASSERT_EQ(2u, judgement.missing.size());
    EXPECT_EQ(dir / "base", judgement.missing[0]);
    EXPECT_EQ(install, judgement.missing[1]);
    for (const std::string& folder : judgement.missing)
        ASSERT_TRUE(CreateProtectedFolder(folder.c_str())) << folder;
    EXPECT_FALSE(CreateProtectedFolder(install.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    judgement = JudgeInstallPath(install, TrustScope::Machine);
    EXPECT_EQ(Protection::Protected, judgement.protection);
    EXPECT_TRUE(judgement.missing.empty());
    ASSERT_TRUE(scratch::Write(install + "\\inside.txt", "data")); // inherits the folder's list
    EXPECT_EQ(Protection::Protected, JudgePath((install + "\\inside.txt").c_str(), TrustScope::Machine));
}

TEST(ProtectFolder, SucceedsOnAFolderOnly)
{
    TempFolder dir("security_protect");
    ASSERT_TRUE(scratch::MakeFolder(dir / "app"));
    ASSERT_TRUE(scratch::Write(dir / "app\\inside.txt", "data"));
    EXPECT_TRUE(ProtectFolder((dir / "app").c_str()));
    EXPECT_EQ(Protection::Protected, JudgePath((dir / "app").c_str(), TrustScope::Machine));
    EXPECT_EQ("data", scratch::Read(dir / "app\\inside.txt"));

    // A user's own installation: owned by the running account.
    ASSERT_TRUE(scratch::MakeFolder(dir / "own"));
    EXPECT_TRUE(ProtectFolder((dir / "own").c_str(), true));
    EXPECT_EQ(Protection::Protected, JudgePath((dir / "own").c_str(), TrustScope::Machine));
    EXPECT_TRUE(OwnerIsTrusted((dir / "own").c_str(), TrustScope::Machine));

    ASSERT_TRUE(scratch::Write(dir / "file.txt", "data"));
    EXPECT_FALSE(ProtectFolder((dir / "file.txt").c_str()));
    EXPECT_FALSE(ProtectFolder((dir / "missing").c_str(), true));
}

// First run: the test makes the files as Wine creates them; the script then
// makes open.txt and open\ writable for others and gives foreign.txt to
// another host user; second run: each judged from what the host made of it.
TEST(FileSecurityHost, Created)
{
    const std::string folder = HostFolder();
    if (folder.empty())
        GTEST_SKIP() << "run through tests/scripts/sys-security.sh";
    for (const char* name : { "plain.txt", "open.txt", "foreign.txt" }) {
        ASSERT_TRUE(scratch::Write(folder + "\\" + name, "data"));
        EXPECT_EQ(Protection::Protected, JudgePath((folder + "\\" + name).c_str(), TrustScope::Machine)) << name;
    }
    ASSERT_TRUE(scratch::MakeFolder(folder + "\\open"));
    EXPECT_EQ(Protection::Protected, JudgePath((folder + "\\open").c_str(), TrustScope::Machine));
}

TEST(FileSecurityHost, Changed)
{
    const std::string folder = HostFolder();
    if (folder.empty())
        GTEST_SKIP() << "run through tests/scripts/sys-security.sh";
    EXPECT_EQ(Protection::Protected, JudgePath((folder + "\\plain.txt").c_str(), TrustScope::Machine));
    EXPECT_EQ(Protection::OthersMayWrite, JudgePath((folder + "\\open.txt").c_str(), TrustScope::Machine));
    const std::string open = folder + "\\open";
    EXPECT_EQ(Protection::OthersMayWrite, JudgePath(open.c_str(), TrustScope::Machine));
    if (GetEnvironmentVariableA("YNB_SECURITY_FOREIGN", nullptr, 0) > 0) {
        EXPECT_EQ(Protection::ForeignOwner, JudgePath((folder + "\\foreign.txt").c_str(), TrustScope::Machine));
        EXPECT_FALSE(OwnerIsTrusted((folder + "\\foreign.txt").c_str(), TrustScope::Machine));
    }
    // A machine's install folder below it, or it as the install folder, or
    // through a host link (a reparse point here), is refused.
    InstallPathJudgement below = JudgeInstallPath(open + "\\app", TrustScope::Machine);
    EXPECT_EQ(Protection::OthersMayMove, below.protection);
    EXPECT_EQ(open, below.path);
    EXPECT_EQ(Protection::OthersMayWrite, JudgeInstallPath(open, TrustScope::Machine).protection);
    const InstallPathJudgement link = JudgeInstallPath(folder + "\\link\\app", TrustScope::Machine);
    EXPECT_NE(Protection::Protected, link.protection);
    EXPECT_EQ(folder + "\\link", link.path);
    EXPECT_TRUE(link.link);
    EXPECT_TRUE(ProtectFolder(open.c_str()));
    EXPECT_EQ(Protection::Protected, JudgePath(open.c_str(), TrustScope::Machine));
}
