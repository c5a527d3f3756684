#include "package/PayloadStamp.h"

// Random bytes, with none of NUL, CR, LF, so that the marker cannot occur by
// chance in a program nor be cut by line-based tools.
extern const volatile unsigned char kPayloadStampArea[kPayloadStampSize] = {
    0x80, 0x5e, 0x36, 0xf6, 0x62, 0xb8, 0xba, 0xd2, 0x0f, 0x58, 0xaa, 0x7a, //
    0x25, 0x21, 0x9c, 0x50, 0x11, 0x41, 0xde, 0x8a, 0x63, 0x81, 0x20, 0x64, //
    // The digest, written by ynbpack.
};

bool PayloadStampDigest(unsigned char digest[kPayloadStampDigestSize])
{
    unsigned char any = 0;
    for (std::size_t i = 0; i < kPayloadStampDigestSize; ++i) {
        digest[i] = kPayloadStampArea[kPayloadStampMarkerSize + i];
        any |= digest[i];
    }
    return any != 0;
}
