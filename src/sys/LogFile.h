// The /LOG= file of setup.exe and uninstall.exe: one line per step, file,
// question and answer, in UTF-8, each with its local time, written as it
// happens so that a program that ends early leaves what it did.
#pragma once

#include <string>
#include <string_view>

#include "sys/Handle.h"

namespace sys {

class LogFile {
public:
    // Creates the file or empties an existing one (or, with `append`, writes
    // on after what it holds); false when it cannot.
    bool Open(const std::wstring& path, bool append = false);
    void Close() { file_.Reset(); }
    bool IsOpen() const { return static_cast<bool>(file_); }
    // Nothing happens while no file is open.
    void Line(std::wstring_view text);

private:
    UniqueFile file_;
};

} // namespace sys
