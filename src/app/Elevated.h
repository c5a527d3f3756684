// A program without the administrator rights its work needs starts itself
// again with them (the "runas" verb), with the same choices and in the same
// folder, and ends with the copy's exit code. This process keeps its /LOG=
// file: the copy's lines reach it through a pipe (sys/LogFile.h).
#pragma once

#include <cstdint>

#include "config/CommandLine.h"
#include "install/Scope.h"
#include "sys/LogFile.h"

namespace app {

// What this process's token says, for the decision on the scope. The copy
// started elevated (/ELEVATED) reads its real token, whatever the test seam
// says (sys/Elevation.h).
install::TokenFacts TokenOf(const config::CommandLine& options);

// The copy's exit code, ERROR_CANCELLED (1223) when the user declined the
// prompt, or 1603 when it could not start. otherAccount: the prompt asks for
// another account's password (noted in the log: that account's profile
// receives the per-user parts).
uint32_t RunElevatedCopy(
    const config::CommandLine& options, config::Program program, bool otherAccount, sys::LogFile& log);

} // namespace app
