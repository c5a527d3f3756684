// Test seams: the ways the tests steer the programs where Wine cannot show
// what Windows does (a token without administrator rights, a declined
// prompt). The shipped programs have none: this file's SeamValue gives them
// nothing, and only the programs the tests build link the version that reads
// the environment instead (tests/win-tools/TestSeams.cpp), so that nobody can
// steer a shipped setup.exe or uninstall.exe through them.
//
// A new seam: an enumerator here, and its environment variable in
// tests/win-tools/TestSeams.cpp; the code that honours it asks SeamValue.
#pragma once

#include <cstdint>
#include <string>

namespace sys {

enum class TestSeam : std::uint8_t {
    // YNB_TEST_TOKEN (sys/Elevation.h): "filtered", "standard", "declined".
    Token,
    // YNB_TEST_NO_COPY (sys/RemovalPlace.h): any value, and the uninstaller
    // makes no temporary copy, as when none can be made.
    NoCopy,
    // YNB_TEST_CUT (install/MachineStorage.h): N, and the process ends (exit
    // code 99) right before its N-th change of the machine through a
    // transaction, as a power cut or a kill would end it.
    Cut,
    // YNB_TEST_RECOVER_ONLY (app/Recovery.h): any value, and setup.exe ends
    // (exit code 98) right after it has recovered an unfinished run.
    RecoverOnly,
};

// The value the tests gave the seam; always empty in the shipped programs.
std::wstring SeamValue(TestSeam seam);

} // namespace sys
