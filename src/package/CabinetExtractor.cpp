#include "package/CabinetExtractor.h"

#include <windows.h>
#include <fdi.h>
#include <process.h>

#include <cstdarg>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>

#include "package/ExtractSchedule.h"
#include "package/ExtractWorker.h"
#include "package/PayloadReader.h"
#include "sys/NameRules.h"
#include "sys/PathText.h"
#include "sys/PathWalk.h"
#include "sys/Text.h"
#include "sys/Win32.h"

namespace package {

namespace {

constexpr std::size_t kOutputPathSize = 256; // an output path with its terminator
constexpr DWORD kProgressInterval = 50; // ms between progress reports and message checks

__attribute__((format(printf, 1, 2))) std::string Format(const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    (void)std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    return line;
}

// ---- Planning, before anything is written

// The name in the ANSI code page the file functions use: a name marked as
// UTF-8 is converted; false when it is not valid UTF-8 or has characters the
// code page cannot represent.
bool ToAnsiName(const CabinetFileEntry& entry, std::string& ansi)
{
    if ((entry.attributes & _A_NAME_IS_UTF) == 0) {
        ansi = entry.name;
        return true;
    }
    wchar_t wide[kOutputPathSize];
    const int units = MultiByteToWideChar(
        CP_UTF8, MB_ERR_INVALID_CHARS, entry.name.data(), static_cast<int>(entry.name.size()), wide, kOutputPathSize);
    char bytes[kOutputPathSize * 2];
    BOOL lossy = FALSE;
    const int length = units > 0
        ? WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, units, bytes, sizeof bytes, nullptr, &lossy)
        : 0;
    if (length <= 0 || lossy)
        return false;
    ansi.assign(bytes, static_cast<std::size_t>(length));
    return true;
}

// Every name in the system's code page, checked, with backslashes; false
// with the first refusal in failure.
bool ReadNames(const CabinetTable& table, std::vector<std::string>& names, ExtractFailure& failure)
{
    for (const CabinetFileEntry& entry : table.files) {
        std::string name;
        if (!ToAnsiName(entry, name)) {
            failure = { ExtractProblem::RefusedName, 0, {},
                Format("'%s': its UTF-8 name has no form in the system's code page", entry.name.c_str()) };
            return false;
        }
        const NameFault fault = CheckName(name.data(), name.size(), sys::AnsiLead);
        if (fault != NameFault::None) {
            failure
                = { ExtractProblem::RefusedName, 0, {}, Format("'%s': %s", entry.name.c_str(), NameFaultText(fault)) };
            return false;
        }
        for (std::size_t i = 0; i < name.size(); i += sys::CharacterSize(name, i, sys::AnsiLead))
            if (name[i] == '/')
                name[i] = '\\';
        names.push_back(std::move(name));
    }
    return true;
}

// The destination followed by every name; false when a path does not fit.
bool OutputsBelow(const std::string& destination, const std::vector<std::string>& names, const CabinetTable& table,
    std::vector<std::string>& outputs, ExtractFailure& failure)
{
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::string path = destination + names[i];
        if (path.size() >= kOutputPathSize) {
            failure = { ExtractProblem::RefusedName, 0, {},
                Format("'%s': the output path is longer than %lu bytes", table.files[i].name.c_str(),
                    static_cast<unsigned long>(kOutputPathSize - 1)) };
            return false;
        }
        outputs.push_back(std::move(path));
    }
    return true;
}

// The folder part of an output path (before its last separator), or empty.
std::string FolderOf(const std::string& path)
{
    const std::ptrdiff_t last = sys::LastSeparator(path.c_str());
    return last < 0 ? std::string() : path.substr(0, static_cast<std::size_t>(last));
}

