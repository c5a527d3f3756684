#include "install/InstallLog.h"

#include <cstring>

namespace install {

bool InstallLog::Append(std::size_t reserve, const char* a, const char* b, const char* c, const char* d)
{
    const char* parts[] = { a, b, c, d };
    std::size_t lengths[4];
    std::size_t total = 0;
    for (int i = 0; i < 4; ++i) {
        lengths[i] = std::strlen(parts[i]);
        total += lengths[i];
    }
    // length_ + total bytes and the terminator, with `reserve` bytes left over.
    if (total + reserve >= kInstallLogCapacity - length_) {
        ++leftOut_;
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        std::memcpy(text_ + length_, parts[i], lengths[i]);
        length_ += lengths[i];
    }
    text_[length_] = '\0';
    return true;
}

bool InstallLog::Start(const char* firstComponent)
{
    length_ = 0;
    text_[0] = '\0';
    leftOut_ = 0;
    return Append(kLastLineReserve, firstComponent, "\\\r\n");
}

bool InstallLog::AddEntry(const char* targetPath, bool folder)
{
    return Append(kLastLineReserve, targetPath, folder ? "\\\r\n" : "\r\n");
}

bool InstallLog::AddShortcut(const char* linkFolder, const char* productName)
{
    return Append(kLastLineReserve, linkFolder, "\\", productName, ".lnk\r\n");
}

bool InstallLog::Finish(const char* installFolder)
{
    return Append(0, installFolder, "\\\r\n");
}

} // namespace install
