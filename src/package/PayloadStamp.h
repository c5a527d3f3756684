// The payload stamp: a reserved area of setup.exe into which ynbpack writes
// the SHA-256 of data00.dat after making it, before the program is signed
// (ynbpack stamp, ynbpack build --setup). The area is a marker that occurs
// nowhere else in the program, then the digest, all zeros while the program is
// unstamped. Portable: no Win32.
#pragma once

#include <cstddef>

constexpr std::size_t kPayloadStampMarkerSize = 24;
constexpr std::size_t kPayloadStampDigestSize = 32;
constexpr std::size_t kPayloadStampSize = kPayloadStampMarkerSize + kPayloadStampDigestSize;

// Volatile, so that the compiler keeps every byte as written in the file and
// reads the digest at run time instead of folding in the zeros it was built
// with. Read it only through volatile accesses; never copy the marker into a
// constant of the program, or the marker would occur twice.
extern const volatile unsigned char kPayloadStampArea[kPayloadStampSize];

// Copies the stamped digest into digest. False, with digest all zeros, while
// the program is unstamped (the tests' own builds).
bool PayloadStampDigest(unsigned char digest[kPayloadStampDigestSize]);
