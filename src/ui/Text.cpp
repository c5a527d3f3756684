#include "ui/Text.h"

#include <windows.h>

namespace ui {

std::wstring Widen(const char* text, unsigned codePage)
{
    if (text == nullptr || *text == '\0')
        return {};
    const int needed = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    if (needed <= 0)
        return {};
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    const int written = MultiByteToWideChar(codePage, 0, text, -1, wide.data(), needed);
    wide.resize(written > 0 ? static_cast<std::size_t>(written - 1) : 0);
    return wide;
}

std::string ToAnsi(const wchar_t* text)
{
    if (text == nullptr || *text == L'\0')
        return {};
    const int needed = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        return {};
    std::string ansi(static_cast<std::size_t>(needed), '\0');
    const int written = WideCharToMultiByte(CP_ACP, 0, text, -1, ansi.data(), needed, nullptr, nullptr);
    ansi.resize(written > 0 ? static_cast<std::size_t>(written - 1) : 0);
    return ansi;
}

} // namespace ui
