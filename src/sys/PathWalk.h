// Paths in an ANSI code page, walked one character at a time: a byte that
// leads a double-byte character (isLead) and the byte after it are one
// character, so a trail byte 0x5C is never a separator. The one walk of the
// program's paths, and its one rule of when two of them are the same path:
// the rule of Windows' file systems (sys/CaseFold.h). Portable: no Win32.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "sys/CaseFold.h"
#include "sys/NameRules.h"

namespace sys {

enum class Slashes : bool { Separate = true, AreNames = false };

// How the paths of a code page are read: the bytes that lead a double-byte
// character, and their text in UTF-16, by which names are compared
// (sys/CaseFold.h). Without a conversion only ASCII letters fold and every
// other character is compared exactly. Converts to and from a LeadByteTest.
struct CodePage {
    using ToUtf16 = std::u16string (*)(std::string_view text);
    constexpr CodePage(LeadByteTest lead = nullptr, ToUtf16 widen = nullptr)
        : isLead(lead)
        , toUtf16(widen)
    {
    }
    constexpr operator LeadByteTest() const { return isLead; }
    LeadByteTest isLead;
    ToUtf16 toUtf16;
};

// An ASCII letter in upper case; any other byte as it is.
char AsciiUpper(char c);

// True when byte leads a double-byte character; never with no test.
bool LeadsCharacter(LeadByteTest isLead, char byte);

// Bytes of the character at text[at]: 2 for a lead byte that has a byte
// after it, else 1.
std::size_t CharacterSize(std::string_view text, std::size_t at, LeadByteTest isLead);

// Offset of the last backslash (or slash, when they separate) that is no
// trail byte, or -1.
std::ptrdiff_t LastSeparatorIn(std::string_view path, LeadByteTest isLead, Slashes slashes = Slashes::AreNames);

// The parts between the separators, empty ones included ("a\\b" gives "a",
// "", "b").
std::vector<std::string_view> SplitAtSeparators(std::string_view path, LeadByteTest isLead, Slashes slashes);

// The folders a path passes through, from the first below its root (the
// drive "C:\", the share "\\server\share\", or "\") down to the path itself,
// each as a prefix of it: "C:\A\B" gives "C:\A" and "C:\A\B". A trailing
// separator is no folder of its own; a root alone gives nothing.
std::vector<std::string> FoldersBelowRoot(std::string_view path, LeadByteTest isLead);

// The first n bytes of a and of b (n ends a character) are the same path.
bool SamePathPrefix(std::string_view a, std::string_view b, std::size_t n, const CodePage& codePage);

// A key of the path: paths that are the same have the same key.
std::string PathKey(std::string_view path, const CodePage& codePage);

} // namespace sys
