// The /LOG= file of setup.exe and uninstall.exe: one line per step, file,
// question and answer, in UTF-8, each with its local time, written as it
// happens so that a program that ends early leaves what it did.
//
// Only the program that was started with /LOG= opens that path, with its own
// rights. The copy it starts with administrator rights never does: it writes
// its lines into a pipe that this program offers (LogPipe), and this program
// writes them into its file; the uninstaller's temporary copy writes through
// the handle it inherits (the file's, or the pipe's).
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "sys/Handle.h"

namespace sys {

class LogFile {
public:
    // Creates the file or empties an existing one (or, with `append`, writes
    // on after what it holds); false when it cannot.
    bool Open(const std::wstring& path, bool append = false);
    // Writes into the pipe a LogPipe of that name offers (the program that
    // started this one); false when it cannot be opened. The program at the
    // other end may identify this one, never act as it.
    bool OpenPipe(const std::wstring& name);
    // Writes through a handle this process inherited (a file's or a pipe's).
    void Adopt(HANDLE handle) { file_.Reset(handle); }
    void Close() { file_.Reset(); }
    bool IsOpen() const { return static_cast<bool>(file_); }
    HANDLE Handle() const { return file_.Get(); }
    // Nothing happens while no file is open.
    void Line(std::wstring_view text);
    // Bytes as they come from a LogPipe: lines already stamped.
    void Raw(const char* bytes, unsigned long size);

private:
    UniqueFile file_;
};

// A name a LogPipe may have: "ynb-log-" and 32 hexadecimal digits.
bool IsLogPipeName(std::wstring_view name);

// The reading end of the pipe through which the copy that this program
// starts with administrator rights sends its lines: one instance, made here
// first (no other program's pipe of the name is taken), under a random name,
// which only SYSTEM, the administrators and this account may open, and
// refusing remote clients.
class LogPipe {
public:
    LogPipe() = default;
    ~LogPipe();
    LogPipe(const LogPipe&) = delete;
    LogPipe& operator=(const LogPipe&) = delete;

    bool Create();
    const std::wstring& Name() const { return name_; }
    // Signalled when something arrived (or the writer connected or went).
    HANDLE Event() const { return event_.Get(); }
    // Writes what has arrived into `log`, and waits for more without blocking.
    void Pump(LogFile& log);
    // After the copy's end: what it and whatever it started wrote before,
    // waiting at most `milliseconds` for each further piece.
    void Drain(LogFile& log, unsigned long milliseconds = 200);

private:
    void Read();

    std::wstring name_;
    UniqueFile pipe_;
    UniqueHandle event_;
    struct Pending;
    Pending* pending_ = nullptr; // the overlapped operation and its buffer
    bool connected_ = false;
    bool broken_ = false;
};

} // namespace sys