// Every folder the files below destination need, each once, parents first,
// and the destination's own.
std::vector<std::string> FoldersBelow(const std::string& destination, const std::vector<std::string>& outputs)
{
    std::map<std::string, std::string> folders; // folded -> as written
    for (const std::string& path : outputs) {
        const std::string folder = FolderOf(path);
        if (folder.size() + 1 > destination.size()) // below the destination: made here
            folders.emplace(sys::PathKey(folder, sys::kAnsiPaths), folder);
    }
    const std::string own = FolderOf(destination);
    if (!own.empty())
        folders.emplace(sys::PathKey(own, sys::kAnsiPaths), own);
    std::vector<std::string> list;
    for (auto& [folded, folder] : folders)
        list.push_back(std::move(folder));
    return list;
}

// Makes the folders; those this call created are appended to `created`,
// parents first.
bool MakeFolders(const std::vector<std::string>& folders, std::vector<std::string>& created, ExtractFailure& failure)
{
    for (const std::string& folder : folders) {
        if (!sys::CreateFolderTree(folder.c_str(), &created)) {
            const DWORD error = GetLastError();
            const bool full = error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
            failure = { full ? ExtractProblem::DiskFull : ExtractProblem::Folder, error, folder,
                Format("%scannot make the folder '%s' (error %lu)", full ? "the disk is full: " : "", folder.c_str(),
                    error) };
            return false;
        }
    }
    return true;
}

int Cores()
{
    SYSTEM_INFO system {};
    GetSystemInfo(&system);
    return static_cast<int>(system.dwNumberOfProcessors);
}

// Removes what a failed run created: its files, then its folders, deepest
// first. Files that existed before stay, and are named.
void RollBack(const ExtractShared& shared, const std::vector<std::string>& folders, ExtractReport& report)
{
    const ExtractPlan& plan = shared.plan;
    for (std::size_t i = plan.outputs.size(); i-- > 0;) {
        const FileState state = shared.states[i];
        const char* path = plan.outputs[i].c_str();
        if (plan.outputs[i].empty())
            continue;
        if (state == FileState::Created || state == FileState::Complete) {
            sys::ClearReadOnly(path);
            (void)DeleteFileA(path);
        } else if (state == FileState::Overwritten || state == FileState::CompleteOverwritten) {
            report.overwritten.push_back(plan.outputs[i]);
        }
    }
    for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder)
        (void)RemoveDirectoryA(folder->c_str());
}

// ---- The run

unsigned __stdcall WorkerMain(void* argument)
{
    static_cast<Worker*>(argument)->Run(); // never throws
    return 0;
}

// The worker threads, which this object owns: on every way out of the run,
// an exception included, it asks them to stop and waits for them, so that
// nothing they use goes away while they run.
class WorkerThreads {
public:
    explicit WorkerThreads(ExtractShared& shared)
        : shared_(shared)
    {
    }
    ~WorkerThreads() { StopAndJoin(); }
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    bool Start(Worker& worker)
    {
        const uintptr_t thread = _beginthreadex(nullptr, 0, WorkerMain, &worker, 0, nullptr);
        if (thread == 0)
            return false;
        threads_.emplace_back(reinterpret_cast<HANDLE>(thread));
        return true;
    }
    int Count() const { return static_cast<int>(threads_.size()); }

    // Waits for every thread without blocking the caller's messages:
    // `pump` when messages arrive, `tell` every interval and at the end.
    template <class Pump, class Tell>
    void Wait(Pump&& pump, Tell&& tell)
    {
        std::vector<HANDLE> running;
        for (const sys::UniqueHandle& thread : threads_)
            running.push_back(thread.Get());
        DWORD told = GetTickCount() - kProgressInterval;
        while (!running.empty()) {
            const auto count = static_cast<DWORD>(running.size());
            const DWORD woken = MsgWaitForMultipleObjects(count, running.data(), FALSE, kProgressInterval, QS_ALLINPUT);
            if (woken < WAIT_OBJECT_0 + count) {
                running.erase(running.begin() + (woken - WAIT_OBJECT_0));
            } else if (woken == WAIT_OBJECT_0 + count) {
                pump();
            } else if (woken == WAIT_FAILED) {
                (void)WaitForMultipleObjects(count, running.data(), TRUE, INFINITE);
                running.clear();
            }
            if (GetTickCount() - told >= kProgressInterval) {
                tell();
                told = GetTickCount();
            }
        }
        tell();
    }

