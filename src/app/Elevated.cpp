#include "app/Elevated.h"

#include <windows.h>

#include "sys/Elevation.h"
#include "sys/Win32.h"

namespace app {

install::TokenFacts TokenOf(const config::CommandLine& options)
{
    const sys::TokenRights rights = sys::ReadTokenRights(!options.elevated);
    return { .elevated = rights.elevated, .filteredAdministrator = rights.filteredAdministrator };
}

uint32_t RunElevatedCopy(
    const config::CommandLine& options, config::Program program, bool otherAccount, sys::LogFile& log)
{
    // The copy's lines come through a pipe into this program's log: it never
    // opens the file this program was pointed at.
    sys::LogPipe pipe;
    const bool piped = log.IsOpen() && pipe.Create();
    if (log.IsOpen() && !piped)
        log.Line(L"no pipe for the lines of the program with administrator rights (error "
            + std::to_wstring(GetLastError()) + L"): they are not logged");
    const std::wstring arguments = config::ElevatedArguments(options, program, piped ? pipe.Name() : L"");
    log.Line(L"administrator rights are needed: the program starts again with them: " + arguments);
    if (otherAccount)
        log.Line(L"the rights come from another account: its desktop, documents and Start menu receive the "
                 L"shortcuts and files of the current user");
    uint32_t code = config::kExitFailed;
    DWORD error = ERROR_SUCCESS;
    wchar_t folder[MAX_PATH] = {};
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, folder);
    const bool ran = sys::RunElevated(sys::ModulePath(), arguments, length > 0 && length < MAX_PATH ? folder : L"",
        code, error, piped ? pipe.Event() : nullptr, [&] { pipe.Pump(log); });
    if (piped)
        pipe.Drain(log);
    if (ran) {
        log.Line(L"the program with administrator rights ended with " + std::to_wstring(code));
        return code;
    }
    log.Line(error == ERROR_CANCELLED
            ? std::wstring(L"the elevation was declined")
            : L"the program could not start with administrator rights (error " + std::to_wstring(error) + L")");
    return error == ERROR_CANCELLED ? ERROR_CANCELLED : config::kExitFailed;
}

} // namespace app
