#include "Common.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

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

ProductKeys ReadKeys(const std::string& path)
{
    const Bytes raw = ReadFile(path);
    std::istringstream in(std::string(raw.begin(), raw.end()));
    ProductKeys keys;
    bool seen[3] = {};
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const auto hash = line.find('#');
        if (hash != std::string::npos)
            line.erase(hash);
        const auto first = line.find_first_not_of(" \t");
        if (first == std::string::npos)
            continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            throw UsageError(path + ":" + std::to_string(number) + ": expected name=value");
        auto trim = [](std::string s) {
            const auto b = s.find_first_not_of(" \t");
            const auto e = s.find_last_not_of(" \t");
            return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
        };
        const std::string name = trim(line.substr(0, eq));
        const int32_t value = ParseKey(trim(line.substr(eq + 1)));
        if (name == "config") {
            keys.config = value;
            seen[0] = true;
        } else if (name == "payload") {
            keys.payload = value;
            seen[1] = true;
        } else if (name == "manifest") {
            keys.manifest = value;
            seen[2] = true;
        } else {
            throw UsageError(path + ":" + std::to_string(number) + ": unknown key '" + name + "'");
        }
    }
    if (!seen[0] || !seen[1] || !seen[2])
        throw UsageError(path + ": needs the keys config, payload and manifest");
    return keys;
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
