#include "sys/Text.h"

#include <windows.h>

#include <climits>
#include <cstring>
#include <cwchar>

namespace sys {

bool AnsiLead(unsigned char byte)
{
    return IsDBCSLeadByte(byte) != FALSE;
}

std::u16string AnsiToUtf16(std::string_view text)
{
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    const std::wstring wide = Widen(text.data(), text.size(), kAnsiCodePage);
    return std::u16string(reinterpret_cast<const char16_t*>(wide.data()), wide.size());
}

std::wstring Widen(const char* bytes, std::size_t length, unsigned codePage)
{
    if (bytes == nullptr || length == 0 || length > INT_MAX)
        return {};
    const int size = static_cast<int>(length);
    const int needed = MultiByteToWideChar(codePage, 0, bytes, size, nullptr, 0);
    if (needed <= 0)
        return {};
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    const int written = MultiByteToWideChar(codePage, 0, bytes, size, wide.data(), needed);
    wide.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return wide;
}

std::wstring Widen(const char* text, unsigned codePage)
{
    return text != nullptr ? Widen(text, std::strlen(text), codePage) : std::wstring();
}

std::string Narrow(const wchar_t* text, std::size_t length, unsigned codePage)
{
    if (text == nullptr || length == 0 || length > INT_MAX / 4)
        return {};
    const int size = static_cast<int>(length);
    const int needed = WideCharToMultiByte(codePage, 0, text, size, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        return {};
    std::string narrow(static_cast<std::size_t>(needed), '\0');
    const int written = WideCharToMultiByte(codePage, 0, text, size, narrow.data(), needed, nullptr, nullptr);
    narrow.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return narrow;
}

std::string Narrow(const wchar_t* text, unsigned codePage)
{
    return text != nullptr ? Narrow(text, std::wcslen(text), codePage) : std::string();
}

} // namespace sys
