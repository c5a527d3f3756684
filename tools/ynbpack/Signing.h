// The maker's signing command, run by build on each program it makes, at the
// one moment a signature can stay true: uninstall.exe once its product data
// is in and before it goes into the payload, setup.exe once it is stamped
// (and holds its parts). osslsigncode on Linux, signtool on Windows, or any
// command that signs a program.
#pragma once

#include <string>

#include "Files.h"

namespace ynbpack {

// Runs command through the system's shell with {in} replaced by the quoted
// path of a copy of program (named name) and {out}, when the command has it,
// by the quoted path it is to write the signed program to (otherwise it
// signs {in} in place). Returns the signed program. Throws UsageError when
// the command fails, leaves the program unsigned, or changes it beyond its
// signature (its checksum, its certificate table and the padding before it).
Bytes SignProgram(const std::string& command, const Bytes& program, const std::string& name);

// Throws unless command names {in}.
void CheckSigningCommand(const std::string& command);

} // namespace ynbpack
