// The configuration parser on any text: stays inside its buffer and fields.
#include <cstdint>
#include <cstring>

#include "config/SetupText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exactly sized heap buffer, so that AddressSanitizer sees any overrun.
    char* buffer = new char[kSetupBufferSize];
    std::memset(buffer, 0, kSetupBufferSize);
    std::memcpy(buffer, data, size < kSetupBufferSize ? size : kSetupBufferSize);
    SetupRecord record;
    ParseSetupText(buffer, record);
    if (record.ProductName[sys::kPathSize - 1] != '\0' || record.ProductFolder[sys::kPathSize - 1] != '\0'
        || record.ProgramPath[sys::kPathSize - 1] != '\0')
        __builtin_trap();
    delete[] buffer;
    return 0;
}
