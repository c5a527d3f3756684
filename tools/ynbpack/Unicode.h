// UTF-8 and UTF-16, the host's texts and Windows' own. Portable.
#pragma once

#include <string>

namespace ynbpack {

// False when utf8 is not well-formed UTF-8 (overlong forms, surrogates and
// code points past U+10FFFF included).
bool IsUtf8(const std::string& utf8);
// The code points of well-formed UTF-8; false otherwise.
bool Utf8ToCodePoints(const std::string& utf8, std::u32string& out);
bool Utf8ToUtf16(const std::string& utf8, std::u16string& out);
// False on an unpaired surrogate.
bool Utf16ToUtf8(const std::u16string& utf16, std::string& out);
void AppendUtf8(char32_t c, std::string& out);

} // namespace ynbpack
