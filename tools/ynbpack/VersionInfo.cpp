#include "VersionInfo.h"

#include <utility>
#include <vector>

namespace ynbpack {

namespace {

void Align4(Bytes& out)
{
    while (out.size() % 4 != 0)
        out.push_back(0);
}

void PutText(Bytes& out, const std::u16string& text)
{
    for (char16_t c : text)
        AppendLe16(out, c);
    AppendLe16(out, 0);
}

// One node: length, value length, type (1 text, 0 binary), key, the value
// and the children, each on a 32-bit boundary. The length leaves out the
// padding after the node's last byte.
Bytes Node(
    const std::u16string& key, bool text, uint32_t valueLength, const Bytes& value, const std::vector<Bytes>& children)
{
    Bytes out(6, 0);
    PutText(out, key);
    Align4(out);
    out.insert(out.end(), value.begin(), value.end());
    for (const Bytes& child : children) {
        Align4(out);
        out.insert(out.end(), child.begin(), child.end());
    }
    out[0] = static_cast<unsigned char>(out.size());
    out[1] = static_cast<unsigned char>(out.size() >> 8);
    out[2] = static_cast<unsigned char>(valueLength);
    out[3] = static_cast<unsigned char>(valueLength >> 8);
    out[4] = text ? 1 : 0;
    return out;
}

Bytes String(const std::u16string& key, const std::u16string& value)
{
    Bytes text;
    PutText(text, value);
    return Node(key, true, static_cast<uint32_t>(value.size() + 1), text, {});
}

} // namespace

bool ParseFileVersion(const std::string& text, std::array<uint16_t, 4>& parts)
{
    std::array<uint16_t, 4> read {};
    std::size_t count = 0;
    std::size_t at = 0;
    while (true) {
        std::size_t end = text.find('.', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string part = text.substr(at, end - at);
        if (count == 4 || part.empty() || part.size() > 5 || part.find_first_not_of("0123456789") != std::string::npos
            || std::stoul(part) > 65535)
            return false;
        read[count++] = static_cast<uint16_t>(std::stoul(part));
        if (end == text.size())
            break;
        at = end + 1;
    }
    parts = read;
    return true;
}

std::string FileVersionText(const std::array<uint16_t, 4>& parts)
{
    return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." + std::to_string(parts[2]) + "."
        + std::to_string(parts[3]);
}

Bytes VersionResource(const VersionTexts& texts)
{
    Bytes fixed;
    AppendLe32(fixed, 0xFEEF04BD); // signature
    AppendLe32(fixed, 0x00010000); // structure version
    for (int twice = 0; twice < 2; ++twice) { // file, then product version
        AppendLe32(fixed, static_cast<uint32_t>(texts.parts[0]) << 16 | texts.parts[1]);
        AppendLe32(fixed, static_cast<uint32_t>(texts.parts[2]) << 16 | texts.parts[3]);
    }
    AppendLe32(fixed, 0x3F); // flags mask
    AppendLe32(fixed, 0); // flags
    AppendLe32(fixed, 0x00040004); // VOS_NT_WINDOWS32
    AppendLe32(fixed, 1); // VFT_APP
    AppendLe32(fixed, 0); // subtype
    AppendLe32(fixed, 0); // date
    AppendLe32(fixed, 0);

    const std::pair<const char16_t*, const std::u16string*> values[] = {
        { u"CompanyName", &texts.companyName },
        { u"FileDescription", &texts.fileDescription },
        { u"FileVersion", &texts.version },
        { u"InternalName", &texts.internalName },
        { u"LegalCopyright", &texts.legalCopyright },
        { u"OriginalFilename", &texts.originalFilename },
        { u"ProductName", &texts.productName },
        { u"ProductVersion", &texts.version },
    };
    std::vector<Bytes> strings;
    for (const auto& [key, value] : values)
        if (!value->empty())
            strings.push_back(String(key, *value));
    const Bytes table = Node(u"041103A4", true, 0, {}, strings);
    const Bytes stringInfo = Node(u"StringFileInfo", true, 0, {}, { table });
    Bytes translation;
    AppendLe16(translation, 0x0411);
    AppendLe16(translation, 932);
    const Bytes var = Node(u"Translation", false, 4, translation, {});
    const Bytes varInfo = Node(u"VarFileInfo", true, 0, {}, { var });
    return Node(u"VS_VERSION_INFO", false, static_cast<uint32_t>(fixed.size()), fixed, { stringInfo, varInfo });
}

} // namespace ynbpack
