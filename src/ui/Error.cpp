#include "ui/Error.h"

#include "ui/Text.h"

namespace ui {

Error FileOpenError(const char* fileName)
{
    return Error(L"ファイル " + FromAnsi(fileName) + L" は開けません");
}

} // namespace ui
