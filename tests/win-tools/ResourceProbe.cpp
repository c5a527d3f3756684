// Prints what Windows reads of each program named on its command line: its
// version texts (GetFileVersionInfoW), its fixed file and product versions,
// and how many icons it holds (ExtractIconExW), as UTF-8 lines
// "KEY=VALUE"; a blank line after each program. Exit status 1 when a program
// has no version resource.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Utf8(const wchar_t* text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? static_cast<std::size_t>(size) : 1, '\0');
    (void)WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
}

bool Probe(const wchar_t* path)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    std::vector<unsigned char> info(size);
    if (size == 0 || !GetFileVersionInfoW(path, 0, size, info.data())) {
        std::printf("version=none\n\n");
        return false;
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed != nullptr)
        std::printf("fixed=%u.%u.%u.%u product=%u.%u.%u.%u\n", HIWORD(fixed->dwFileVersionMS),
            LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS),
            HIWORD(fixed->dwProductVersionMS), LOWORD(fixed->dwProductVersionMS), HIWORD(fixed->dwProductVersionLS),
            LOWORD(fixed->dwProductVersionLS));
    for (const wchar_t* key : { L"ProductName", L"CompanyName", L"FileDescription", L"FileVersion", L"ProductVersion",
             L"LegalCopyright", L"OriginalFilename" }) {
        wchar_t* value = nullptr;
        const std::wstring query = std::wstring(L"\\StringFileInfo\\041103A4\\") + key;
        if (VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) && value != nullptr)
            std::printf("%s=%s\n", Utf8(key).c_str(), Utf8(value).c_str());
    }
    const UINT icons = ExtractIconExW(path, -1, nullptr, nullptr, 0);
    HICON large = nullptr;
    HICON small = nullptr;
    const UINT extracted = ExtractIconExW(path, 0, &large, &small, 1);
    std::printf("icons=%u first=%s\n\n", icons, extracted > 0 && large != nullptr && small != nullptr ? "yes" : "no");
    if (large != nullptr)
        DestroyIcon(large);
    if (small != nullptr)
        DestroyIcon(small);
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    int status = 0;
    for (int i = 1; i < argc; ++i)
        if (!Probe(argv[i]))
            status = 1;
    return status;
}
