// The payload as the extraction reads it: the file opened where it lies, its
// SHA-256 checked against the program's stamp, and the cabinet seen through
// it with every full 64 KiB block unscrambled as it is read.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "package/CabinetTable.h"
#include "sys/Handle.h"

namespace package {

class PayloadFile {
public:
    // Without write or delete sharing: nobody changes it while it is read.
    // false with the reason (and the Win32 error) in detail. A single-file
    // setup opens its own file instead, seen from its payload's first byte
    // to its last (package/EmbeddedParts.h).
    bool Open(const char* path, std::string& detail, DWORD& error);
    uint64_t Size() const { return size_; }
    // count bytes at offset, from any thread (each read carries its own
    // position); the number read, or -1 with the Win32 error left set.
    long ReadAt(uint64_t offset, void* buffer, DWORD count) const;

private:
    sys::UniqueFile file_;
    uint64_t offset_ = 0; // of the payload's first byte in the file
    uint64_t size_ = 0;
};

// Whether the payload's SHA-256 is the expected one, read through in large
// pieces while the file stays open; false with the reason in detail (and
// error, for a read that failed).
bool DigestMatches(
    const PayloadFile& file, const std::vector<unsigned char>& expected, std::string& detail, DWORD& error);

// The cabinet as one reader (one thread) sees it: every full 64 KiB block of
// the payload unscrambled as it is read, the last one kept for the reads that
// follow.
class CabinetReader {
public:
    CabinetReader(const PayloadFile& file, int32_t key);
    bool Usable() const { return block_ != nullptr; } // false: no memory for its block
    uint64_t FileSize() const { return file_.Size(); }
    // count bytes at position into out; the number read (fewer at the end of
    // the file), or -1 when a read fails, with the Win32 error left set.
    long Read(uint64_t position, unsigned char* out, std::size_t count);

private:
    bool Load(uint64_t block);

    const PayloadFile& file_;
    const int32_t key_;
    std::unique_ptr<unsigned char[]> block_;
    uint64_t cached_ = UINT64_MAX;
    DWORD length_ = 0;
};

// The cabinet's table, read in as many rounds as it needs; false with the
// table's problem, or with readFailed set (and the Win32 error left set)
// when a read of the payload failed.
bool ReadPayloadTable(CabinetReader& reader, CabinetTable& table, CabinetTableProblem& problem, bool& readFailed);

} // namespace package
