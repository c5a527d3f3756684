// The reference of the installation benchmark: a plain cabinet extracted
// through cabinet.dll on one thread, with the same work per file as setup.exe
// (the time set on the open handle, the attributes only when they differ from
// a new file's, each folder made once) and nothing else: no unscrambling, no
// checks, no rollback.
//   ynbbench_bare CABINET DESTINATION    (exit 0 when every file was written)
#include <windows.h>
#include <fdi.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>

namespace {

std::string destination;
std::set<std::string> folders; // known to exist
bool failed = false;

void* DIAMONDAPI Alloc(ULONG size)
{
    return HeapAlloc(GetProcessHeap(), 0, size);
}

void DIAMONDAPI Free(void* block)
{
    HeapFree(GetProcessHeap(), 0, block);
}

INT_PTR DIAMONDAPI Open(char* path, int, int)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    return file == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<INT_PTR>(file);
}

UINT DIAMONDAPI Read(INT_PTR file, void* buffer, UINT count)
{
    DWORD read = 0;
    return ReadFile(reinterpret_cast<HANDLE>(file), buffer, count, &read, nullptr) ? read : static_cast<UINT>(-1);
}

UINT DIAMONDAPI Write(INT_PTR file, void* buffer, UINT count)
{
    DWORD written = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(file), buffer, count, &written, nullptr) || written != count)
        failed = true;
    return written;
}

int DIAMONDAPI Close(INT_PTR file)
{
    return CloseHandle(reinterpret_cast<HANDLE>(file)) ? 0 : -1;
}

long DIAMONDAPI Seek(INT_PTR file, long distance, int origin)
{
    return static_cast<long>(SetFilePointer(reinterpret_cast<HANDLE>(file), distance, nullptr, origin));
}

void MakeFolders(const std::string& path)
{
    const std::size_t last = path.find_last_of('\\');
    if (last == std::string::npos || last < destination.size())
        return;
    const std::string folder = path.substr(0, last);
    if (!folders.insert(folder).second)
        return;
    for (std::size_t at = destination.size(); (at = folder.find('\\', at + 1)) != std::string::npos;)
        CreateDirectoryA(folder.substr(0, at).c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
}

INT_PTR DIAMONDAPI Notify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION record)
{
    if (type == fdintCOPY_FILE) {
        const std::string path = destination + record->psz1;
        MakeFolders(path);
        HANDLE file
            = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            failed = true;
            return -1;
        }
        return reinterpret_cast<INT_PTR>(file);
    }
    if (type == fdintCLOSE_FILE_INFO) {
        HANDLE file = reinterpret_cast<HANDLE>(record->hf);
        FILETIME local;
        FILETIME utc;
        if (DosDateTimeToFileTime(record->date, record->time, &local) && LocalFileTimeToFileTime(&local, &utc))
            SetFileTime(file, &utc, nullptr, &utc);
        CloseHandle(file);
        const DWORD attributes = record->attribs & 0x27;
        if (attributes != FILE_ATTRIBUTE_ARCHIVE)
            SetFileAttributesA((destination + record->psz1).c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
        return TRUE;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    destination = std::string(argv[2]) + "\\";
    HMODULE library = LoadLibraryExA("CABINET", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    auto create = reinterpret_cast<HFDI(DIAMONDAPI*)(PFNALLOC, PFNFREE, PFNOPEN, PFNREAD, PFNWRITE, PFNCLOSE, PFNSEEK,
        int, PERF)>(reinterpret_cast<void*>(GetProcAddress(library, "FDICreate")));
    auto copy = reinterpret_cast<BOOL(DIAMONDAPI*)(HFDI, char*, char*, int, PFNFDINOTIFY, PFNFDIDECRYPT, void*)>(
        reinterpret_cast<void*>(GetProcAddress(library, "FDICopy")));
    auto destroy
        = reinterpret_cast<BOOL(DIAMONDAPI*)(HFDI)>(reinterpret_cast<void*>(GetProcAddress(library, "FDIDestroy")));
    if (create == nullptr || copy == nullptr || destroy == nullptr)
        return 1;
    ERF error {};
    HFDI context = create(Alloc, Free, Open, Read, Write, Close, Seek, 1, &error);
    std::string cabinet = argv[1];
    const std::size_t slash = cabinet.find_last_of('\\');
    std::string folder = cabinet.substr(0, slash + 1);
    std::string name = cabinet.substr(slash + 1);
    const BOOL copied = context != nullptr && copy(context, name.data(), folder.data(), 0, Notify, nullptr, nullptr);
    if (context != nullptr)
        destroy(context);
    if (!copied || failed) {
        std::fprintf(stderr, "bare extraction failed: code %d\n", error.erfOper);
        return 1;
    }
    return 0;
}
