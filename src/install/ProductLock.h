// One setup or uninstallation of a product at a time.
#pragma once

#include "config/SetupRecord.h"
#include "sys/Handle.h"

namespace install {

// The lock of the product's first folder component, which setup.exe and
// uninstall.exe both take (sys::TakeLock). False when another process holds
// it.
bool TakeProductLock(const SetupRecord& record, sys::UniqueHandle& held);

} // namespace install
