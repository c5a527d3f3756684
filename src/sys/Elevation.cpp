#include "sys/Elevation.h"

#include <shellapi.h>

#include <cstdlib>
#include <cwchar>

#include "sys/Handle.h"

namespace sys {

namespace {

const wchar_t* Seam()
{
    const wchar_t* value = _wgetenv(L"YNB_TEST_TOKEN");
    return value != nullptr ? value : L"";
}

} // namespace

TokenRights ReadTokenRights(bool honourSeam)
{
    TokenRights rights;
    if (honourSeam) {
        const std::wstring seam = Seam();
        if (seam == L"filtered")
            return { .filteredAdministrator = true };
        if (seam == L"standard" || seam == L"declined")
            return {};
    }
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (AllocateAndInitializeSid(
            &nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators)) {
        BOOL member = FALSE;
        rights.elevated = CheckTokenMembership(nullptr, administrators, &member) && member;
        (void)FreeSid(administrators);
    }
    UniqueHandle token;
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    DWORD size = 0;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())
        && GetTokenInformation(token.Get(), TokenElevationType, &type, sizeof type, &size))
        rights.filteredAdministrator = type == TokenElevationTypeLimited;
    return rights;
}

bool RunElevated(const std::wstring& program, const std::wstring& arguments, const std::wstring& folder,
    uint32_t& exitCode, DWORD& error)
{
    exitCode = 0;
    error = ERROR_SUCCESS;
    if (std::wstring(Seam()) == L"declined") {
        error = ERROR_CANCELLED;
        return false;
    }
    SHELLEXECUTEINFOW execute {};
    execute.cbSize = sizeof execute;
    execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    execute.lpVerb = L"runas";
    execute.lpFile = program.c_str();
    execute.lpParameters = arguments.c_str();
    execute.lpDirectory = folder.empty() ? nullptr : folder.c_str();
    execute.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&execute) || execute.hProcess == nullptr) {
        error = GetLastError();
        if (error == ERROR_SUCCESS)
            error = ERROR_INVALID_HANDLE; // no process to wait for, and no reason given
        return false;
    }
    UniqueHandle process(execute.hProcess);
    for (;;) {
        const DWORD waited = MsgWaitForMultipleObjects(1, &execute.hProcess, FALSE, INFINITE, QS_ALLINPUT);
        if (waited != WAIT_OBJECT_0 + 1)
            break;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            (void)DispatchMessageW(&message);
    }
    DWORD code = 0;
    if (!GetExitCodeProcess(process.Get(), &code)) {
        error = GetLastError();
        return false;
    }
    exitCode = code;
    return true;
}

} // namespace sys
