#include "Files.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>

#include "Host.h"
#include "sys/LittleEndian.h"

namespace ynbpack {

Bytes ReadFile(const std::string& path)
{
    if (path.empty() || path == "-") {
        std::cin >> std::noskipws;
        return Bytes(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    }
    std::ifstream in(PathOf(path), std::ios::binary);
    if (!in)
        throw FileError("cannot open '" + path + "': " + std::strerror(errno));
    Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw FileError("cannot read '" + path + "'");
    return data;
}

void WriteFile(const std::string& path, const Bytes& data)
{
    if (path.empty() || path == "-") {
        std::cout.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        std::cout.flush();
        if (!std::cout)
            throw FileError("cannot write to standard output");
        return;
    }
    std::ofstream out(PathOf(path), std::ios::binary | std::ios::trunc);
    if (!out)
        throw FileError("cannot create '" + path + "': " + std::strerror(errno));
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    out.close();
    if (!out)
        throw FileError("cannot write '" + path + "'");
}

uint32_t ReadLe16(const Bytes& data, std::size_t at)
{
    return sys::ReadLe16(data.data() + at);
}

uint32_t ReadLe32(const Bytes& data, std::size_t at)
{
    return sys::ReadLe32(data.data() + at);
}

void StoreLe32(Bytes& data, std::size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        data[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(value >> (8 * i));
}

void AppendLe16(Bytes& data, uint32_t value)
{
    data.push_back(static_cast<unsigned char>(value));
    data.push_back(static_cast<unsigned char>(value >> 8));
}

void AppendLe32(Bytes& data, uint32_t value)
{
    AppendLe16(data, value & 0xFFFF);
    AppendLe16(data, value >> 16);
}

} // namespace ynbpack
