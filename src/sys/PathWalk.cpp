#include "sys/PathWalk.h"

namespace sys {

namespace {

bool IsSeparator(char c, Slashes slashes)
{
    return c == '\\' || (slashes == Slashes::Separate && c == '/');
}

// The first n bytes of text end with a whole character.
bool EndsCharacter(std::string_view text, std::size_t n, LeadByteTest isLead)
{
    std::size_t i = 0;
    while (i < n)
        i += CharacterSize(text, i, isLead);
    return i == n;
}

} // namespace

char AsciiUpper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool LeadsCharacter(LeadByteTest isLead, char byte)
{
    return isLead != nullptr && isLead(static_cast<unsigned char>(byte));
}

std::size_t CharacterSize(std::string_view text, std::size_t at, LeadByteTest isLead)
{
    return LeadsCharacter(isLead, text[at]) && at + 1 < text.size() ? 2 : 1;
}

std::ptrdiff_t LastSeparatorIn(std::string_view path, LeadByteTest isLead, Slashes slashes)
{
    std::ptrdiff_t last = -1;
    for (std::size_t i = 0; i < path.size(); i += CharacterSize(path, i, isLead))
        if (IsSeparator(path[i], slashes))
            last = static_cast<std::ptrdiff_t>(i);
    return last;
}

std::vector<std::string_view> SplitAtSeparators(std::string_view path, LeadByteTest isLead, Slashes slashes)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i < path.size(); i += CharacterSize(path, i, isLead)) {
        if (IsSeparator(path[i], slashes)) {
            parts.push_back(path.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(path.substr(start));
    return parts;
}

std::vector<std::string> FoldersBelowRoot(std::string_view path, LeadByteTest isLead)
{
    std::size_t at = 0;
    if (path.size() >= 2 && path[1] == ':') {
        at = path.size() > 2 && path[2] == '\\' ? 3 : 2;
    } else if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        int separators = 0;
        for (at = 2; at < path.size() && separators < 2; at += CharacterSize(path, at, isLead))
            separators += path[at] == '\\' ? 1 : 0;
    } else if (!path.empty() && path[0] == '\\') {
        at = 1;
    }
    std::vector<std::string> folders;
    bool afterSeparator = true; // a separator right after the root or another is no folder's end
    for (std::size_t i = at; i < path.size(); i += CharacterSize(path, i, isLead)) {
        const bool separator = path[i] == '\\';
        if (separator && !afterSeparator)
            folders.emplace_back(path.substr(0, i));
        afterSeparator = separator;
    }
    if (!afterSeparator)
        folders.emplace_back(path);
    return folders;
}

bool SamePathPrefix(std::string_view a, std::string_view b, std::size_t n, const CodePage& codePage)
{
    if (a.size() < n || b.size() < n)
        return false;
    if (codePage.toUtf16 != nullptr)
        return EndsCharacter(a, n, codePage.isLead) && EndsCharacter(b, n, codePage.isLead)
            && SameName(codePage.toUtf16(a.substr(0, n)), codePage.toUtf16(b.substr(0, n)));
    for (std::size_t i = 0; i < n;) {
        const std::size_t size = CharacterSize(a.substr(0, n), i, codePage.isLead);
        if (size == 2 ? a.compare(i, 2, b, i, 2) != 0 : AsciiUpper(a[i]) != AsciiUpper(b[i]))
            return false;
        i += size;
    }
    return true;
}

std::string PathKey(std::string_view path, const CodePage& codePage)
{
    if (codePage.toUtf16 != nullptr) {
        const std::u16string folded = FoldedName(codePage.toUtf16(path));
        std::string key;
        for (char16_t unit : folded) {
            key += static_cast<char>(unit >> 8);
            key += static_cast<char>(unit & 0xFF);
        }
        return key;
    }
    std::string key(path);
    for (std::size_t i = 0; i < key.size(); i += CharacterSize(key, i, codePage.isLead))
        key[i] = AsciiUpper(key[i]);
    return key;
}

} // namespace sys