    void StopAndJoin() noexcept
    {
        shared_.stop = true;
        for (const sys::UniqueHandle& thread : threads_)
            (void)WaitForSingleObject(thread.Get(), INFINITE);
        threads_.clear();
    }

private:
    ExtractShared& shared_;
    std::vector<sys::UniqueHandle> threads_;
};

ExtractReport Failed(ExtractReport report, const ExtractFailure& failure)
{
    report.problem = failure.problem;
    report.error = failure.error;
    report.path = failure.path;
    report.detail = failure.detail;
    if (report.detail.empty()) // a failure whose text could not be stored
        report.detail = Format("extraction failed (error %lu)", static_cast<unsigned long>(failure.error));
    return report;
}

} // namespace

struct PayloadCabinet::State {
    PayloadFile payload;
    int32_t key = 0;
    CabinetTable table;
    std::vector<std::string> names;
    bool open = false;
};

PayloadCabinet::PayloadCabinet()
    : state_(std::make_unique<State>())
{
}

PayloadCabinet::~PayloadCabinet() = default;

const CabinetTable& PayloadCabinet::Table() const
{
    return state_->table;
}

const std::vector<std::string>& PayloadCabinet::Names() const
{
    return state_->names;
}

ExtractReport PayloadCabinet::Open(const std::string& path, int32_t key, const std::vector<unsigned char>& digest)
{
    ExtractReport report;
    ExtractFailure failure;
    State& state = *state_;
    state = State {};
    state.key = key;
    if (!state.payload.Open(path.c_str(), failure.detail, failure.error))
        return Failed(report, { ExtractProblem::PayloadUnreadable, failure.error, path, failure.detail });
    if (!digest.empty() && !DigestMatches(state.payload, digest, failure.detail, failure.error))
        return Failed(report, { ExtractProblem::NotOurs, failure.error, path, failure.detail });
    CabinetReader reader(state.payload, key);
    if (!reader.Usable())
        return Failed(report, { ExtractProblem::PayloadUnreadable, 0, {}, "no memory for the payload's blocks" });
    CabinetTableProblem problem = CabinetTableProblem::None;
    bool readFailed = false;
    if (!ReadPayloadTable(reader, state.table, problem, readFailed)) {
        if (readFailed) {
            const DWORD error = GetLastError();
            return Failed(report,
                { ExtractProblem::PayloadUnreadable, error, path,
                    Format("a read of the payload failed (error %lu)", error) });
        }
        return Failed(report,
            { ExtractProblem::Table, 0, {}, Format("the cabinet's table: %s", CabinetTableProblemText(problem)) });
    }
    if (state.table.files.empty())
        return Failed(report, { ExtractProblem::NoFiles, 0, {}, "the cabinet holds no files" });
    if (!ReadNames(state.table, state.names, failure))
        return Failed(report, failure);
    state.open = true;
    return report;
}

