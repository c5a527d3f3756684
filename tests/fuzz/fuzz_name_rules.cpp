// Any bytes as a cabinet file name: the check never reads past the name, and a
// name it accepts never leaves the destination folder under either reading
// (code page 932 or strictly byte-wise) of its separators.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "sys/NameRules.h"

namespace {

// Walks the accepted name as a path below a root and traps if it would rise
// above it, start at a root, name a drive or hold an empty component.
void CheckAccepted(const unsigned char* name, size_t size, LeadByteTest lead)
{
    if (size == 0 || name[0] == '\\' || name[0] == '/')
        __builtin_trap();
    size_t start = 0;
    for (size_t i = 0; i <= size; ++i) {
        if (i < size && lead != nullptr && lead(name[i])) {
            ++i;
            continue;
        }
        if (i < size && name[i] == ':')
            __builtin_trap();
        if (i == size || name[i] == '\\' || name[i] == '/') {
            const size_t length = i - start;
            if (length == 0 || (length == 2 && name[start] == '.' && name[start + 1] == '.'))
                __builtin_trap();
            start = i + 1;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exact-size copy, so that AddressSanitizer sees any read past the name.
    std::vector<unsigned char> name(data, data + size);
    const char* text = size ? reinterpret_cast<const char*>(name.data()) : "";
    if (CheckName(text, size, nullptr) == NameFault::None)
        CheckAccepted(name.data(), size, nullptr);
    if (CheckName(text, size, IsShiftJisLeadByte) == NameFault::None)
        CheckAccepted(name.data(), size, IsShiftJisLeadByte);
    (void)NameFaultText(CheckName(text, size, IsShiftJisLeadByte));
    return 0;
}
