// One worker of the extraction: a thread's own cabinet.dll context that
// walks the whole cabinet and writes the files of the folders the schedule
// gives it. What the workers share is read-only while they run, but for each
// file's state (written by the one worker that owns the file), the bytes
// done, the stop flag and the first failure.
#pragma once

#include <windows.h>
#include <fdi.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "package/CabinetExtractor.h"
#include "package/CabinetTable.h"
#include "package/ExtractSchedule.h"
#include "package/PayloadReader.h"
#include "sys/Handle.h"

namespace package {

// Why a run failed: the first failure of any worker, or of the run itself.
struct ExtractFailure {
    ExtractProblem problem = ExtractProblem::None;
    DWORD error = 0; // the Win32 error behind it, 0 when none
    std::string path; // the file or folder it concerns, or empty
    std::string detail; // one English line
};

struct ExtractPlan {
    CabinetTable table;
    std::vector<std::string> names; // per file: its name in the ANSI code page
    std::vector<std::string> outputs; // per file: where it goes, empty when it is not written
    std::vector<bool> asCopy; // per file: written as a copy writes its target
    bool flush = false; // every file's buffers flushed before it is closed
    int memoryFile = -1; // a file read into memory rather than written
    std::string* memory = nullptr;
    ExtractSchedule schedule;
};

class Flusher;

// Superseded: a later file of the table with the same output took it over.
enum class FileState : uint8_t { Untouched, Created, Overwritten, Complete, CompleteOverwritten, Superseded };

struct ExtractShared {
    explicit ExtractShared(const ExtractPlan& p)
        : plan(p)
        , states(p.table.files.size(), FileState::Untouched)
        , refusals(p.table.files.size(), 0)
        , reopened(p.table.files.size(), false)
    {
        for (const int earlier : p.schedule.earlier)
            if (earlier >= 0)
                reopened[static_cast<std::size_t>(earlier)] = true;
    }
    const ExtractPlan& plan;
    std::vector<FileState> states;
    // Per file written as a copy: the Win32 error that kept it from its
    // place, 0 when none (its owner writes it, the run reads it after).
    std::vector<DWORD> refusals;
    std::vector<bool> reopened; // per file: a later entry of the table writes its output again
    std::atomic<uint64_t> done { 0 };
    std::atomic<int> current { -1 }; // the file opened last, for the progress line
    std::atomic<bool> stop { false }; // a worker failed, or the run ends: every worker ends soon
    std::atomic<bool> failed { false };
    ExtractFailure failure; // written once, by whoever set `failed`
    Flusher* flusher = nullptr; // the files' flushes, when the plan asks for them

    // Records the failure unless one came first, and stops every worker.
    // Never throws: a detail that cannot be stored is left empty.
    void Fail(ExtractProblem problem, DWORD error, const char* path, const char* detail) noexcept;
    // A write or create of the file at `index` (or of none, -1) that failed
    // with error: a full disk is one of its own.
    void FailWrite(const char* what, DWORD error, int index) noexcept;
};

// The files written, flushed to the disk and closed on threads of their own,
// in batches: a flush while files are still being written makes the file
// system commit its journal for each, one after the written files costs
// little more than their bytes. The decoding never waits for the disk. A
// failed flush is the run's failure.
class Flusher {
public:
    explicit Flusher(ExtractShared& shared);
    ~Flusher() { Finish(); }
    Flusher(const Flusher&) = delete;
    Flusher& operator=(const Flusher&) = delete;

    // Takes the handle of the file at `index`, whose bytes are all written.
    // Without threads (none could start) it is flushed and closed at once.
    void Add(HANDLE file, std::size_t index);
    // Returns when every file handed over is flushed and closed.
    void Finish();

private:
    static constexpr int kThreads = 4;
    // Files held open at most before the threads begin (a file system's
    // handles are not without cost).
    static constexpr std::size_t kBatch = 4096;

    void Flush(HANDLE file, std::size_t index);
    void Run();

    ExtractShared& shared_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::pair<HANDLE, std::size_t>> queue_;
    bool draining_ = false; // a batch is full: flushed until the queue is empty
    bool ending_ = false;
    std::vector<std::thread> threads_;
};

// cabinet.dll, loaded by its full path in the system folder.
class CabinetLibrary {
public:
    using CreateFn = HFDI(DIAMONDAPI*)(PFNALLOC, PFNFREE, PFNOPEN, PFNREAD, PFNWRITE, PFNCLOSE, PFNSEEK, int, PERF);
    using CopyFn = BOOL(DIAMONDAPI*)(HFDI, char*, char*, int, PFNFDINOTIFY, PFNFDIDECRYPT, void*);
    using DestroyFn = BOOL(DIAMONDAPI*)(HFDI);

    bool Load(std::string& detail, DWORD& error);

    CreateFn create = nullptr;
    CopyFn copy = nullptr;
    DestroyFn destroy = nullptr;

private:
    sys::UniqueModule module_;
};

class Worker;

// What the library's file handles stand for: a pointer to one of these.
struct ExtractStream {
    bool cabinet; // the payload's cabinet, else the file being written
    Worker* worker;
    uint64_t position; // the cabinet's read position
};

class Worker {
public:
    Worker(ExtractShared& shared, const CabinetLibrary& library, const PayloadFile& payload, int32_t key, int index);
    ~Worker(); // destroys the context; the thread has ended
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // false when the worker lacks memory or the library refused a context.
    bool Usable() const { return context_ != nullptr; }
    // The thread's work: one pass of the library over the whole cabinet.
    // Whatever goes wrong, exceptions included, ends as the shared failure.
    void Run() noexcept;

    // The library's callbacks, each of which the file handles lead to.
    INT_PTR Notify(FDINOTIFICATIONTYPE type, const FDINOTIFICATION& record);
    long ReadCabinet(uint64_t& position, void* out, UINT count);
    long Write(const void* data, UINT count);
    void CloseOutput();
    INT_PTR OutputHandle() { return reinterpret_cast<INT_PTR>(&outputStream_); }
    uint64_t PayloadSize() const { return reader_.FileSize(); }
    void FailOnException() noexcept;

private:
    INT_PTR CopyFile(const FDINOTIFICATION& record);
    // The output opened as CopyFile opens its target; a refusal is the
    // file's own and the run goes on.
    INT_PTR OpenAsCopy(std::size_t index, const FDINOTIFICATION& record);
    // The output file opened: the file at hand from here on.
    INT_PTR Begin(std::size_t index, HANDLE file, FileState state);
    INT_PTR CloseFile(const FDINOTIFICATION& record);
    bool Flush();
    // A write or create that failed with error: a full disk is one of its own.
    void FailWrite(const char* what, DWORD error);

    ExtractShared& shared_;
    const CabinetLibrary& library_;
    const int index_;
    CabinetReader reader_;
    std::unique_ptr<unsigned char[]> buffer_;
    // The file being written, from fdintCOPY_FILE to fdintCLOSE_FILE_INFO.
    ExtractStream outputStream_ { false, this, 0 };
    sys::UniqueFile output_;
    int outputIndex_ = -1; // in the table
    bool toMemory_ = false; // the file at hand goes to plan.memory
    uint64_t written_ = 0;
    DWORD buffered_ = 0;
    std::size_t nextFile_ = 0; // the table entry the library's next fdintCOPY_FILE is about
    std::size_t expected_ = 0; // files of this worker's folders
    std::size_t completed_ = 0;
    HFDI context_ = nullptr;
    ERF error_ {};
};

} // namespace package
