#include "package/EmbeddedParts.h"

#include <cstring>

#include "config/ProductData.h"
#include "package/Sha256.h"
#include "sys/Handle.h"
#include "sys/Win32.h"

namespace package {

namespace {

constexpr DWORD kMaxDocument = 16u << 20; // a licence text, not a library

bool ReadAll(HANDLE file, uint64_t offset, std::vector<char>& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        OVERLAPPED at {};
        const uint64_t position = offset + done;
        at.Offset = static_cast<DWORD>(position);
        at.OffsetHigh = static_cast<DWORD>(position >> 32);
        DWORD read = 0;
        const auto want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        if (!ReadFile(file, bytes.data() + done, want, &read, &at) || read == 0)
            return false;
        done += read;
    }
    return true;
}

} // namespace

bool IsSingleFile()
{
    return TheProductData().present && TheProductData().singleFile;
}

HANDLE OpenEmbeddedPart(config::EmbeddedPart part, config::EmbeddedRange& range, std::string& detail, DWORD& error)
{
    range = TheProductData().Part(part);
    const std::wstring self = sys::ModulePath();
    HANDLE file = CreateFileW(
        self.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    LARGE_INTEGER size {};
    if (file == INVALID_HANDLE_VALUE || !GetFileSizeEx(file, &size)) {
        error = GetLastError();
        detail = "cannot open the program's own file (error " + std::to_string(error) + ")";
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
        return INVALID_HANDLE_VALUE;
    }
    const auto fileSize = static_cast<uint64_t>(size.QuadPart);
    if (range.offset > fileSize || range.size > fileSize - range.offset) {
        error = 0;
        detail = "the program's file ends before the part it holds (cut short?)";
        CloseHandle(file);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

bool ReadDocument(const char* name, std::vector<char>& bytes)
{
    if (IsSingleFile()) {
        const config::EmbeddedPart part = std::strcmp(name, "license.txt") == 0 ? config::EmbeddedPart::LicenseText
                                                                                : config::EmbeddedPart::SetupText;
        config::EmbeddedRange range;
        std::string detail;
        DWORD error = 0;
        sys::UniqueFile file(OpenEmbeddedPart(part, range, detail, error));
        if (!file || range.size > kMaxDocument)
            return false;
        bytes.assign(static_cast<std::size_t>(range.size), '\0');
        if (!ReadAll(file.Get(), range.offset, bytes))
            return false;
        unsigned char digest[kSha256Size];
        Sha256::Hash(bytes.data(), bytes.size(), digest);
        return std::memcmp(digest, range.digest, kSha256Size) == 0;
    }
    sys::UniqueFile file(
        CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size {};
    if (!file || !GetFileSizeEx(file.Get(), &size) || size.QuadPart > kMaxDocument)
        return false;
    bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
    return ReadAll(file.Get(), 0, bytes);
}

} // namespace package
