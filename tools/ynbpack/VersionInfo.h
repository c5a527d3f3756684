// The version resource (RT_VERSION: VS_VERSIONINFO) of a program: the
// product's name, version and maker as Windows' file properties show them.
// Portable.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "Files.h"

namespace ynbpack {

struct VersionTexts {
    std::u16string fileDescription; // "Setup", "Uninstall"
    std::u16string internalName; // "setup"
    std::u16string originalFilename; // "setup.exe"
    std::u16string productName; // empty: left out
    std::u16string companyName; // empty: left out
    std::u16string legalCopyright; // empty: left out
    std::u16string version; // the version's text, FileVersion and ProductVersion
    std::array<uint16_t, 4> parts {}; // FILEVERSION and PRODUCTVERSION
};

// The four 16-bit parts of a version of one to four decimal numbers of 0 to
// 65535 joined by dots (1.0.0 is 1.0.0.0); false for any other text.
bool ParseFileVersion(const std::string& text, std::array<uint16_t, 4>& parts);
// "1.0.0.0".
std::string FileVersionText(const std::array<uint16_t, 4>& parts);

// The resource's bytes: the fixed part, one string table in Japanese (0411)
// for code page 932, and that translation.
Bytes VersionResource(const VersionTexts& texts);

} // namespace ynbpack
