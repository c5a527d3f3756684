// The install log on any sequence of lines: never beyond its buffer, lines
// kept whole, and the last line always present.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "install/InstallLog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace install;
    auto log = std::make_unique<InstallLog>();
    // Each input byte picks a line kind and a length; the lines are long, so
    // that a few hundred bytes of input reach the end of the buffer.
    log->Start(std::string(size ? data[0] : 0, 'c').c_str());
    std::size_t expected = log->Length();
    for (size_t i = 1; i < size; ++i) {
        const std::string text(static_cast<size_t>(data[i]) * 2 + 1, 'p');
        const std::size_t before = log->Length();
        bool added;
        switch (data[i] & 3) {
        case 0:
        case 1:
            added = log->AddEntry(text.c_str(), data[i] & 1);
            break;
        default:
            added = log->AddShortcut(text.c_str(), "Name");
            break;
        }
        if (added)
            expected = log->Length();
        else if (static_cast<std::size_t>(log->Length()) != before)
            __builtin_trap();
    }
    const std::string last(size ? data[size - 1] : 0, 'i');
    if (!log->Finish(last.c_str()))
        __builtin_trap();
    if (static_cast<std::size_t>(log->Length()) != expected + last.size() + 3
        || static_cast<std::size_t>(log->Length()) >= kInstallLogCapacity
        || std::strlen(log->Text()) != static_cast<std::size_t>(log->Length()))
        __builtin_trap();
    return 0;
}
