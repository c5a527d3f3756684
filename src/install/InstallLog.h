// The install log "instdir.dat": what the installation placed, one path a line,
// a line ending in a backslash naming a folder. Portable: no Win32.
//
//   first component "\" CR LF
//   per manifest entry: target path ("\" for a folder) CR LF
//   per shortcut: link folder "\" product name ".lnk" CR LF
//   install folder "\" CR LF
#pragma once

#include <cstddef>
#include <cstdint>

namespace install {

constexpr std::size_t kInstallLogCapacity = 66560; // terminator included

class InstallLog {
public:
    // Room kept for the last line, so that the log always ends with the
    // install folder (a path below 260 bytes, a backslash, CR, LF).
    static constexpr std::size_t kLastLineReserve = 260 + 3;

    // Empties the text and puts the first line.
    bool Start(const char* firstComponent);
    // The target path of a manifest entry, whatever became of its copy.
    bool AddEntry(const char* targetPath, bool folder);
    bool AddShortcut(const char* linkFolder, const char* productName);
    bool Finish(const char* installFolder);

    // A line that would not fit is left out whole, never cut; its result is
    // false, Complete() turns false and LeftOut() counts it.
    bool Complete() const { return leftOut_ == 0; }
    int LeftOut() const { return leftOut_; }
    const char* Text() const { return text_; }
    char* Data() { return text_; }
    int32_t Length() const { return static_cast<int32_t>(length_); }

private:
    bool Append(std::size_t reserve, const char* a, const char* b = "", const char* c = "", const char* d = "");

    char text_[kInstallLogCapacity] = {};
    std::size_t length_ = 0;
    int leftOut_ = 0;
};

} // namespace install
