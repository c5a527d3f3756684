// Versions, what a setup means for a product installed already, and what it
// does about files that programs hold.
#include <gtest/gtest.h>

#include "install/FilesInUse.h"
#include "install/ProductVersion.h"
#include "install/Scope.h"

namespace {

using install::CompareVersions;
using install::SetupCase;

TEST(ProductVersion, PartsCompareAsNumbersAndMissingOnesAsZero)
{
    const struct {
        const char* older;
        const char* newer;
    } pairs[]
        = { { "1.9.2", "1.10.0" }, { "1.2", "1.2.1" }, { "2.0.0", "10" }, { "1.0.9", "1.0.10" }, { "1.0.0", "1.0.0a" },
              { "1.0.a", "1.0.b" }, { "0.9", "01.0" }, { "99999999999999999999", "100000000000000000000" } };
    for (const auto& [older, newer] : pairs) {
        EXPECT_LT(CompareVersions(older, newer), 0) << older << " < " << newer;
        EXPECT_GT(CompareVersions(newer, older), 0) << newer << " > " << older;
    }
    for (const auto& [a, b] : { std::pair { "1.2", "1.2.0.0" }, { "1.02", "1.2" }, { "", "3.1" }, { "2.0", "" } })
        EXPECT_EQ(0, CompareVersions(a, b)) << a << " = " << b;
}

TEST(ProductVersion, OneInstallationAndNoDowngradeUnlessAsked)
{
    const install::InstalledProduct none;
    install::InstalledProduct installed { true, "C:\\up\\Hanamaru", "C:\\up", "2.0.0" };
    EXPECT_EQ(SetupCase::FirstInstallation, install::JudgeSetup(none, "1.0", { .otherFolder = true }));
    EXPECT_EQ(SetupCase::Upgrade, install::JudgeSetup(installed, "2.1.0", {}));
    EXPECT_EQ(SetupCase::SameVersion, install::JudgeSetup(installed, "2.0", {}));
    EXPECT_EQ(SetupCase::NewerInstalled, install::JudgeSetup(installed, "1.9", {}));
    EXPECT_EQ(SetupCase::Downgrade, install::JudgeSetup(installed, "1.9", { .allowDowngrade = true }));
    EXPECT_EQ(SetupCase::InstalledElsewhere,
        install::JudgeSetup(installed, "2.1.0", { .otherFolder = true, .allowDowngrade = true }));
    installed.version.clear(); // a product without a version is the same every time
    EXPECT_EQ(SetupCase::SameVersion, install::JudgeSetup(installed, "1.0", {}));

    // A repair sets up the installed version again, and only it.
    EXPECT_EQ(SetupCase::RepairNotInstalled, install::JudgeSetup(none, "1.0", { .repair = true }));
    installed.version = "2.0.0";
    EXPECT_EQ(SetupCase::SameVersion, install::JudgeSetup(installed, "2.0", { .repair = true }));
    EXPECT_EQ(SetupCase::RepairOtherVersion, install::JudgeSetup(installed, "2.1", { .repair = true }));
    EXPECT_EQ(SetupCase::RepairOtherVersion,
        install::JudgeSetup(installed, "1.9", { .allowDowngrade = true, .repair = true }));

    EXPECT_EQ(4u, install::RefusalExitCode(SetupCase::NewerInstalled));
    EXPECT_EQ(1605u, install::RefusalExitCode(SetupCase::RepairNotInstalled));
    EXPECT_EQ(1638u, install::RefusalExitCode(SetupCase::RepairOtherVersion));
    EXPECT_EQ(1638u, install::RefusalExitCode(SetupCase::InstalledElsewhere));
    for (SetupCase going :
        { SetupCase::FirstInstallation, SetupCase::SameVersion, SetupCase::Upgrade, SetupCase::Downgrade })
        EXPECT_EQ(0u, install::RefusalExitCode(going));
}

} // namespace

// Held files: a person decides; silently, the programs are asked to close
// once with /CLOSEAPPLICATIONS, and what stays held is replaced at the restart
// (the machine's installations) or cancels (a user's own).
TEST(FilesInUse, EachModeKnowsWhatComesNext)
{
    using install::InUseAction;
    using install::InUseAnswer;
    const auto decide = [](install::InUseSituation situation) { return install::DecideInUse(situation); };
    EXPECT_EQ(InUseAction::CheckAgain, decide({ .asked = true, .answer = InUseAnswer::Retry }));
    EXPECT_EQ(InUseAction::CloseThenCheck, decide({ .asked = true, .answer = InUseAnswer::Close, .closeTried = true }));
    EXPECT_EQ(InUseAction::Cancel, decide({ .asked = true, .answer = InUseAnswer::Cancel, .closeApplications = true }));
    EXPECT_EQ(InUseAction::ReplaceAtRestart, decide({}));
    EXPECT_EQ(InUseAction::CloseThenCheck, decide({ .closeApplications = true }));
    EXPECT_EQ(InUseAction::ReplaceAtRestart, decide({ .closeApplications = true, .closeTried = true }));
    // A user's own installation leaves nothing for the restart: it cancels.
    EXPECT_EQ(InUseAction::Cancel, decide({ .restartAllowed = false }));
    EXPECT_EQ(InUseAction::Cancel, decide({ .closeApplications = true, .closeTried = true, .restartAllowed = false }));
    EXPECT_EQ(InUseAction::CloseThenCheck, decide({ .closeApplications = true, .restartAllowed = false }));
}

