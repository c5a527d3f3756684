// Paths in an ANSI code page, walked one character at a time: a byte that
// leads a double-byte character (isLead) and the byte after it are one
// character, so a trail byte 0x5C is never a separator. The one walk of the
// program's paths, and its one rule of when two of them are the same path
// (ASCII letters without regard to case, every other character exactly; see
// sys/CaseFold.h for names known in UTF-16). Portable: no Win32.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "sys/NameRules.h"

namespace sys {

enum class Slashes : bool { Separate = true, AreNames = false };

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

// The first n bytes of a and of b are the same path text.
bool SamePathPrefix(std::string_view a, std::string_view b, std::size_t n, LeadByteTest isLead);

// The path in the form by which paths that are the same compare equal.
std::string PathKey(std::string_view path, LeadByteTest isLead);

} // namespace sys
