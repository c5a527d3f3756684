#include "sys/LogFile.h"

#include <windows.h>

#include <cstdio>

#include "sys/Text.h"

namespace sys {

bool LogFile::Open(const std::wstring& path, bool append)
{
    // Others may read it while it grows; a file appended to may be appended
    // to by the other programs of one run at once (the uninstaller's copy
    // and the program that started the uninstaller elevated), each line one
    // write at the end.
    file_.Reset(CreateFileW(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
        append ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ, nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS,
        FILE_ATTRIBUTE_NORMAL, nullptr));
    return IsOpen();
}

void LogFile::Line(std::wstring_view text)
{
    if (!file_)
        return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t stamp[32];
    (void)std::swprintf(stamp, 32, L"%04u-%02u-%02u %02u:%02u:%02u.%03u ", now.wYear, now.wMonth, now.wDay, now.wHour,
        now.wMinute, now.wSecond, now.wMilliseconds);
    std::wstring line = stamp;
    line.append(text);
    line += L"\r\n";
    const std::string utf8 = Narrow(line.data(), line.size(), CP_UTF8);
    if (utf8.empty())
        return;
    DWORD written = 0;
    (void)WriteFile(
        file_.Get(), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr); // a log does not stop the work
}

} // namespace sys
