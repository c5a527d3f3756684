#include "Texts.h"

#include <sstream>

namespace ynbpack {

namespace {

std::string Trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    const auto last = text.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

} // namespace

std::vector<NamedValue> ReadNamedValues(const Bytes& text, bool hashComments)
{
    // Editors on Windows start UTF-8 files with a byte order mark.
    const std::size_t bom = text.size() >= 3 && text[0] == 0xEF && text[1] == 0xBB && text[2] == 0xBF ? 3 : 0;
    std::istringstream in(std::string(text.begin() + static_cast<std::ptrdiff_t>(bom), text.end()));
    std::vector<NamedValue> lines;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const auto hash = line.find('#');
        if (hash != std::string::npos && (hashComments || line.find_first_not_of(" \t") == hash))
            line.erase(hash);
        if (Trim(line).empty())
            continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos) {
            lines.push_back({ number, {}, {}, "expected name=value" });
            continue;
        }
        NamedValue item { number, Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)), {} };
        if (item.name.empty())
            item.fault = "no name before '='";
        lines.push_back(std::move(item));
    }
    return lines;
}

} // namespace ynbpack
