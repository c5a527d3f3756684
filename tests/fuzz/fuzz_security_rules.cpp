// Security descriptors of any bytes: never a crash or a read past the input
// (the sanitizers watch), and the judgements agree: what does not parse or
// has no DACL is never protected nor a safe folder above; what is protected
// for the machine is protected for the user too, and for the machine an
// administrator's account trusts at least what a standard one does; a folder
// protected for the machine keeps what it holds as a folder above.
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
    static const sys::Account administrator { sys::MakeSid(5, { 21, 1, 2, 3, 1001 }), true };
    static const sys::Account standard { administrator.sid, false };
    using sys::Protection;
    using sys::TrustScope;

    const Protection machine = sys::JudgeProtection(descriptor, TrustScope::Machine, administrator, isFolder);
    const Protection strict = sys::JudgeProtection(descriptor, TrustScope::Machine, standard, isFolder);
    const Protection user = sys::JudgeProtection(descriptor, TrustScope::User, standard, isFolder);
    const Protection above = sys::JudgeAncestor(descriptor, TrustScope::Machine, administrator);
    if ((machine == Protection::Malformed || machine == Protection::NoDacl) && above == Protection::Protected)
        __builtin_trap();
    if (strict == Protection::Protected && (machine != Protection::Protected || user != Protection::Protected))
        __builtin_trap();
    if (isFolder && machine == Protection::Protected && above != Protection::Protected)
        __builtin_trap();
    for (Protection p : { machine, strict, user, above })
        if (p == Protection::Unreadable || p == Protection::Link)
            __builtin_trap();
    (void)sys::RemovalPlaceIsSafe(descriptor, descriptor, administrator);
    (void)sys::SidText(descriptor);
    return 0;
}
