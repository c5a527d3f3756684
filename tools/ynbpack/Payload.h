// The payload side of ynbpack, reusable by other commands: a Microsoft
// Cabinet of a folder tree and the scrambled payload made from a cabinet's
// bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CabinetWriter.h"
#include "Errors.h"
#include "Files.h"

namespace ynbpack {

// Every regular file under folder, sorted by its stored name (the path
// relative to folder with backslashes, UTF-8 names in Shift-JIS),
// compressed into folders of at most folderSize uncompressed bytes
// (CabinetWriter), with its modification time (local time) and attributes
// (read-only from the mode, archive always). Throws UsageError on anything it
// cannot store faithfully: a symbolic link or special file, a name the setup
// program would refuse or two files with one stored name, a file of 2 GiB or
// more, no file at all, a cabinet of 2 GiB or more.
void BuildCabinet(
    const std::string& folder, const std::string& cabinetPath, uint32_t folderSize, CabinetCompression compression);
// The same cabinet as bytes.
Bytes BuildCabinetBytes(const std::string& folder, uint32_t folderSize, CabinetCompression compression);

// "--folder-size BYTES" (suffixes K and M for KiB and MiB) taken out of args;
// kDefaultFolderSize when it is absent.
uint32_t TakeFolderSizeOption(std::vector<std::string>& args);
// "--compression lzx[:15-21]|mszip|none" taken out of args; LZX with a
// window of 2 MiB when it is absent.
CabinetCompression TakeCompressionOption(std::vector<std::string>& args);

// True when data starts with the cabinet signature "MSCF".
bool LooksLikeCabinet(const Bytes& data);
// Scrambles every full 65,536-byte block of the cabinet on its own and keeps
// the tail plain; throws on 2 GiB or more, which the program cannot read.
Bytes MakePayload(Bytes cabinet, int32_t key);
// The inverse.
Bytes RestorePayload(Bytes payload, int32_t key);

} // namespace ynbpack
