// One setup or uninstallation of a product at a time.
#pragma once

#include "config/SetupRecord.h"
#include "sys/Handle.h"

namespace install {

// The lock of the product's first folder component, which setup.exe and
// uninstall.exe both take (sys::TakeLock). A lock that another process holds
// is waited for a few seconds (an uninstallation's last steps, after its
// caller has its exit code); false when it is still held then.
bool TakeProductLock(const SetupRecord& record, sys::UniqueHandle& held);

} // namespace install
