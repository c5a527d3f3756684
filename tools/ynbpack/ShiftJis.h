// Shift-JIS as Windows has it (code page 932), the setup program's texts and
// file names: one built-in table, so that every host converts alike.
// Portable.
#pragma once

#include <cstdint>
#include <string>

namespace ynbpack {

constexpr std::size_t kShiftJisLeads = 60; // 0x81-0x9F, 0xE0-0xFC
constexpr std::size_t kShiftJisTrails = 0xFD - 0x40; // 0x40-0xFC
// By lead and trail byte: the UTF-16 unit, or 0 (tools/tables/cp932.py).
extern const uint16_t kShiftJisDoubleByte[kShiftJisLeads * kShiftJisTrails];

// The code point of a single byte or of a lead and trail byte; 0 when
// undefined (NUL itself is 0x00 alone).
char32_t ShiftJisDecode(unsigned char lead, unsigned char trail);
bool ShiftJisIsLead(unsigned char byte);
// The bytes of a code point (one or two; 0 when it has none). Where several
// codes decode to it, the one Windows writes: JIS X 0208 before NEC's row
// 13, that before the IBM extensions, those before NEC's selection of them.
uint16_t ShiftJisEncode(char32_t c);

// False when the text has no form in the other (an undefined code, a lead
// byte without its trail, a character beyond code page 932, bad UTF-8).
bool Utf8ToShiftJis(const std::string& utf8, std::string& shiftJis);
bool ShiftJisToUtf8(const std::string& shiftJis, std::string& utf8);

} // namespace ynbpack
