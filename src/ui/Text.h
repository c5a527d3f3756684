// Every text reaches Win32 as UTF-16 through these helpers.
#pragma once

#include <string>

namespace ui {

constexpr unsigned kShiftJis = 932;

// Bytes of the given code page to UTF-16; an invalid sequence gives what the
// system makes of it, never more than the input's bytes.
std::wstring Widen(const char* text, unsigned codePage);
inline std::wstring FromShiftJis(const char* text)
{
    return Widen(text, kShiftJis);
}
// A path or other system text in the ANSI code page.
inline std::wstring FromAnsi(const char* text)
{
    return Widen(text, 0 /* CP_ACP */);
}

// UTF-16 to the ANSI code page (paths typed by the user).
std::string ToAnsi(const wchar_t* text);

} // namespace ui
