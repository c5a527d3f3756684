#include "ui/Error.h"

#include "sys/Text.h"

namespace ui {

Error FileOpenError(const char* fileName)
{
    return Error(L"ファイル " + sys::FromAnsi(fileName) + L" は開けません");
}

} // namespace ui
