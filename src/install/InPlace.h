// Which files of an upgrade or a repair are already in place: an installed
// file whose bytes (its SHA-256 and size, as the payload's list of digests
// gives them) and attributes are the new version's is neither set aside nor
// written again, and keeps its time. Portable: no Win32.
#pragma once

#include <cstdint>

#include "package/PayloadDigests.h"

namespace install {

// What the machine has at a target now.
struct InstalledFile {
    bool exists = false;
    uint64_t size = 0;
    uint32_t attributes = 0; // read-only, hidden and system count
    uint64_t lastWrite = 0; // FILETIME as one number
    bool hashed = false; // sha256 was read (only for a file of the right size)
    unsigned char sha256[kSha256Size] = {};
    bool read = false; // it could be opened for reading: program says what it is
    bool program = false; // a program or a library (it begins with "MZ")
};

// What the payload will write there.
struct PayloadFile {
    package::FileDigest digest;
    uint32_t attributes = 0;
    uint64_t lastWrite = 0; // the time the installation gives the file
};

enum class InPlace : uint8_t {
    Write, // missing, or differs: written (set aside first when it exists)
    Same, // already the new version's: left as it is
    KeptChanged, // a repair keeps a file the user changed since the installation wrote it
};

// repair: the installed version is set up again. A file that differs is
// kept then when its last write is not the one the installation gave it
// (the user saved it since) and it was read and is no program or library (a
// file no one can read might be one: it is written), as Windows
// Installer keeps an unversioned file a user changed; a program that differs
// is put back, and an upgrade replaces every file that differs.
InPlace JudgeInPlace(const PayloadFile& payload, const InstalledFile& installed, bool repair);

// Only a file whose size matches needs its bytes hashed (and a repair reads
// the first bytes of every other one, to know a program).
bool WorthHashing(const PayloadFile& payload, const InstalledFile& installed);

} // namespace install
