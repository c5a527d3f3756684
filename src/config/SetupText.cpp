#include "config/SetupText.h"

#include <cstring>

namespace {

constexpr std::size_t kLabelSize = 10;
constexpr const char* kLabels[] = {
    "Sunday   :",
    "Monday   :",
    "Tuesday  :",
    "Wednesday:",
    "Thirsday :",
    "Friday   :",
};

bool IsBlank(char c)
{
    return c == '\0' || c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

// Compares the label with the bytes at `p`, of which `available` lie inside
// the buffer; a label never matches across the buffer's end.
bool MatchesLabel(const char* p, std::size_t available, const char* label)
{
    return available >= kLabelSize && std::memcmp(p, label, kLabelSize) == 0;
}

// Copies the value at `value` into a field, stopping at its zero, at the
// buffer's end or at the field's last byte, whichever comes first.
void CopyValue(char (&field)[sys::kPathSize], const char* value, const char* end)
{
    std::size_t n = 0;
    while (n + 1 < sys::kPathSize && value + n < end && value[n] != '\0') {
        field[n] = value[n];
        ++n;
    }
    field[n] = '\0';
}

} // namespace

int32_t SetupTextLengthValue(const char* text, std::size_t size)
{
    std::size_t i = 0;
    while (i < size && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < size && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int64_t value = 0;
    for (; i < size && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT32_MAX)
            return negative ? INT32_MIN : INT32_MAX;
    }
    return static_cast<int32_t>(negative ? -value : value);
}

int ParseSetupText(char* buffer, SetupRecord& record)
{
    char* const end = buffer + kSetupBufferSize;
    const char* values[kSetupMaxValues] = {};
    int count = 0;

    char* p = buffer;
    while (p < end) {
        if (IsBlank(*p)) {
            ++p;
            continue;
        }
        if (*p == ';') {
            while (p < end && *p != '\n' && *p != '\0')
                ++p;
            continue;
        }
        bool matched = false;
        for (const char* label : kLabels) {
            if (MatchesLabel(p, static_cast<std::size_t>(end - p), label)) {
                matched = true;
                break;
            }
        }
        if (!matched)
            break;
        p += kLabelSize;
        if (count < kSetupMaxValues)
            values[count] = p;
        ++count;
        while (p < end && *p != '\r' && *p != '\n')
            ++p;
        // A value without a line end runs to the buffer's end and is cut there.
        if (p < end)
            *p++ = '\0';
    }

    auto copy = [&](char(&field)[sys::kPathSize], int number) {
        if (number <= count && number <= kSetupMaxValues)
            CopyValue(field, values[number - 1], end);
    };
    copy(record.ProductName, 2);
    copy(record.ProductFolder, 4);
    copy(record.ProgramPath, 5);
    return 0;
}

int32_t CopySetupText(const char* lengthText, const char* data, char (&buffer)[kSetupBufferSize])
{
    std::memset(buffer, 0, sizeof buffer);
    const int32_t n = SetupTextLengthValue(lengthText, kSetupTextLengthSize);
    if (n < 0 || n > kSetupTextMaxLength)
        return -1;
    std::memcpy(buffer, data, static_cast<std::size_t>(n));
    return n;
}
