#include "sys/DllSearch.h"

#include <windows.h>

#include <cwchar>

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

UniqueModule LoadSystemLibrary(const wchar_t* name)
{
    wchar_t path[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0)
        return UniqueModule();
    if (length + 1 + std::wcslen(name) + 1 > MAX_PATH) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return UniqueModule();
    }
    path[length] = L'\\';
    std::wcscpy(path + length + 1, name);
    return UniqueModule(LoadLibraryW(path));
}

} // namespace sys
