// The payload format: every full 65,536-byte block of the cabinet is a codec
// buffer of its own (its middle byte at block offset 32768); a trailing
// partial block is stored plain. Portable: no Win32.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int32_t kPayloadBlockSize = 65536;

// Both work in place over the whole data and never touch the tail.
void ScramblePayloadBlocks(unsigned char* data, std::size_t length, int32_t key);
void UnscramblePayloadBlocks(unsigned char* data, std::size_t length, int32_t key);
