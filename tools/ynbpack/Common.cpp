#include "Common.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include <glib.h>

#include "sys/LittleEndian.h"

namespace ynbpack {

Bytes ReadFile(const std::string& path)
{
    if (path.empty() || path == "-") {
        std::cin >> std::noskipws;
        return Bytes(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    }
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw UsageError("cannot open '" + path + "': " + std::strerror(errno));
    Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw UsageError("cannot read '" + path + "'");
    return data;
}

void WriteFile(const std::string& path, const Bytes& data)
{
    if (path.empty() || path == "-") {
        std::cout.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        std::cout.flush();
        if (!std::cout)
            throw UsageError("cannot write to standard output");
        return;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        throw UsageError("cannot create '" + path + "': " + std::strerror(errno));
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    out.close();
    if (!out)
        throw UsageError("cannot write '" + path + "'");
}

uint32_t ReadLe16(const Bytes& data, std::size_t at)
{
    return sys::ReadLe16(data.data() + at);
}

uint32_t ReadLe32(const Bytes& data, std::size_t at)
{
    return sys::ReadLe32(data.data() + at);
}

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

void ThrowProblems(const std::string& what, const std::vector<std::string>& problems)
{
    std::string message = what + ":";
    for (const std::string& problem : problems)
        message += "\n  " + problem;
    throw UsageError(message);
}

namespace {

bool Convert(const std::string& text, const char* to, const char* from, std::string& out)
{
    gsize written = 0;
    gchar* converted = g_convert(text.data(), static_cast<gssize>(text.size()), to, from, nullptr, &written, nullptr);
    if (converted == nullptr)
        return false;
    out.assign(converted, written);
    g_free(converted);
    return true;
}

} // namespace

bool Utf8ToShiftJis(const std::string& utf8, std::string& shiftJis)
{
    return g_utf8_validate(utf8.data(), static_cast<gssize>(utf8.size()), nullptr)
        && Convert(utf8, "CP932", "UTF-8", shiftJis);
}

bool ShiftJisToUtf8(const std::string& shiftJis, std::string& utf8)
{
    return Convert(shiftJis, "UTF-8", "CP932", utf8);
}

int32_t TakeKeyOption(std::vector<std::string>& args)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--key") {
            if (i + 1 >= args.size())
                throw UsageError("--key needs a value");
            const int32_t key = ParseKey(args[i + 1]);
            args.erase(
                args.begin() + static_cast<std::ptrdiff_t>(i), args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
            return key;
        }
    }
    throw UsageError("missing --key K");
}

} // namespace ynbpack
