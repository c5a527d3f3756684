// The rights of the process's token, and starting a copy of the program with
// administrator rights (the "runas" verb: the consent or credentials prompt
// of UAC).
//
// A test seam of the programs the tests build (sys/TestSeam.h; the shipped
// programs have none): YNB_TEST_TOKEN, read only where the caller allows it
// (never in the copy started elevated), makes the token read as a filtered
// administrator's ("filtered") or a standard user's ("standard"), or, with
// "declined", as a standard user's whose prompt is answered No (the start
// reports ERROR_CANCELLED and starts nothing). It can only take rights away,
// never give any.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

namespace sys {

struct TokenRights {
    bool elevated = false; // the Administrators group is enabled in the token
    bool filteredAdministrator = false; // UAC holds an administrator's rights back (TokenElevationTypeLimited)
};

TokenRights ReadTokenRights(bool honourSeam);

// Starts `program` with `arguments` through ShellExecuteEx's "runas" verb in
// `folder`, waits for its end while dispatching this thread's messages (and
// calling `woken` whenever `wake` is signalled), and gives its exit code.
// false with `error` when it did not start (1223, ERROR_CANCELLED: the user
// declined the prompt).
bool RunElevated(const std::wstring& program, const std::wstring& arguments, const std::wstring& folder,
    uint32_t& exitCode, DWORD& error, HANDLE wake = nullptr, const std::function<void()>& woken = {});

} // namespace sys
