// The programs that hold files open, as Windows' Restart Manager
// (rstrtmgr.dll, loaded by its full path at run time) names them, asked to
// close and started again. Without the library, or where it fails, it names
// nobody and closes nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sys/Handle.h"

namespace sys {

// The existing files among `paths` (ANSI) that a program holds: those that
// cannot be opened for writing and deletion while others read, write and
// delete them (install::JudgeProbe): a file opened without sharing, a
// running program's image, a loaded module.
std::vector<std::string> HeldFiles(const std::vector<std::string>& paths);

class RestartManager {
public:
    RestartManager() = default;
    ~RestartManager(); // ends the session
    RestartManager(const RestartManager&) = delete;
    RestartManager& operator=(const RestartManager&) = delete;

    // Registers the files (ANSI paths) with the session: every existing file
    // the run will replace or remove, once. false when there is no session.
    bool Register(const std::vector<std::string>& files);
    // The programs holding any registered file, as the library names them
    // now; with `ours` (this process, the one that started it) left out.
    std::vector<std::wstring> Holders(const std::vector<uint32_t>& ours);
    // Asks the programs to close (they may refuse): true when the library
    // says they did.
    bool Shutdown();
    // Starts again what Shutdown closed, where the programs allow it.
    void Restart();

private:
    bool Begin();

    UniqueModule library_;
    bool started_ = false;
    bool registered_ = false;
    bool shutDown_ = false;
    uint32_t session_ = 0;
};

} // namespace sys
