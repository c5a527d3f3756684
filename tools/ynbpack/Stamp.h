// The payload stamp: the SHA-256 of data00.dat written into the reserved area
// of setup.exe (src/package/PayloadStamp.h), which setup.exe checks the
// payload beside it against. Stamp first, then sign: the stamp changes the
// program's bytes, so a signed program is refused.
#pragma once

#include <string>
#include <vector>

#include "Errors.h"
#include "Files.h"

namespace ynbpack {

// Reads the program setupIn, writes the SHA-256 of payload after its stamp
// marker, replacing any earlier digest, and writes the result to setupOut,
// which may be setupIn (it is replaced whole, through a new file beside it).
// Throws UsageError, leaving setupOut as it was, when setupIn is no PE
// program, carries an Authenticode signature, or holds the marker not exactly
// once.
void StampSetupProgram(const std::string& setupIn, const std::string& setupOut, const Bytes& payload);

} // namespace ynbpack