namespace {

using install::Scope;
using install::ScopeAction;

constexpr install::TokenFacts kElevated { .elevated = true };
constexpr install::TokenFacts kFilteredAdministrator { .filteredAdministrator = true };
constexpr install::TokenFacts kStandardUser {};

} // namespace

TEST(Scope, ASwitchOrTheInstallationChoosesAndOnlyTheMachineElevates)
{
    const install::ScopeInput first;
    const install::ScopeInput user { .currentUser = true };
    const install::ScopeInput machine { .allUsers = true };
    // A first installation: the machine, offered as a choice only where both may be written.
    auto decided = install::DecideScope(first, kElevated);
    EXPECT_TRUE(decided.action == ScopeAction::Proceed && decided.scope == Scope::Machine && decided.choice);
    decided = install::DecideScope(first, kFilteredAdministrator);
    EXPECT_TRUE(decided.action == ScopeAction::Elevate && !decided.choice && !decided.otherAccount);
    // A standard user's elevation runs as whoever gives the password.
    decided = install::DecideScope(machine, kStandardUser);
    EXPECT_TRUE(decided.action == ScopeAction::Elevate && decided.otherAccount);
    // The user's own installation never elevates, whoever runs it.
    for (const install::TokenFacts& token : { kElevated, kFilteredAdministrator, kStandardUser }) {
        decided = install::DecideScope(user, token);
        EXPECT_TRUE(decided.action == ScopeAction::Proceed && decided.scope == Scope::User && !decided.choice);
    }
    // The elevated copy never asks again, and offers no choice.
    decided = install::DecideScope({ .allUsers = true, .elevatedCopy = true }, kElevated);
    EXPECT_TRUE(decided.action == ScopeAction::Proceed && !decided.choice);
    EXPECT_EQ(ScopeAction::NotElevated, install::DecideScope({ .elevatedCopy = true }, kStandardUser).action);

    // An installation keeps its scope, and refuses the other one.
    const install::ScopeInput ofUser { .installed = true, .installedScope = Scope::User };
    decided = install::DecideScope(ofUser, kStandardUser);
    EXPECT_TRUE(decided.action == ScopeAction::Proceed && decided.scope == Scope::User);
    install::ScopeInput asked = ofUser;
    asked.allUsers = true;
    EXPECT_EQ(ScopeAction::OtherScope, install::DecideScope(asked, kElevated).action);
    asked = { .currentUser = true, .installed = true, .installedScope = Scope::Machine };
    EXPECT_EQ(ScopeAction::OtherScope, install::DecideScope(asked, kElevated).action);
    decided = install::DecideScope({ .installed = true }, kFilteredAdministrator);
    EXPECT_TRUE(decided.action == ScopeAction::Elevate && !decided.choice);

    // A declined elevation: the wizard of a free scope asks; else it cancels.
    EXPECT_EQ(install::DeclinedAction::AskUserScope, install::AfterDeclinedElevation(first, false));
    EXPECT_EQ(install::DeclinedAction::Cancel, install::AfterDeclinedElevation(first, true));
    EXPECT_EQ(install::DeclinedAction::Cancel, install::AfterDeclinedElevation(machine, false));
    EXPECT_EQ(install::DeclinedAction::Cancel, install::AfterDeclinedElevation({ .installed = true }, false));

    // The uninstaller of the user's own installation never elevates.
    EXPECT_EQ(ScopeAction::Proceed, install::DecideUninstallScope(true, false, kStandardUser).action);
    EXPECT_EQ(ScopeAction::Elevate, install::DecideUninstallScope(false, false, kFilteredAdministrator).action);
    EXPECT_EQ(ScopeAction::NotElevated, install::DecideUninstallScope(false, true, kStandardUser).action);
    EXPECT_EQ(1, install::UninstallRootOf(Scope::User));
    EXPECT_EQ(2, install::UninstallRootOf(Scope::Machine));
}
