// Sizes and names that the setup program, the uninstaller and the tools share.
// Portable: no Win32.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sys {

// A path with its terminator: the program's path buffers and record fields.
constexpr std::size_t kPathSize = 260;

// The scrambled file manifest in the staging folder, and the install log in
// the log folder.
inline constexpr char kManifestName[] = "ynb_inst.com";
inline constexpr char kLogName[] = "instdir.dat";

// ClsRegist's root selector of the uninstall entries: HKEY_LOCAL_MACHINE.
constexpr int32_t kUninstallRoot = 2;

} // namespace sys
