#include "sys/NameRules.h"

namespace {

bool IsSeparator(unsigned char c)
{
    return c == '\\' || c == '/';
}

unsigned char Upper(unsigned char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

bool EqualsUpper(const unsigned char* text, std::size_t length, const char* word)
{
    std::size_t i = 0;
    for (; i < length && word[i] != '\0'; ++i)
        if (Upper(text[i]) != static_cast<unsigned char>(word[i]))
            return false;
    return i == length && word[i] == '\0';
}

// Windows maps these names to devices in every folder, whatever follows the
// first dot and however many spaces precede it.
bool IsDeviceName(const unsigned char* component, std::size_t length)
{
    std::size_t base = 0;
    while (base < length && component[base] != '.')
        ++base;
    while (base > 0 && component[base - 1] == ' ')
        --base;
    static const char* const kDevices[] = { "CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$" };
    for (const char* device : kDevices)
        if (EqualsUpper(component, base, device))
            return true;
    if (base == 4 && (EqualsUpper(component, 3, "COM") || EqualsUpper(component, 3, "LPT"))) {
        const unsigned char digit = component[3];
        // The superscript digits of code page 1252 count as well.
        return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    }
    return false;
}

NameFault CheckComponent(const unsigned char* component, std::size_t length)
{
    if (length == 0)
        return NameFault::EmptyComponent;
    if (length == 2 && component[0] == '.' && component[1] == '.')
        return NameFault::ParentFolder;
    const unsigned char last = component[length - 1];
    if (last == '.' || last == ' ')
        return NameFault::TrailingDotOrSpace;
    if (IsDeviceName(component, length))
        return NameFault::DeviceName;
    return NameFault::None;
}

} // namespace

bool IsShiftJisLeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

NameFault CheckName(const char* name, std::size_t length, LeadByteTest isLead)
{
    if (name == nullptr || length == 0)
        return NameFault::Empty;
    const auto* bytes = reinterpret_cast<const unsigned char*>(name);
    if (IsSeparator(bytes[0]))
        return NameFault::Rooted;

    std::size_t componentStart = 0;
    std::size_t i = 0;
    while (i < length) {
        const unsigned char c = bytes[i];
        if (c < 0x20)
            return NameFault::ControlByte;
        if (isLead != nullptr && isLead(c)) {
            // The trail byte belongs to the character, even when it is 0x5C.
            if (i + 1 >= length || bytes[i + 1] < 0x20)
                return NameFault::BrokenCharacter;
            i += 2;
            continue;
        }
        if (c == ':')
            return NameFault::Colon;
        if (c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*')
            return NameFault::ReservedCharacter;
        if (IsSeparator(c)) {
            const NameFault fault = CheckComponent(bytes + componentStart, i - componentStart);
            if (fault != NameFault::None)
                return fault;
            componentStart = i + 1;
        }
        ++i;
    }
    return CheckComponent(bytes + componentStart, length - componentStart);
}

const char* NameFaultText(NameFault fault)
{
    switch (fault) {
    case NameFault::None:
        return "acceptable";
    case NameFault::Empty:
        return "empty name";
    case NameFault::Rooted:
        return "absolute path";
    case NameFault::Colon:
        return "drive or stream name";
    case NameFault::ParentFolder:
        return "parent folder component";
    case NameFault::EmptyComponent:
        return "empty path component";
    case NameFault::ControlByte:
        return "control character";
    case NameFault::ReservedCharacter:
        return "reserved character";
    case NameFault::DeviceName:
        return "device name";
    case NameFault::TrailingDotOrSpace:
        return "component ending in a dot or space";
    case NameFault::BrokenCharacter:
        return "incomplete double-byte character";
    }
    return "unknown fault";
}
