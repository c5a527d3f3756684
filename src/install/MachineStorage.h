// The transaction's Storage (install/Storage.h) over Win32: files through the
// ANSI calls (every path a transaction makes fits MAX_PATH), the registry
// through the wide calls so that values of any text come back as they were,
// HKEY_LOCAL_MACHINE in this build's view.
#pragma once

#include "install/Storage.h"

namespace install {

// protectFolders: the folders it makes get Program Files' protection from
// their first moment (a machine's installation).
Storage MachineStorage(bool protectFolders = false);

// What is at a path now: nothing, a file or a folder.
PathKind KindOf(const std::string& path);

// A file's buffers and its name made durable (FlushFileBuffers through a
// handle that may write; a read-only file loses the attribute meanwhile).
uint32_t FlushFile(const char* path);

} // namespace install
