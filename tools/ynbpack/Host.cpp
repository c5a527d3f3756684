#include "Host.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Errors.h"

#ifdef _WIN32
#include <windows.h>

#include <io.h>
#else
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace ynbpack {

namespace fs = std::filesystem;

fs::path PathOf(const std::string& utf8)
{
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Of(const fs::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

#ifdef _WIN32

std::string ExecutablePath()
{
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size())
        throw FileError("cannot find ynbpack's own file");
    path.resize(length);
    return Utf8Of(fs::path(path));
}

ScratchFolder::ScratchFolder()
{
    const fs::path base = fs::temp_directory_path();
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = base
            / (L"ynbpack-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64()) + L"-"
                + std::to_wstring(attempt));
        if (CreateDirectoryW(candidate.c_str(), nullptr)) {
            path_ = candidate;
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    throw FileError("cannot create a scratch folder (error " + std::to_string(GetLastError()) + ")");
}

FileFacts FactsOf(const fs::path& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        throw FileError("cannot inspect '" + Utf8Of(path) + "' (error " + std::to_string(GetLastError()) + ")");
    FileFacts facts;
    facts.size = uint64_t { data.nFileSizeHigh } << 32 | data.nFileSizeLow;
    const uint64_t ticks = uint64_t { data.ftLastWriteTime.dwHighDateTime } << 32 | data.ftLastWriteTime.dwLowDateTime;
    facts.modified = static_cast<std::time_t>(ticks / 10000000 - 11644473600ull);
    facts.readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    return facts;
}

bool LocalTime(std::time_t when, std::tm& local)
{
    const uint64_t ticks = (static_cast<uint64_t>(when) + 11644473600ull) * 10000000;
    const FILETIME utc { static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32) };
    SYSTEMTIME universal {};
    SYSTEMTIME here {};
    // The system's time zone, with its daylight saving time for that date.
    if (!FileTimeToSystemTime(&utc, &universal) || !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &here))
        return false;
    local = {};
    local.tm_year = here.wYear - 1900;
    local.tm_mon = here.wMonth - 1;
    local.tm_mday = here.wDay;
    local.tm_hour = here.wHour;
    local.tm_min = here.wMinute;
    local.tm_sec = here.wSecond;
    return true;
}

int RunShellCommand(const std::string& command)
{
    std::wstring line = L"cmd.exe /d /s /c \"";
    line += PathOf(command).wstring();
    line += L"\"";
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    (void)WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    (void)GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

bool ErrorIsTerminal()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

#else

std::string ExecutablePath()
{
    std::error_code ec;
    const fs::path path = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        throw FileError("cannot find ynbpack's own file: " + ec.message());
    return Utf8Of(path);
}

ScratchFolder::ScratchFolder()
{
    std::string pattern = (fs::temp_directory_path() / "ynbpack-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw FileError("cannot create a scratch folder: " + std::string(std::strerror(errno)));
    path_ = pattern;
}

FileFacts FactsOf(const fs::path& path)
{
    struct stat info = {};
    if (stat(path.c_str(), &info) != 0)
        throw FileError("cannot inspect '" + Utf8Of(path) + "': " + std::strerror(errno));
    FileFacts facts;
    facts.size = static_cast<uint64_t>(info.st_size);
    facts.modified = info.st_mtime;
    facts.readOnly = (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    return facts;
}

bool LocalTime(std::time_t when, std::tm& local)
{
    return localtime_r(&when, &local) != nullptr;
}

int RunShellCommand(const std::string& command)
{
    const int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

bool ErrorIsTerminal()
{
    return isatty(STDERR_FILENO) != 0;
}

#endif

ScratchFolder::~ScratchFolder()
{
    std::error_code ec;
    fs::remove_all(path_, ec);
}

} // namespace ynbpack
