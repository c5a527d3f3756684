#include "sys/RestartManager.h"

#include <windows.h>
#include <restartmanager.h>

#include "sys/DllSearch.h"
#include "sys/InUseRules.h"
#include "sys/Text.h"

namespace sys {

namespace {

template <class Function>
Function Entry(const UniqueModule& library, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library.Get(), name)));
}

using StartFn = DWORD(WINAPI*)(DWORD*, DWORD, WCHAR*);
using EndFn = DWORD(WINAPI*)(DWORD);
using RegisterFn = DWORD(WINAPI*)(DWORD, UINT, LPCWSTR*, UINT, RM_UNIQUE_PROCESS*, UINT, LPCWSTR*);
using ListFn = DWORD(WINAPI*)(DWORD, UINT*, UINT*, RM_PROCESS_INFO*, LPDWORD);
using ShutdownFn = DWORD(WINAPI*)(DWORD, ULONG, RM_WRITE_STATUS_CALLBACK);
using RestartFn = DWORD(WINAPI*)(DWORD, DWORD, RM_WRITE_STATUS_CALLBACK);

} // namespace

std::vector<std::string> HeldFiles(const std::vector<std::string>& paths)
{
    std::vector<std::string> held;
    for (const std::string& path : paths) {
        if (path.empty())
            continue;
        UniqueFile file(
            CreateFileA(path.c_str(), FILE_WRITE_DATA | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (JudgeProbe(file ? 0 : GetLastError()) == Probe::Held)
            held.push_back(path);
    }
    return held;
}

RestartManager::~RestartManager()
{
    if (started_)
        if (const auto end = Entry<EndFn>(library_, "RmEndSession"))
            (void)end(session_);
}

bool RestartManager::Begin()
{
    if (started_)
        return true;
    if (!library_)
        library_ = LoadSystemLibrary(L"rstrtmgr.dll");
    const auto start = library_ ? Entry<StartFn>(library_, "RmStartSession") : nullptr;
    WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
    DWORD session = 0;
    started_ = start != nullptr && start(&session, 0, key) == ERROR_SUCCESS;
    session_ = session;
    return started_;
}

bool RestartManager::Register(const std::vector<std::string>& files)
{
    if (files.empty() || !Begin())
        return false;
    const auto add = Entry<RegisterFn>(library_, "RmRegisterResources");
    if (add == nullptr)
        return false;
    std::vector<std::wstring> wide;
    for (const std::string& file : files)
        wide.push_back(FromAnsi(file.c_str()));
    std::vector<LPCWSTR> pointers;
    for (const std::wstring& file : wide)
        pointers.push_back(file.c_str());
    registered_
        = add(session_, static_cast<UINT>(pointers.size()), pointers.data(), 0, nullptr, 0, nullptr) == ERROR_SUCCESS
        || registered_;
    return registered_;
}

std::vector<std::wstring> RestartManager::Holders(const std::vector<uint32_t>& ours)
{
    std::vector<Holder> holders;
    const auto list = registered_ ? Entry<ListFn>(library_, "RmGetList") : nullptr;
    if (list == nullptr)
        return {};
    // The list may grow between the calls: asked again while it does.
    std::vector<RM_PROCESS_INFO> found(8);
    for (int round = 0; round < 4; ++round) {
        UINT needed = 0;
        UINT count = static_cast<UINT>(found.size());
        DWORD reasons = 0;
        const DWORD result = list(session_, &needed, &count, found.data(), &reasons);
        if (result == ERROR_MORE_DATA) {
            found.resize(needed + 4);
            continue;
        }
        if (result != ERROR_SUCCESS)
            return {};
        for (UINT i = 0; i < count && i < found.size(); ++i)
            holders.push_back({ found[i].Process.dwProcessId, found[i].strAppName });
        break;
    }
    return ProgramsToName(holders, ours);
}

bool RestartManager::Shutdown()
{
    const auto shutdown = started_ && registered_ ? Entry<ShutdownFn>(library_, "RmShutdown") : nullptr;
    shutDown_ = shutdown != nullptr && shutdown(session_, 0, nullptr) == ERROR_SUCCESS;
    return shutDown_;
}

void RestartManager::Restart()
{
    const auto restart = shutDown_ ? Entry<RestartFn>(library_, "RmRestart") : nullptr;
    if (restart != nullptr)
        (void)restart(session_, 0, nullptr);
    shutDown_ = false;
}

} // namespace sys
