#include "sys/LogFile.h"

#include <windows.h>

#include <cstdio>

#include "sys/FileSecurity.h"
#include "sys/Text.h"

namespace sys {

namespace {

constexpr wchar_t kPipePrefix[] = L"ynb-log-";
constexpr std::size_t kPipeDigits = 32;
constexpr DWORD kPipeBuffer = 64 * 1024;

std::wstring PipePath(const std::wstring& name)
{
    return L"\\\\.\\pipe\\" + name;
}

} // namespace

bool LogFile::Open(const std::wstring& path, bool append)
{
    // Others may read it while it grows; a file appended to may be appended
    // to by the other programs of one run at once, each line one write at
    // the end.
    file_.Reset(CreateFileW(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
        append ? FILE_SHARE_READ | FILE_SHARE_WRITE : FILE_SHARE_READ, nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS,
        FILE_ATTRIBUTE_NORMAL, nullptr));
    return IsOpen();
}

bool LogFile::OpenPipe(const std::wstring& name)
{
    if (!IsLogPipeName(name))
        return false;
    // Identification only: the server may learn who writes, never act as it.
    file_.Reset(CreateFileW(PipePath(name).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
        SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
    return IsOpen() && GetFileType(file_.Get()) == FILE_TYPE_PIPE;
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
    if (!utf8.empty())
        Raw(utf8.data(), static_cast<unsigned long>(utf8.size()));
}

void LogFile::Raw(const char* bytes, unsigned long size)
{
    DWORD written = 0;
    if (file_ && size > 0)
        (void)WriteFile(file_.Get(), bytes, size, &written, nullptr); // a log does not stop the work
}

bool IsLogPipeName(std::wstring_view name)
{
    const std::wstring_view prefix = kPipePrefix;
    if (name.size() != prefix.size() + kPipeDigits || name.substr(0, prefix.size()) != prefix)
        return false;
    for (wchar_t c : name.substr(prefix.size()))
        if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f')))
            return false;
    return true;
}

struct LogPipe::Pending {
    OVERLAPPED overlapped {};
    char buffer[4096];
    bool busy = false;
};

LogPipe::~LogPipe()
{
    if (pending_ != nullptr && pending_->busy && pipe_) {
        (void)CancelIo(pipe_.Get());
        DWORD ignored = 0;
        (void)GetOverlappedResult(pipe_.Get(), &pending_->overlapped, &ignored, TRUE);
    }
    pipe_.Reset();
    delete pending_;
}

bool LogPipe::Create()
{
    unsigned char random[kPipeDigits / 2];
    if (!RandomBytes(random, sizeof random))
        return false;
    std::wstring name = kPipePrefix;
    for (unsigned char byte : random) {
        name += L"0123456789abcdef"[byte >> 4];
        name += L"0123456789abcdef"[byte & 15];
    }
    ExplicitList list(ExplicitList::Kind::Pipe);
    SECURITY_DESCRIPTOR descriptor;
    if (!list.Describe(descriptor))
        return false;
    SECURITY_ATTRIBUTES attributes { sizeof attributes, &descriptor, FALSE };
    pipe_.Reset(CreateNamedPipeW(PipePath(name).c_str(),
        PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0, kPipeBuffer, 0,
        &attributes));
    event_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!pipe_ || !event_)
        return false;
    pending_ = new Pending;
    pending_->overlapped.hEvent = event_.Get();
    if (ConnectNamedPipe(pipe_.Get(), &pending_->overlapped)) {
        connected_ = true;
    } else if (GetLastError() == ERROR_PIPE_CONNECTED) {
        connected_ = true;
        (void)SetEvent(event_.Get());
    } else if (GetLastError() == ERROR_IO_PENDING) {
        pending_->busy = true;
    } else {
        return false;
    }
    name_ = name;
    return true;
}

// Starts the next read; one that completes at once is left for Pump.
void LogPipe::Read()
{
    (void)ResetEvent(event_.Get());
    pending_->overlapped = OVERLAPPED {};
    pending_->overlapped.hEvent = event_.Get();
    DWORD read = 0;
    if (ReadFile(pipe_.Get(), pending_->buffer, sizeof pending_->buffer, &read, &pending_->overlapped)
        || GetLastError() == ERROR_IO_PENDING || GetLastError() == ERROR_MORE_DATA) {
        pending_->busy = true;
        return;
    }
    broken_ = true; // the writers are gone
}

void LogPipe::Pump(LogFile& log)
{
    if (!pipe_ || pending_ == nullptr || broken_)
        return;
    for (;;) {
        if (pending_->busy) {
            DWORD read = 0;
            const bool done = GetOverlappedResult(pipe_.Get(), &pending_->overlapped, &read, FALSE);
            const DWORD error = done ? ERROR_SUCCESS : GetLastError();
            if (error == ERROR_IO_INCOMPLETE)
                return; // nothing more yet
            pending_->busy = false;
            if (!connected_) { // the writer came
                connected_ = done;
                broken_ = !done;
            } else if (done || error == ERROR_MORE_DATA) {
                log.Raw(pending_->buffer, read);
            } else {
                broken_ = true; // the writers are gone
            }
            if (broken_)
                return;
        }
        if (!connected_)
            return;
        Read();
        if (broken_)
            return;
    }
}

void LogPipe::Drain(LogFile& log, unsigned long milliseconds)
{
    while (pipe_ && pending_ != nullptr && !broken_) {
        Pump(log);
        if (broken_ || WaitForSingleObject(event_.Get(), milliseconds) != WAIT_OBJECT_0)
            break;
    }
    Pump(log);
}

} // namespace sys
