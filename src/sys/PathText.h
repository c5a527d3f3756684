// Path texts in the ANSI code page, aware of double-byte characters: in code
// page 932 the second byte of a character may be 0x5C, which is no separator.
#pragma once

#include <cstddef>

#include "sys/Names.h"

namespace sys {

// Byte offset of the last backslash that is a separator, or -1.
std::ptrdiff_t LastSeparator(const char* path);

// folder, with one trailing separator dropped, then "\" and name, into out
// (kPathSize bytes). false, with out empty, when the result does not fit.
bool JoinPath(char* out, const char* folder, const char* name);

// true when inner names the folder outer itself or a path below it; both are
// made full paths and compared as Windows compares names (sys/CaseFold.h),
// component by component.
// Also true when either full path cannot be made: in doubt, refuse.
bool LiesWithin(const char* inner, const char* outer);

} // namespace sys
