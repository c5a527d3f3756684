// The framework's one exception class. Thrown only by the framework (a file
// that a control must load cannot be opened); caught at every window procedure
// and shown in the default error box, or by the entry's last-resort handler.
#pragma once

#include <exception>
#include <string>

namespace ui {

class Error : public std::exception {
public:
    explicit Error(std::wstring message)
        : message_(std::move(message))
    {
    }
    const std::wstring& Message() const { return message_; }
    const char* what() const noexcept override { return "ui::Error"; }

private:
    std::wstring message_;
};

// "ファイル %s は開けません" with the file name as given (ANSI bytes).
Error FileOpenError(const char* fileName);

} // namespace ui
