#include "Keys.h"

#include <algorithm>

#include "Commands.h"
#include "Errors.h"
#include "Files.h"
#include "Texts.h"

namespace ynbpack {

int32_t ParseKey(const std::string& text)
{
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        ++i;
    if (i == text.size())
        throw UsageError("key '" + text + "' is not an integer");
    int64_t value = 0;
    for (std::size_t j = i; j < text.size(); ++j) {
        if (text[j] < '0' || text[j] > '9')
            throw UsageError("key '" + text + "' is not an integer");
        value = value * 10 + (text[j] - '0');
        if (value > INT32_MAX)
            throw UsageError("key '" + text + "' does not fit 32 bits");
    }
    return static_cast<int32_t>(text[0] == '-' ? -value : value);
}

ProductKeys ReadKeys(const std::string& path, std::vector<std::string>& problems)
{
    const std::size_t before = problems.size();
    const Bytes raw = ReadFile(path);
    ProductKeys keys;
    struct Slot {
        const char* name;
        int32_t* value;
        bool seen;
    } slots[] = { { "config", &keys.config, false }, { "payload", &keys.payload, false },
        { "manifest", &keys.manifest, false } };
    for (const NamedValue& item : ReadNamedValues(raw, true)) {
        const std::string where = path + ":" + std::to_string(item.line) + ": ";
        if (!item.fault.empty()) {
            problems.push_back(where + item.fault);
            continue;
        }
        Slot* slot = nullptr;
        for (Slot& candidate : slots)
            if (item.name == candidate.name)
                slot = &candidate;
        if (slot == nullptr) {
            problems.push_back(where + "unknown key '" + item.name + "' (config, payload, manifest)");
            continue;
        }
        if (slot->seen) {
            problems.push_back(where + "the key " + item.name + " is given twice");
            continue;
        }
        slot->seen = true;
        const std::string& text = item.value;
        const std::size_t digits = text.empty() || (text[0] != '-' && text[0] != '+') ? 0 : 1;
        if (text.size() == digits || text.find_first_not_of("0123456789", digits) != std::string::npos) {
            problems.push_back(where + item.name + " '" + text + "' is not a number");
            continue;
        }
        const std::string number = text.substr(std::min(text.find_first_not_of("+-0"), text.size()));
        if ((text[0] == '-' && !number.empty()) || number.size() > 3) {
            problems.push_back(where + item.name + " " + text + " lies outside 0..999");
            continue;
        }
        *slot->value = number.empty() ? 0 : static_cast<int32_t>(std::stoi(number));
    }
    for (const Slot& slot : slots)
        if (!slot.seen)
            problems.push_back(path + ": no " + slot.name + " key (config, payload and manifest are needed)");
    if (problems.size() != before)
        keys = ProductKeys();
    return keys;
}

ProductKeys ReadKeys(const std::string& path)
{
    std::vector<std::string> problems;
    const ProductKeys keys = ReadKeys(path, problems);
    if (!problems.empty())
        ThrowProblems(path + " is not a key file", problems);
    return keys;
}

int32_t TakeKeyOption(std::vector<std::string>& args)
{
    std::string text;
    if (!TakeValueOption(args, "--key", text))
        throw UsageError("missing --key K");
    return ParseKey(text);
}

} // namespace ynbpack
