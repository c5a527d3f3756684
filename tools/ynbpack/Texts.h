// The texts of a product folder: its "name=value" files, and the conversion
// between UTF-8 and Shift-JIS (code page 932), the setup program's texts.
#pragma once

#include <string>
#include <vector>

#include "Files.h"

namespace ynbpack {

// One "name=value" line of a product file, both sides without surrounding
// blanks; fault tells why a line is none.
struct NamedValue {
    int line = 0;
    std::string name;
    std::string value;
    std::string fault;
};
// The lines of text, in order, after a UTF-8 byte order mark. Blank lines and
// lines whose first non-blank character is '#' are passed over; with
// hashComments, everything from any '#' on is too. A line without '=' or
// without a name has a fault.
std::vector<NamedValue> ReadNamedValues(const Bytes& text, bool hashComments);

// False when the text has no form in the other.
bool Utf8ToShiftJis(const std::string& utf8, std::string& shiftJis);
bool ShiftJisToUtf8(const std::string& shiftJis, std::string& utf8);

} // namespace ynbpack
