#include "install/ProductLock.h"

#include <windows.h>

#include "install/InstallPaths.h"
#include "sys/Text.h"
#include "sys/Win32.h"

namespace install {

bool TakeProductLock(const SetupRecord& record, sys::UniqueHandle& held)
{
    char product[kPathSize] = {};
    (void)FirstComponent(record.ProductFolder, product);
    const std::wstring name = L"YnbSetup-" + sys::FromAnsi(product);
    for (int attempt = 0; attempt < 30; ++attempt) {
        if (sys::TakeLock(name, held))
            return true;
        Sleep(100);
    }
    return false;
}

} // namespace install
