#include "install/ProductLock.h"

#include "install/InstallPaths.h"
#include "sys/Text.h"
#include "sys/Win32.h"

namespace install {

bool TakeProductLock(const SetupRecord& record, sys::UniqueHandle& held)
{
    char product[kPathSize] = {};
    (void)FirstComponent(record.ProductFolder, product);
    return sys::TakeLock(L"YnbSetup-" + sys::FromAnsi(product), held);
}

} // namespace install
