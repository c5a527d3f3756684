// The floor of the installation benchmark: the least any installer of the
// benchmark product must do. It reads every file the product places into
// memory first, then creates them in their final places on so many threads:
// each folder made once, each file written in one call, its time set on the
// handle. The seconds it spent reading go to LOADFILE, so that the benchmark
// can take them off the process's time.
//   ynbbench_floor TREE LIST TARGET THREADS LOADFILE
// TREE holds the sources that LIST names (lines "source<TAB>place<TAB>path",
// the place T for TARGET, D for the desktop, M for the documents). Exit 0
// when every file was written.
#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "WinClock.h"

namespace {

struct File {
    std::wstring target;
    std::string content;
    FILETIME written {};
};

std::wstring Wide(const std::string& text)
{
    std::wstring out(text.size(), L'\0');
    const int length = MultiByteToWideChar(
        CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), static_cast<int>(out.size()));
    out.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return out;
}

bool Read(const std::wstring& path, std::string& content, FILETIME* written)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size {};
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart < (1LL << 31)
        && (written == nullptr || GetFileTime(file, nullptr, nullptr, written));
    if (ok) {
        content.resize(static_cast<std::size_t>(size.QuadPart));
        DWORD read = 0;
        ok = content.empty()
            || (ReadFile(file, content.data(), static_cast<DWORD>(content.size()), &read, nullptr)
                && read == content.size());
    }
    CloseHandle(file);
    return ok;
}

std::wstring SpecialFolder(int csidl)
{
    wchar_t path[MAX_PATH];
    return SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) ? path : L"";
}

bool Write(const File& file)
{
    HANDLE handle
        = CreateFileW(file.target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = file.content.empty()
        || (WriteFile(handle, file.content.data(), static_cast<DWORD>(file.content.size()), &written, nullptr)
            && written == file.content.size());
    ok = SetFileTime(handle, nullptr, nullptr, &file.written) && ok;
    return CloseHandle(handle) && ok;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: ynbbench_floor TREE LIST TARGET THREADS LOADFILE\n");
        return 2;
    }
    const double loadStart = Now();
    const std::wstring tree = argv[1];
    const std::wstring bases[] = { argv[3], SpecialFolder(CSIDL_DESKTOPDIRECTORY), SpecialFolder(CSIDL_PERSONAL) };
    const int threads = std::max(1, _wtoi(argv[4]));
    std::string list;
    if (!Read(argv[2], list, nullptr) || bases[1].empty() || bases[2].empty()) {
        std::fprintf(stderr, "floor: cannot read the list or find the desktop and the documents\n");
        return 1;
    }
    std::vector<File> files;
    std::set<std::wstring> folders; // a folder sorts before what it holds
    for (std::size_t at = 0; at < list.size();) {
        const std::size_t end = std::min(list.find('\n', at), list.size());
        const std::string line = list.substr(at, end - at);
        at = end + 1;
        const std::size_t tab = line.find('\t');
        if (line.empty() || tab == std::string::npos || tab + 3 >= line.size() || line[tab + 2] != '\t')
            continue;
        const char* const kPlaces = "TDM";
        const char* place = std::strchr(kPlaces, line[tab + 1]);
        if (place == nullptr)
            continue;
        File file;
        std::wstring source = tree + L"\\" + Wide(line.substr(0, tab));
        std::replace(source.begin(), source.end(), L'/', L'\\');
        const std::wstring& base = bases[place - kPlaces];
        file.target = base + L"\\" + Wide(line.substr(tab + 3));
        if (!Read(source, file.content, &file.written)) {
            std::fprintf(stderr, "floor: cannot read %ls\n", source.c_str());
            return 1;
        }
        for (std::size_t slash = file.target.find(L'\\', base.size() + 1); slash != std::wstring::npos;
             slash = file.target.find(L'\\', slash + 1))
            folders.insert(file.target.substr(0, slash));
        files.push_back(std::move(file));
    }
    const double loaded = Now() - loadStart;
    FILE* loadFile = _wfopen(argv[5], L"w");
    if (loadFile == nullptr)
        return 1;
    std::fprintf(loadFile, "%.6f\n", loaded);
    std::fclose(loadFile);

    (void)CreateDirectoryW(bases[0].c_str(), nullptr);
    for (const std::wstring& folder : folders)
        (void)CreateDirectoryW(folder.c_str(), nullptr);
    // The files dealt to the threads by bytes, the largest first.
    std::vector<const File*> order;
    for (const File& file : files)
        order.push_back(&file);
    std::sort(
        order.begin(), order.end(), [](const File* a, const File* b) { return a->content.size() > b->content.size(); });
    std::vector<std::vector<const File*>> shares(static_cast<std::size_t>(threads));
    std::vector<std::size_t> bytes(shares.size());
    for (const File* file : order) {
        const std::size_t least
            = static_cast<std::size_t>(std::min_element(bytes.begin(), bytes.end()) - bytes.begin());
        shares[least].push_back(file);
        bytes[least] += file->content.size();
    }
    std::vector<char> failed(shares.size());
    std::vector<std::thread> workers;
    for (std::size_t i = 0; i < shares.size(); ++i)
        workers.emplace_back([&, i] {
            for (const File* file : shares[i])
                failed[i] = static_cast<char>(failed[i] || !Write(*file));
        });
    for (std::thread& worker : workers)
        worker.join();
    if (std::find(failed.begin(), failed.end(), 1) != failed.end()) {
        std::fprintf(stderr, "floor: a file could not be written\n");
        return 1;
    }
    return files.empty() ? 1 : 0;
}
