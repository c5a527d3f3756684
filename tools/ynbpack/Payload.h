// The payload side of ynbpack, reusable by other commands: a Microsoft
// Cabinet of a folder tree (through libgcab) and the scrambled payload made
// from a cabinet's bytes.
#pragma once

#include <string>

#include "Common.h"

namespace ynbpack {

// Every regular file under folder, sorted by its stored name (the path
// relative to folder with backslashes), MSZIP-compressed, with its
// modification time (local time) and attributes (read-only from the mode,
// archive always). Throws UsageError on anything it cannot store faithfully:
// a symbolic link or special file, a name the setup program would refuse, a
// file of 2 GiB or more.
void BuildCabinet(const std::string& folder, const std::string& cabinetPath);
// The same cabinet as bytes.
Bytes BuildCabinetBytes(const std::string& folder);

// True when data starts with the cabinet signature "MSCF".
bool LooksLikeCabinet(const Bytes& data);
// Scrambles every full 65,536-byte block of the cabinet on its own and keeps
// the tail plain; throws on 2 GiB or more, which the program cannot read.
Bytes MakePayload(Bytes cabinet, int32_t key);
// The inverse.
Bytes RestorePayload(Bytes payload, int32_t key);

} // namespace ynbpack
