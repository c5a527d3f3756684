// Names as Windows' file systems compare them: after the simple uppercase
// mapping of each UTF-16 code unit (full-width Latin, Greek and Cyrillic
// letters fold as ASCII ones do; nothing folds to several units). One table
// for every part that asks whether two names or paths are one. Portable.
#pragma once

#include <string>
#include <string_view>

namespace sys {

// The unit's uppercase, or the unit itself when it has none of one unit.
char16_t FoldCase(char16_t unit);

// Every unit folded: names that are one on Windows have the same key.
std::u16string FoldedName(std::u16string_view name);

// True when a and b name the same file on Windows: the same length, the
// same units after folding.
bool SameName(std::u16string_view a, std::u16string_view b);

} // namespace sys
