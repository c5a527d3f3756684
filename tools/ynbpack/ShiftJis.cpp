#include "ShiftJis.h"

#include <array>
#include <memory>

#include "Unicode.h"

namespace ynbpack {

namespace {

int LeadIndex(unsigned char lead)
{
    if (lead >= 0x81 && lead <= 0x9F)
        return lead - 0x81;
    if (lead >= 0xE0 && lead <= 0xFC)
        return lead - 0xE0 + 31;
    return -1;
}

// Lower is preferred where several codes decode to one character.
int Rank(uint16_t code)
{
    const int lead = code >> 8;
    if (lead == 0x87)
        return 1; // NEC's row 13
    if (lead >= 0xFA && lead <= 0xFC)
        return 2; // IBM extensions
    if (lead == 0xED || lead == 0xEE)
        return 3; // NEC's selection of the IBM extensions
    return 0;
}

// Every BMP unit to its code; built once from the decoding table.
const std::array<uint16_t, 0x10000>& EncodingTable()
{
    static const std::unique_ptr<std::array<uint16_t, 0x10000>> table = [] {
        auto codes = std::make_unique<std::array<uint16_t, 0x10000>>();
        codes->fill(0);
        for (unsigned b = 1; b < 0x80; ++b)
            (*codes)[b] = static_cast<uint16_t>(b);
        for (unsigned b = 0xA1; b <= 0xDF; ++b)
            (*codes)[0xFF61 + b - 0xA1] = static_cast<uint16_t>(b);
        for (std::size_t lead = 0; lead < kShiftJisLeads; ++lead) {
            const unsigned leadByte = lead < 31 ? 0x81 + lead : 0xE0 + lead - 31;
            for (std::size_t trail = 0; trail < kShiftJisTrails; ++trail) {
                const uint16_t unit = kShiftJisDoubleByte[lead * kShiftJisTrails + trail];
                const auto code = static_cast<uint16_t>(leadByte << 8 | (0x40 + trail));
                uint16_t& held = (*codes)[unit];
                if (unit != 0 && (held == 0 || Rank(code) < Rank(held)))
                    held = code;
            }
        }
        return codes;
    }();
    return *table;
}

} // namespace

bool ShiftJisIsLead(unsigned char byte)
{
    return LeadIndex(byte) >= 0;
}

char32_t ShiftJisDecode(unsigned char lead, unsigned char trail)
{
    const int index = LeadIndex(lead);
    if (index < 0) {
        if (lead < 0x80)
            return lead;
        return lead >= 0xA1 && lead <= 0xDF ? 0xFF61 + lead - 0xA1 : 0;
    }
    if (trail < 0x40 || trail > 0xFC)
        return 0;
    return kShiftJisDoubleByte[static_cast<std::size_t>(index) * kShiftJisTrails + (trail - 0x40)];
}

uint16_t ShiftJisEncode(char32_t c)
{
    return c < 0x10000 ? EncodingTable()[c] : 0;
}

bool Utf8ToShiftJis(const std::string& utf8, std::string& shiftJis)
{
    std::u32string points;
    if (!Utf8ToCodePoints(utf8, points))
        return false;
    std::string out;
    for (char32_t c : points) {
        if (c == 0) {
            out += '\0';
            continue;
        }
        const uint16_t code = ShiftJisEncode(c);
        if (code == 0)
            return false;
        if (code > 0xFF)
            out += static_cast<char>(code >> 8);
        out += static_cast<char>(code & 0xFF);
    }
    shiftJis = std::move(out);
    return true;
}

bool ShiftJisToUtf8(const std::string& shiftJis, std::string& utf8)
{
    std::string out;
    for (std::size_t i = 0; i < shiftJis.size(); ++i) {
        const auto lead = static_cast<unsigned char>(shiftJis[i]);
        char32_t c = 0;
        if (ShiftJisIsLead(lead)) {
            if (i + 1 >= shiftJis.size())
                return false;
            c = ShiftJisDecode(lead, static_cast<unsigned char>(shiftJis[++i]));
        } else {
            c = ShiftJisDecode(lead, 0);
        }
        if (c == 0 && lead != 0)
            return false;
        AppendUtf8(c, out);
    }
    utf8 = std::move(out);
    return true;
}

} // namespace ynbpack
