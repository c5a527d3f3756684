// The codec round trip on any bytes and key: Unscramble inverts Scramble and
// nothing outside the buffer is touched.
#include <cstdint>
#include <cstring>
#include <vector>

#include "package/ClsSecurity.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    int32_t key;
    std::memcpy(&key, data, 4);
    data += 4;
    size -= 4;
    std::vector<unsigned char> plain(data, data + size);
    unsigned char* buffer = new unsigned char[size ? size : 1];
    std::memcpy(buffer, data, size);
    ClsSecurity::Scramble(buffer, static_cast<int32_t>(size), key);
    ClsSecurity::Unscramble(buffer, static_cast<int32_t>(size), key);
    if (size && std::memcmp(buffer, plain.data(), size) != 0)
        __builtin_trap();
    delete[] buffer;
    return 0;
}
