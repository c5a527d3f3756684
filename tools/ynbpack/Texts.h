// The texts of a product folder: its "name=value" files; with ShiftJis.h,
// the conversion between UTF-8 and the setup program's Shift-JIS.
#pragma once

#include <string>
#include <vector>

#include "Files.h"
#include "ShiftJis.h"

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

} // namespace ynbpack
