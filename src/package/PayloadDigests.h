// The payload's own list of its files' digests, "ynb_sums.dat" beside the
// manifest in the staging folder: what ynbpack records of every other file of
// the payload, so that an upgrade or a repair can tell the files that are
// already in place from those it must write. Portable: no Win32.
//
//   one line per file:  SHA-256 (64 lower-case hex digits) TAB size TAB name CR LF
//
// The name is the file's name in the cabinet (its system code page, with
// backslashes); the list holds no line for itself. Untrusted input: a list
// that is not exactly this is refused whole, and the setup then writes every
// file as it would without one.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "package/Sha256.h"

namespace package {

inline constexpr char kDigestsName[] = "ynb_sums.dat";

struct FileDigest {
    unsigned char sha256[kSha256Size] = {};
    uint64_t size = 0;
    bool operator==(const FileDigest&) const = default;
};

// By the file's name as the cabinet has it (bytes compared exactly).
using PayloadDigests = std::map<std::string, FileDigest>;

// The list's text; empty for an empty payload.
std::string WriteDigests(const PayloadDigests& digests);

// False, with digests empty, when the text is not such a list (a line
// malformed, a name twice, more than `maxLines` lines).
bool ReadDigests(std::string_view text, PayloadDigests& digests, std::size_t maxLines = 1u << 20);

} // namespace package
