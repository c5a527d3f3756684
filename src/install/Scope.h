// For whom a product is installed, and which process may do it: a machine
// installation (every user; the uninstall entry under HKEY_LOCAL_MACHINE, a
// folder only administrators change) needs administrator rights, a user's
// own one (HKEY_CURRENT_USER, the user's program folder) never asks for them.
// The programs run as they were started; one that needs the rights it lacks
// starts a copy of itself with them (the "runas" verb), waits for it and ends
// with its exit code. Portable: no Win32.
#pragma once

#include <cstdint>

namespace install {

enum class Scope : uint8_t {
    Machine, // every user of the machine
    User, // the user who runs the setup, alone
};

// ClsRegist's root selector of the scope's uninstall entries: HKEY_LOCAL_MACHINE
// or HKEY_CURRENT_USER.
int32_t UninstallRootOf(Scope scope);

// What the process's token says about its rights.
struct TokenFacts {
    // The token holds the Administrators group, enabled: the process has
    // administrator rights (elevated, or an administrator without UAC).
    bool elevated = false;
    // The account is an administrator whose rights UAC holds back (a
    // filtered token): elevating asks for consent and keeps the account. A
    // standard user's elevation asks for another account's name and
    // password, and the copy then runs as that account.
    bool filteredAdministrator = false;
};

// What the setup was started with, beside the token.
struct ScopeInput {
    bool currentUser = false; // /CURRENTUSER
    bool allUsers = false; // /ALLUSERS
    bool elevatedCopy = false; // /ELEVATED: the copy started with administrator rights
    bool installed = false; // the product is installed already ...
    Scope installedScope = Scope::Machine; // ... for whom
};

enum class ScopeAction : uint8_t {
    Proceed, // this process installs in `scope`
    Elevate, // start the copy with administrator rights, and end with its exit code
    OtherScope, // refused: the product is installed in the other scope (kExitOtherScope)
    NotElevated, // refused: the copy started with administrator rights has none (kExitFailed)
};

struct ScopeDecision {
    ScopeAction action = ScopeAction::Proceed;
    Scope scope = Scope::Machine;
    // The wizard lets the user choose the scope (nothing fixed it, and this
    // process may install in either).
    bool choice = false;
    // Elevating asks for another account: the copy's desktop, documents,
    // Start menu and HKEY_CURRENT_USER are that account's.
    bool otherAccount = false;
};

// A switch chooses the scope; an installed product keeps its own (a switch
// asking for the other one is refused); else the machine, for a first
// installation. A machine installation without administrator rights elevates,
// once: the copy started elevated never asks again.
ScopeDecision DecideScope(const ScopeInput& input, const TokenFacts& token);

// What a declined elevation (ERROR_CANCELLED, the user said no to the
// prompt) leads to.
enum class DeclinedAction : uint8_t {
    Cancel, // the setup ends as cancelled (1602)
    AskUserScope, // the wizard asks whether to install for this user alone
};

// Silently, or with a scope a switch or the installed product fixed, a
// declined elevation cancels; the wizard of a free scope asks.
DeclinedAction AfterDeclinedElevation(const ScopeInput& input, bool silent);

// The uninstaller's scope is the entry that names it; a machine one elevates
// when it lacks the rights, a user's never.
ScopeDecision DecideUninstallScope(bool userEntryNamesProgram, bool elevatedCopy, const TokenFacts& token);

} // namespace install
