// Every text reaches Win32 as UTF-16 through these helpers; paths stay ANSI
// bytes (the system's code page).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "sys/PathWalk.h"

namespace sys {

constexpr unsigned kShiftJis = 932;
constexpr unsigned kAnsiCodePage = 0; // CP_ACP

// True when the byte leads a double-byte character of the system's ANSI
// code page, in which paths are written (a LeadByteTest).
bool AnsiLead(unsigned char byte);
// An ANSI text in UTF-16.
std::u16string AnsiToUtf16(std::string_view text);
// How this machine's paths are read and compared.
inline constexpr CodePage kAnsiPaths { AnsiLead, AnsiToUtf16 };

// `length` bytes of the given code page (zero bytes included) to UTF-16; an
// invalid sequence gives what the system makes of it.
std::wstring Widen(const char* bytes, std::size_t length, unsigned codePage);
// A zero-terminated text of the given code page to UTF-16.
std::wstring Widen(const char* text, unsigned codePage);
inline std::wstring FromShiftJis(const char* text)
{
    return Widen(text, kShiftJis);
}
inline std::wstring FromAnsi(const char* text)
{
    return Widen(text, kAnsiCodePage);
}

// `length` UTF-16 units (zero units included) to the given code page;
// characters it lacks become its default character.
std::string Narrow(const wchar_t* text, std::size_t length, unsigned codePage);
// A zero-terminated UTF-16 text to the given code page.
std::string Narrow(const wchar_t* text, unsigned codePage);
inline std::string ToAnsi(const wchar_t* text)
{
    return Narrow(text, kAnsiCodePage);
}
inline std::string ToAnsi(const std::wstring& text)
{
    return Narrow(text.c_str(), kAnsiCodePage);
}

} // namespace sys
