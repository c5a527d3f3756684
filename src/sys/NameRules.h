// The names Windows would alter or refuse: reserved characters, device names,
// trailing dots and blanks, and what would leave the folder a name is taken
// in. The cabinet extractor checks every name of the payload with them before
// anything is written, the uninstaller every component of a log line before
// anything is deleted, and ynbpack every name it stores. Portable: no Win32.
#pragma once

#include <cstddef>

// Tells whether a byte starts a double-byte character of the code page the
// name will be interpreted in; nullptr means every byte is a character of its
// own (so every 0x5C is a separator, the strictest reading).
using LeadByteTest = bool (*)(unsigned char byte);

// The lead bytes of Shift-JIS (code page 932): 0x81-0x9F and 0xE0-0xFC.
bool IsShiftJisLeadByte(unsigned char byte);

enum class NameFault {
    None,
    Empty, // no name at all
    Rooted, // starts with a backslash or slash (also UNC and \\?\)
    Colon, // a drive, or an alternate data stream
    ParentFolder, // a ".." component
    EmptyComponent, // two separators in a row, or a trailing separator
    ControlByte, // a byte below 0x20
    ReservedCharacter, // one of < > " | ? *
    DeviceName, // CON, NUL, COM1 ... also with an extension
    TrailingDotOrSpace, // a component ending in a dot or space (also ".")
    BrokenCharacter, // a lead byte without its trail byte
};

// The first fault of the name of length bytes, interpreted with isLead.
NameFault CheckName(const char* name, std::size_t length, LeadByteTest isLead);
// A short English description of the fault, for reports.
const char* NameFaultText(NameFault fault);
