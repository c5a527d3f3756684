// Which installed files programs hold, decided from what Windows answers:
// the error of a probe that opens a file for writing, and the programs
// Restart Manager names. Portable: no Win32; Windows' answers arrive as data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sys {

// What opening an existing target for writing (and deleting), with every
// kind of sharing allowed, answered: the Win32 error, 0 when it opened. A
// running program's image and a loaded module cannot be opened for writing
// (they can be renamed, even deleted on some systems: a probe for deletion
// alone misses them).
enum class Probe : uint8_t {
    Free, // opened
    Held, // a program holds it: sharing or lock violation
    Missing, // gone meanwhile
    Other, // anything else (access denied for a read-only file): the write finds out
};
Probe JudgeProbe(uint32_t error);

// A program that Restart Manager names for the registered files, as it
// names it.
struct Holder {
    uint32_t processId = 0;
    std::wstring name; // its display name, or its file's
};

// The programs a question about held files names: those Restart Manager
// names, but `ours` (this program and the one that started it, which run
// the uninstaller or hold the setup's own files), each name once, in the
// order given.
std::vector<std::wstring> ProgramsToName(const std::vector<Holder>& holders, const std::vector<uint32_t>& ours);

} // namespace sys
