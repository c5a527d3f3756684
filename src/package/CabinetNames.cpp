#include "package/CabinetNames.h"

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

CabinetNameFault CheckComponent(const unsigned char* component, std::size_t length)
{
    if (length == 0)
        return CabinetNameFault::EmptyComponent;
    if (length == 2 && component[0] == '.' && component[1] == '.')
        return CabinetNameFault::ParentFolder;
    const unsigned char last = component[length - 1];
    if (last == '.' || last == ' ')
        return CabinetNameFault::TrailingDotOrSpace;
    if (IsDeviceName(component, length))
        return CabinetNameFault::DeviceName;
    return CabinetNameFault::None;
}

} // namespace

bool IsShiftJisLeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

CabinetNameFault CheckCabinetName(const char* name, std::size_t length, LeadByteTest isLead)
{
    if (name == nullptr || length == 0)
        return CabinetNameFault::Empty;
    const auto* bytes = reinterpret_cast<const unsigned char*>(name);
    if (IsSeparator(bytes[0]))
        return CabinetNameFault::Rooted;

    std::size_t componentStart = 0;
    std::size_t i = 0;
    while (i < length) {
        const unsigned char c = bytes[i];
        if (c < 0x20)
            return CabinetNameFault::ControlByte;
        if (isLead != nullptr && isLead(c)) {
            // The trail byte belongs to the character, even when it is 0x5C.
            if (i + 1 >= length || bytes[i + 1] < 0x20)
                return CabinetNameFault::BrokenCharacter;
            i += 2;
            continue;
        }
        if (c == ':')
            return CabinetNameFault::Colon;
        if (c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*')
            return CabinetNameFault::ReservedCharacter;
        if (IsSeparator(c)) {
            const CabinetNameFault fault = CheckComponent(bytes + componentStart, i - componentStart);
            if (fault != CabinetNameFault::None)
                return fault;
            componentStart = i + 1;
        }
        ++i;
    }
    return CheckComponent(bytes + componentStart, length - componentStart);
}

const char* CabinetNameFaultText(CabinetNameFault fault)
{
    switch (fault) {
    case CabinetNameFault::None:
        return "acceptable";
    case CabinetNameFault::Empty:
        return "empty name";
    case CabinetNameFault::Rooted:
        return "absolute path";
    case CabinetNameFault::Colon:
        return "drive or stream name";
    case CabinetNameFault::ParentFolder:
        return "parent folder component";
    case CabinetNameFault::EmptyComponent:
        return "empty path component";
    case CabinetNameFault::ControlByte:
        return "control character";
    case CabinetNameFault::ReservedCharacter:
        return "reserved character";
    case CabinetNameFault::DeviceName:
        return "device name";
    case CabinetNameFault::TrailingDotOrSpace:
        return "component ending in a dot or space";
    case CabinetNameFault::BrokenCharacter:
        return "incomplete double-byte character";
    }
    return "unknown fault";
}
