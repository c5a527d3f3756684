#include "install/InPlace.h"

#include <cstring>

namespace install {

namespace {

constexpr uint32_t kKeptAttributes = 0x1 | 0x2 | 0x4; // read-only, hidden, system

} // namespace

bool WorthHashing(const PayloadFile& payload, const InstalledFile& installed)
{
    return installed.exists && installed.size == payload.digest.size;
}

InPlace JudgeInPlace(const PayloadFile& payload, const InstalledFile& installed, bool repair)
{
    if (!installed.exists)
        return InPlace::Write;
    const bool sameBytes = installed.hashed && installed.size == payload.digest.size
        && std::memcmp(installed.sha256, payload.digest.sha256, kSha256Size) == 0;
    if (sameBytes && (installed.attributes & kKeptAttributes) == (payload.attributes & kKeptAttributes))
        return InPlace::Same;
    if (repair && !sameBytes && installed.read && !installed.program && installed.lastWrite != payload.lastWrite)
        return InPlace::KeptChanged;
    return InPlace::Write;
}

} // namespace install
