// Security descriptors of any bytes: never a crash or a read past the input
// (the sanitizers watch), and the two judgements agree: what does not parse or
// has no DACL is never protected and always to be protected, and a protected
// descriptor gives ordinary users nothing to change.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sys/SecurityRules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const bool isFolder = data[0] & 1;
    const sys::ByteSpan descriptor(data + 1, size - 1);
    static const std::vector<sys::SidBytes> trusted = sys::TrustedSids(sys::MakeSid(5, { 21, 1, 2, 3, 1001 }));

    const sys::Protection protection = sys::JudgeProtection(descriptor, trusted, isFolder);
    const bool ordinaryMayWrite = sys::GrantsOrdinaryUsersWrite(descriptor, isFolder);
    if ((protection == sys::Protection::Malformed || protection == sys::Protection::NoDacl) && !ordinaryMayWrite)
        __builtin_trap();
    if (protection == sys::Protection::Protected && ordinaryMayWrite)
        __builtin_trap();
    if (protection == sys::Protection::Unreadable || protection == sys::Protection::Link)
        __builtin_trap();
    (void)sys::SidText(descriptor);
    return 0;
}
