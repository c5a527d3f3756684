// Reads the payload stamp of its own file as setup.exe does and prints
// "stamped HEX" or "unstamped HEX" (the digest it got back); exit status 0
// either way. Linked like setup.exe (unused sections dropped, stripped), so
// that its file shows what the tool finds in the program.
#include <cstdio>

#include "package/PayloadStamp.h"

int main()
{
    unsigned char digest[kPayloadStampDigestSize];
    const bool stamped = PayloadStampDigest(digest);
    std::printf("%s ", stamped ? "stamped" : "unstamped");
    for (unsigned char b : digest)
        std::printf("%02x", b);
    std::printf("\n");
    return 0;
}
