#include "package/PayloadBlocks.h"

#include "package/ClsSecurity.h"

void ScramblePayloadBlocks(unsigned char* data, std::size_t length, int32_t key)
{
    const std::size_t blocks = length / kPayloadBlockSize;
    for (std::size_t k = 0; k < blocks; ++k)
        (void)ClsSecurity::Scramble(data + k * kPayloadBlockSize, kPayloadBlockSize, key);
}

void UnscramblePayloadBlocks(unsigned char* data, std::size_t length, int32_t key)
{
    const std::size_t blocks = length / kPayloadBlockSize;
    for (std::size_t k = 0; k < blocks; ++k)
        (void)ClsSecurity::Unscramble(data + k * kPayloadBlockSize, kPayloadBlockSize, key);
}
