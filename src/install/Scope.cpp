#include "install/Scope.h"

namespace install {

int32_t UninstallRootOf(Scope scope)
{
    return scope == Scope::User ? 1 : 2; // HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE
}

namespace {

ScopeDecision ForMachine(bool elevatedCopy, const TokenFacts& token)
{
    ScopeDecision decision;
    decision.scope = Scope::Machine;
    if (!token.elevated) {
        decision.action = elevatedCopy ? ScopeAction::NotElevated : ScopeAction::Elevate;
        decision.otherAccount = !token.filteredAdministrator;
    }
    return decision;
}

} // namespace

ScopeDecision DecideScope(const ScopeInput& input, const TokenFacts& token)
{
    const bool asked = input.currentUser || input.allUsers;
    const Scope wanted = input.currentUser ? Scope::User : Scope::Machine;
    if (input.installed && asked && wanted != input.installedScope)
        return { .action = ScopeAction::OtherScope, .scope = input.installedScope };
    const Scope scope = input.installed ? input.installedScope : wanted;
    if (scope == Scope::User)
        return { .scope = Scope::User };
    ScopeDecision decision = ForMachine(input.elevatedCopy, token);
    // Only a process that may write both scopes offers the choice; the copy
    // started elevated was started for the machine.
    decision.choice = !asked && !input.installed && !input.elevatedCopy && token.elevated;
    return decision;
}

DeclinedAction AfterDeclinedElevation(const ScopeInput& input, bool silent)
{
    const bool fixed = input.allUsers || input.installed;
    return silent || fixed ? DeclinedAction::Cancel : DeclinedAction::AskUserScope;
}

ScopeDecision DecideUninstallScope(bool userEntryNamesProgram, bool elevatedCopy, const TokenFacts& token)
{
    if (userEntryNamesProgram)
        return { .scope = Scope::User };
    return ForMachine(elevatedCopy, token);
}

} // namespace install
