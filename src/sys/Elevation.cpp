#include "sys/Elevation.h"

#include <shellapi.h>

#include "sys/FileSecurity.h"
#include "sys/Handle.h"
#include "sys/TestSeam.h"

namespace sys {

TokenRights ReadTokenRights(bool honourSeam)
{
    TokenRights rights;
    if (honourSeam) {
        const std::wstring seam = SeamValue(TestSeam::Token);
        if (seam == L"filtered")
            return { .filteredAdministrator = true };
        if (seam == L"standard" || seam == L"declined")
            return {};
    }
    rights.elevated = AdministratorsEnabled();
    UniqueHandle token;
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    DWORD size = 0;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())
        && GetTokenInformation(token.Get(), TokenElevationType, &type, sizeof type, &size))
        rights.filteredAdministrator = type == TokenElevationTypeLimited;
    return rights;
}

bool RunElevated(const std::wstring& program, const std::wstring& arguments, const std::wstring& folder,
    uint32_t& exitCode, DWORD& error, HANDLE wake, const std::function<void()>& woken)
{
    exitCode = 0;
    error = ERROR_SUCCESS;
    if (SeamValue(TestSeam::Token) == L"declined") {
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
    const HANDLE waitFor[] = { execute.hProcess, wake };
    const DWORD count = wake != nullptr ? 2 : 1;
    for (;;) {
        const DWORD waited = MsgWaitForMultipleObjects(count, waitFor, FALSE, INFINITE, QS_ALLINPUT);
        if (count == 2 && waited == WAIT_OBJECT_0 + 1) {
            if (woken)
                woken();
            continue;
        }
        if (waited != WAIT_OBJECT_0 + count)
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
