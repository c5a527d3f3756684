// What ynbpack needs of the system it runs on, the same on Linux and on
// Windows: paths (UTF-8 in ynbpack, the system's own form outside), its own
// file, a scratch folder, file times, commands, the terminal.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>

namespace ynbpack {

// A path from UTF-8 text, and the UTF-8 text of a path.
std::filesystem::path PathOf(const std::string& utf8);
std::string Utf8Of(const std::filesystem::path& path);

// The full path of the running ynbpack.
std::string ExecutablePath();

// A new empty folder in the system's temporary folder, removed with
// everything in it when the object goes.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

struct FileFacts {
    uint64_t size = 0;
    std::time_t modified = 0; // seconds since 1970, UTC
    bool readOnly = false;
};
// Throws FileError when the file cannot be looked at.
FileFacts FactsOf(const std::filesystem::path& path);

// The local date and time of a moment, by the rules of the system's time
// zone for that date; false when the system cannot tell.
bool LocalTime(std::time_t when, std::tm& local);

// Runs a command line through the system's shell (sh -c, cmd /c) and returns
// its exit status, or -1 when it could not be run.
int RunShellCommand(const std::string& command);

// Standard error is a terminal (a console).
bool ErrorIsTerminal();

} // namespace ynbpack
