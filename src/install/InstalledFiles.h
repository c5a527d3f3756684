// The installed files an upgrade or a repair would write over, read as they
// are now: their size, attributes and time, and, where the size is the new
// version's, the SHA-256 of their bytes, hashed on every processor (Win32).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "install/InPlace.h"

namespace install {

// One result per path. `hash` says which to hash (the others are only
// looked at); `firstBytes` which to read the first bytes of (a program's
// "MZ"). While it waits on the calling thread, `pump` handles the messages
// that arrive and `progress` is told the bytes hashed so far. `opened`, if
// given, is called (on any thread) with each file's handle, open for reading
// (its access list too), before it is read: a file that cannot be opened is
// not passed.
std::vector<InstalledFile> ReadInstalledFiles(const std::vector<std::string>& paths,
    const std::function<bool(std::size_t index, const InstalledFile& facts)>& hash,
    const std::function<void()>& pump, const std::function<void(uint64_t hashed)>& progress,
    const std::function<void(std::size_t index, HANDLE file)>& opened = {});

} // namespace install
