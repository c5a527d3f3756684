#include "app/Recovery.h"

#include "config/CommandLine.h"
#include "install/InstallPaths.h"
#include "install/MachineStorage.h"
#include "install/Transaction.h"
#include "sys/FileSecurity.h"
#include "sys/Text.h"

namespace app {

namespace {

// The journal and its folder may be changed by administrators (the
// machine's), or by the user and administrators (the user's own), alone.
bool Trusted(const std::string& journal, install::Scope scope)
{
    const sys::TrustScope trust = scope == install::Scope::User ? sys::TrustScope::User : sys::TrustScope::Machine;
    const std::ptrdiff_t separator = sys::LastSeparatorIn(journal, sys::kAnsiPaths);
    const std::string folder = separator > 0 ? journal.substr(0, static_cast<std::size_t>(separator)) : journal;
    return sys::JudgePath(journal.c_str(), trust) == sys::Protection::Protected
        && sys::JudgePath(folder.c_str(), trust) == sys::Protection::Protected;
}

std::wstring Said(const install::Recovery& recovery)
{
    const bool setup = recovery.kind == install::TxKind::Install;
    switch (recovery.outcome) {
    case install::Recovered::RolledBack:
        return setup ? L"前回のセットアップは途中で終わっていたため、元に戻しました。"
                     : L"前回のアンインストールは途中で終わっていたため、元に戻しました。";
    case install::Recovered::Finished:
        return setup ? L"前回のセットアップは途中で終わっていたため、最後まで行いました。"
                     : L"前回のアンインストールは途中で終わっていたため、最後まで行いました。";
    default:
        return std::wstring();
    }
}

void Logged(const install::Recovery& recovery, const wchar_t* scope, sys::LogFile& log)
{
    const wchar_t* what = recovery.kind == install::TxKind::Install ? L"installation" : L"uninstallation";
    const std::wstring journal = sys::FromAnsi(recovery.journalPath.c_str());
    switch (recovery.outcome) {
    case install::Recovered::Nothing:
        return;
    case install::Recovered::RolledBack:
        log.Line(std::wstring(L"recovered: an unfinished ") + what + L" " + scope + L" was undone (" + journal + L")");
        break;
    case install::Recovered::Finished:
        log.Line(
            std::wstring(L"recovered: an unfinished ") + what + L" " + scope + L" was finished (" + journal + L")");
        break;
    case install::Recovered::Cleared:
        log.Line(std::wstring(L"recovered: the traces of a run ") + scope + L" were removed (" + journal + L")");
        break;
    case install::Recovered::NotFollowed:
        log.Line(std::wstring(L"not recovered: the journal ") + journal + L" " + scope + L" is not followed: "
            + sys::FromAnsi(recovery.why.c_str()));
        break;
    }
    for (const install::TxLeft& item : recovery.left)
        log.Line(
            L"recovery left " + sys::FromAnsi(item.path.c_str()) + L" (error " + std::to_wstring(item.error) + L")");
}

} // namespace

RecoveryResult RecoverUnfinished(const SetupRecord& record, bool machineRights, sys::LogFile& log)
{
    RecoveryResult result;
    char product[install::kPathSize] = {};
    if (!install::FirstComponent(record.ProductFolder, product) || product[0] == '\0')
        return result;
    const install::Storage storage = install::MachineStorage();
    for (const install::Scope scope : { install::Scope::Machine, install::Scope::User }) {
        const wchar_t* scopeText = scope == install::Scope::Machine ? L"for the machine" : L"for the current user";
        if (scope == install::Scope::Machine && !machineRights) {
            if (install::HasUnfinished(storage, scope, product)) {
                log.Line(L"refused: an unfinished run for the machine needs administrator rights to be recovered");
                return { false, config::kExitFailed,
                    L"すべてのユーザー向けの前回のセットアップが途中で終わっています。\n"
                    L"管理者の権限で、もう一度セットアップしてください。" };
            }
            continue;
        }
        const install::Recovery recovery = install::Recover(
            storage, scope, product, [scope](const std::string& journal) { return Trusted(journal, scope); });
        Logged(recovery, scopeText, log);
        if (recovery.outcome == install::Recovered::NotFollowed)
            return { false, config::kExitFailed,
                L"前回のセットアップの記録（" + sys::FromAnsi(recovery.journalPath.c_str())
                    + L"）が壊れているか、ほかのユーザーが変更できる場所にあるため、続けられません。\n"
                      L"ファイルには何もしていません。管理者に連絡してください。" };
        const std::wstring said = Said(recovery);
        if (!said.empty())
            result.text = said;
    }
    return result;
}

} // namespace app