ExtractReport PayloadCabinet::Extract(const ExtractJob& job)
{
    ExtractReport report;
    ExtractFailure failure;
    State& state = *state_;
    if (!state.open || job.outputs.size() != state.table.files.size()
        || (!job.asCopy.empty() && job.asCopy.size() != job.outputs.size()))
        return Failed(report, { ExtractProblem::Internal, 0, {}, "an extraction without its payload or its outputs" });
    ExtractPlan plan;
    plan.table = state.table;
    plan.names = state.names;
    plan.outputs = job.outputs;
    plan.asCopy = job.asCopy;
    plan.flush = job.flush;
    plan.memoryFile = job.memoryFile;
    plan.memory = job.memory;
    plan.schedule = ScheduleExtraction(plan.table, plan.outputs, job.maxWorkers, Cores(), sys::kAnsiPaths);
    report.totalSize = plan.schedule.keptSize;
    uint64_t total = 0; // every file written, also one a later file of its name replaces
    for (std::size_t i = 0; i < plan.outputs.size(); ++i)
        total += plan.outputs[i].empty() ? 0 : plan.table.files[i].size;

    CabinetLibrary library;
    if (!library.Load(failure.detail, failure.error))
        return Failed(report, { ExtractProblem::Library, failure.error, {}, failure.detail });

    // Destroyed in the reverse order: the threads are joined before the
    // workers and what they share go.
    ExtractShared shared(plan);
    std::optional<Flusher> flusher;
    if (plan.flush) {
        flusher.emplace(shared);
        shared.flusher = &*flusher;
    }
    // Every file closed, and the threads that wrote them ended.
    const auto settle = [&](WorkerThreads& threads) {
        threads.StopAndJoin();
        if (flusher)
            flusher->Finish();
    };
    std::vector<std::string> createdFolders;
    std::vector<std::unique_ptr<Worker>> workers;
    WorkerThreads threads(shared);
    if (MakeFolders(job.folders, createdFolders, failure)) {
        for (int i = 0; i < plan.schedule.workers && failure.problem == ExtractProblem::None; ++i) {
            workers.push_back(std::make_unique<Worker>(shared, library, state.payload, state.key, i));
            if (!workers.back()->Usable())
                failure = { ExtractProblem::Library, 0, {}, "FDICreate() failed" };
        }
    }
    if (failure.problem == ExtractProblem::None) {
        for (auto& worker : workers) {
            if (!threads.Start(*worker)) {
                const DWORD error = GetLastError();
                shared.Fail(ExtractProblem::Library, error, nullptr,
                    Format("a worker thread could not be started (error %lu)", error).c_str());
                break;
            }
        }
        report.workers = threads.Count();
        auto pump = [&job] {
            if (job.pump)
                job.pump();
        };
        auto tell = [&job, &shared, &plan, total] {
            if (!job.progress)
                return;
            const int current = shared.current;
            const std::string item = current >= 0 ? plan.names[static_cast<std::size_t>(current)] : std::string();
            job.progress(shared.done, total, item);
        };
        try {
            threads.Wait(pump, tell);
        } catch (...) {
            // A window's callback threw: nothing of this run stays.
            settle(threads);
            ExtractReport dropped;
            RollBack(shared, createdFolders, dropped);
            throw;
        }
        settle(threads);
        if (shared.failed)
            failure = shared.failure;
    }
    if (failure.problem != ExtractProblem::None) {
        settle(threads);
        RollBack(shared, createdFolders, report);
        return Failed(report, failure);
    }
    bool refused = false;
    for (std::size_t i = 0; i < plan.outputs.size(); ++i) {
        refused = refused || shared.refusals[i] != 0;
        if (plan.schedule.kept[i] && shared.refusals[i] == 0)
            report.placed.push_back(plan.outputs[i]);
    }
    if (refused)
        report.refusals.assign(shared.refusals.begin(), shared.refusals.end());
    return report;
}

ExtractReport PayloadCabinet::PlaceBelow(const std::string& destination, ExtractJob& job) const
{
    ExtractReport report;
    if (destination.size() + 1 >= kOutputPathSize)
        return Failed(report, { ExtractProblem::RefusedName, 0, {}, "the destination folder's path is too long" });
    ExtractFailure failure;
    job.outputs.clear();
    if (!OutputsBelow(destination, state_->names, state_->table, job.outputs, failure))
        return Failed(report, failure);
    job.folders = FoldersBelow(destination, job.outputs);
    return report;
}

ExtractReport ExtractPayload(const ExtractRequest& request)
{
    PayloadCabinet cabinet;
    ExtractReport report = cabinet.Open(request.payload, request.key, request.digest);
    if (report.problem != ExtractProblem::None)
        return report;
    ExtractJob job;
    report = cabinet.PlaceBelow(request.destination, job);
    if (report.problem != ExtractProblem::None)
        return report;
    job.maxWorkers = request.maxWorkers;
    job.pump = request.pump;
    job.progress = request.progress;
    return cabinet.Extract(job);
}

} // namespace package
