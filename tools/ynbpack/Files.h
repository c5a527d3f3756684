// Whole files as bytes, and little-endian fields in them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Errors.h"

namespace ynbpack {

using Bytes = std::vector<unsigned char>;

// An empty path or "-" means standard input or output. FileError when the
// file cannot be read or written.
Bytes ReadFile(const std::string& path);
void WriteFile(const std::string& path, const Bytes& data);

// Little-endian fields of a file's bytes; the caller checks the bounds.
uint32_t ReadLe16(const Bytes& data, std::size_t at);
uint32_t ReadLe32(const Bytes& data, std::size_t at);
void StoreLe32(Bytes& data, std::size_t at, uint32_t value);
// The same appended.
void AppendLe16(Bytes& data, uint32_t value);
void AppendLe32(Bytes& data, uint32_t value);

} // namespace ynbpack
