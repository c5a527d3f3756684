// The payload stamp: the SHA-256 of data00.dat written into the reserved area
// of setup.exe (src/package/PayloadStamp.h), which setup.exe checks the
// payload beside it against. Stamp first, then sign: the stamp changes the
// program's bytes, so a signed program is refused.
#pragma once

#include <string>
#include <vector>

#include "Errors.h"
#include "Files.h"
#include "PeImage.h"

namespace ynbpack {

// Writes the SHA-256 of payload's bytes after the program's stamp marker,
// replacing any earlier digest, and sets its checksum true. Throws
// UsageError when the program carries an Authenticode signature or holds the
// marker not exactly once.
void StampProgram(PeImage& program, const unsigned char* payload, std::size_t size);

// Reads the program setupIn, stamps it with payload and writes the result
// to setupOut, which may be setupIn (it is replaced whole, through a new file
// beside it). setupOut stays as it was when anything fails.
void StampSetupProgram(const std::string& setupIn, const std::string& setupOut, const Bytes& payload);

// Writes data to path through a new file beside it, with the mode of modeOf
// (or a new file's), and renames it into place.
void WriteReplacing(const std::string& path, const Bytes& data, const std::string& modeOf);

} // namespace ynbpack
