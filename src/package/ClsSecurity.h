// The keyed byte-scrambling codec shared by the configuration text, the
// payload, the manifest and the install log. Portable: no Win32.
#pragma once

#include <cstdint>

class ClsSecurity {
public:
    // Both work in place and never change the length. The result is true when
    // byte 0 differs afterwards; a null buffer or a length below 1 gives false
    // and touches nothing. Every key, 0 to 7 included, is handled alike, so
    // Unscramble always inverts Scramble under the same key.
    static bool Scramble(void* buffer, int32_t length, int32_t key);
    static bool Unscramble(void* buffer, int32_t length, int32_t key);
};
