// Little-endian fields of file formats (cabinets, security descriptors,
// programs, archives), read byte by byte whatever the host's order and
// alignment. The caller checks the bounds.
#pragma once

#include <cstdint>

namespace sys {

inline std::uint16_t ReadLe16(const unsigned char* p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

inline std::uint32_t ReadLe32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(ReadLe16(p)) | static_cast<std::uint32_t>(ReadLe16(p + 2)) << 16;
}

} // namespace sys
