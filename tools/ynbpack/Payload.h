// The payload side of ynbpack, reusable by other commands: a Microsoft
// Cabinet of a folder tree and the scrambled payload made from a cabinet's
// bytes.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "CabinetWriter.h"
#include "Errors.h"
#include "Files.h"

namespace ynbpack {

// One file of a cabinet: its path relative to the cabinet's root (UTF-8,
// slashes), and where its bytes come from: a file of the host, whose time
// and read-only attribute it keeps, or bytes the build made, with the time
// and attribute given.
struct CabinetSource {
    std::string relative;
    std::filesystem::path path; // the host's file, or empty
    Bytes content; // the build's bytes when path is empty
    std::time_t modified = 0;
    bool readOnly = false;
};
// The files of a cabinet by their relative path (as the host compares
// names): a later tree's file replaces an earlier one of the same path.
using CabinetFiles = std::map<std::string, CabinetSource>;

// Adds every regular file under folder to files. Throws UsageError on a
// symbolic link or special file, FileError when the folder cannot be read.
void CollectFiles(const std::filesystem::path& folder, CabinetFiles& files);

// The cabinet of the files, sorted by their stored names (the relative paths
// with backslashes, UTF-8 names in Shift-JIS),
// compressed into folders of at most folderSize uncompressed bytes
// (CabinetWriter), with its modification time (local time) and attributes
// (read-only from the mode, archive always). Throws UsageError on anything it
// cannot store faithfully: a name the setup program would refuse, two files
// with one stored name or a file where another file's folder is, a file of 2
// GiB or more, no file at all, a cabinet of 2 GiB or more.
Bytes BuildCabinetBytes(const CabinetFiles& files, uint32_t folderSize, CabinetCompression compression);
// The payload's list of its files' digests (package/PayloadDigests.h): every
// file's SHA-256 and size by its stored name, read where it lies.
Bytes DigestsOf(const CabinetFiles& files);

// The cabinet of every regular file under folder, written to cabinetPath.
void BuildCabinet(
    const std::string& folder, const std::string& cabinetPath, uint32_t folderSize, CabinetCompression compression);

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
