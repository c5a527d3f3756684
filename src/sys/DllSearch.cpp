#include "sys/DllSearch.h"

#include <windows.h>

namespace sys {

void HardenDllSearch()
{
    // Looked up at run time: Windows 7 has the call only with its update.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr)
        return;
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
    if (setDefault != nullptr)
        (void)setDefault(0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */);
    else
        (void)SetDllDirectoryA(""); // at least drop the current directory
}

} // namespace sys
