// Lies beside a planted cabinet.dll. "harden PAYLOAD": restricts the DLL
// search as setup.exe does at start, extracts the payload as setup.exe does,
// loads "cabinet.dll" by name, then creates a shortcut through COM.
// "plain": only loads "cabinet.dll" by name (the control: the plant works).
// Prints what it found; exit status 0 when the planted DLL was kept out (or,
// in "plain", when it was loaded), 1 otherwise.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "config/ProductData.h"
#include "package/CabinetExtractor.h"
#include "sys/ClsFile.h"
#include "sys/DllSearch.h"

namespace {

bool LoadsPlanted()
{
    const HMODULE module = LoadLibraryA("cabinet.dll");
    char path[MAX_PATH] = "(none)";
    if (module != nullptr)
        (void)GetModuleFileNameA(module, path, sizeof path);
    // Wine may map a DLL found beside the program onto its own builtin code;
    // the path still tells where the search found it.
    char self[MAX_PATH] = {};
    (void)GetModuleFileNameA(nullptr, self, sizeof self);
    char* slash = std::strrchr(self, '\\');
    const std::size_t folderLength = slash != nullptr ? static_cast<std::size_t>(slash - self + 1) : 0;
    const bool beside = module != nullptr && folderLength > 0 && _strnicmp(path, self, folderLength) == 0;
    const bool planted = module != nullptr && (beside || GetProcAddress(module, "YnbPlantedMarker") != nullptr);
    std::printf("cabinet.dll by name: %s (%s)\n", path, planted ? "planted" : "system");
    return planted;
}

} // namespace

int main(int argc, char** argv)
{
    const bool harden = argc > 2 && std::strcmp(argv[1], "harden") == 0;
    if (!harden)
        return LoadsPlanted() ? 0 : 1;

    sys::HardenDllSearch();
    char temp[MAX_PATH];
    char folder[MAX_PATH];
    char self[MAX_PATH];
    if (GetTempPathA(sizeof temp, temp) == 0 || GetModuleFileNameA(nullptr, self, sizeof self) == 0)
        return 1;
    std::snprintf(folder, sizeof folder, "%synbdll-%lu", temp, GetCurrentProcessId());
    (void)ClsFile::DeleteFolder(folder);
    if (!CreateDirectoryA(folder, nullptr))
        return 1;

    // The payload (a host path) extracted as setup.exe extracts it.
    std::string payload = std::string("Z:") + argv[2];
    for (char& c : payload)
        c = c == '/' ? '\\' : c;
    package::ExtractRequest request;
    request.payload = payload;
    request.key = kPayloadKey;
    request.destination = std::string(folder) + "\\payload\\";
    const package::ExtractReport report = package::ExtractPayload(request);
    std::printf("extraction: %s\n", report.problem == package::ExtractProblem::None ? "ok" : report.detail.c_str());
    if (report.problem != package::ExtractProblem::None)
        return 1;
    const bool planted = LoadsPlanted();

    // COM still works: a shortcut to this program in a folder of our own.
    const bool made = ClsFile::CreateShortcut(self, folder, "probe");
    char link[MAX_PATH];
    std::snprintf(link, sizeof link, "%s\\probe.lnk", folder);
    WIN32_FILE_ATTRIBUTE_DATA data;
    const bool exists = GetFileAttributesExA(link, GetFileExInfoStandard, &data) && data.nFileSizeLow > 0;
    std::printf("shortcut: %s\n", made && exists ? "ok" : "failed");
    (void)ClsFile::DeleteFolder(folder);
    return !planted && made && exists ? 0 : 1;
}
