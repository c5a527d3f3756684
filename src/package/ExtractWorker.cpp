#include "package/ExtractWorker.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <new>

#include "sys/DllSearch.h"

namespace package {

namespace {

constexpr DWORD kWriteBufferSize = 256 * 1024; // output is written in pieces this large
constexpr DWORD kKeptAttributes = 0x27; // read-only, hidden, system, archive
constexpr int kCpu80386 = 1;
// The name under which every worker hands the payload to the library; the
// open callback knows the worker by the thread it runs on.
constexpr char kCabinetName[] = "payload";
thread_local Worker* tWorker = nullptr;

// One line of a report, formatted without allocating.
struct Line {
    char text[600];
};

__attribute__((format(printf, 1, 2))) Line Say(const char* format, ...)
{
    Line line;
    va_list args;
    va_start(args, format);
    (void)std::vsnprintf(line.text, sizeof line.text, format, args);
    va_end(args);
    return line;
}

// A callback's body: an exception stops at the library's frame, which it
// could not cross, and becomes the worker's failure.
template <class Result, class Body>
Result Guarded(Worker& worker, Result failed, Body&& body) noexcept
{
    try {
        return body();
    } catch (...) {
        worker.FailOnException();
        return failed;
    }
}

ExtractStream* StreamOf(INT_PTR handle)
{
    return handle != 0 && handle != -1 ? reinterpret_cast<ExtractStream*>(handle) : nullptr;
}

INT_PTR DIAMONDAPI OnNotify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION record)
{
    auto* worker = record != nullptr ? static_cast<Worker*>(record->pv) : nullptr;
    if (worker == nullptr)
        return -1;
    // FALSE ends the run after a file's close, -1 after anything else.
    const INT_PTR failed = type == fdintCLOSE_FILE_INFO ? FALSE : -1;
    return Guarded(*worker, failed, [&] { return worker->Notify(type, *record); });
}

void* DIAMONDAPI CabAlloc(ULONG size)
{
    return HeapAlloc(GetProcessHeap(), 0, size);
}

void DIAMONDAPI CabFree(void* block)
{
    if (block != nullptr)
        (void)HeapFree(GetProcessHeap(), 0, block);
}

// The library opens only the cabinet, on the thread of the worker it serves.
INT_PTR DIAMONDAPI CabOpen(char* path, int /*flags*/, int /*permission*/)
{
    Worker* worker = tWorker;
    if (worker == nullptr || path == nullptr || std::strcmp(path, kCabinetName) != 0)
        return -1;
    auto* stream = new (std::nothrow) ExtractStream { true, worker, 0 };
    return stream != nullptr ? reinterpret_cast<INT_PTR>(stream) : -1;
}

UINT DIAMONDAPI CabRead(INT_PTR handle, void* buffer, UINT count)
{
    ExtractStream* stream = StreamOf(handle);
    if (stream == nullptr || !stream->cabinet || count > INT_MAX)
        return static_cast<UINT>(-1);
    return static_cast<UINT>(
        Guarded(*stream->worker, -1L, [&] { return stream->worker->ReadCabinet(stream->position, buffer, count); }));
}

UINT DIAMONDAPI CabWrite(INT_PTR handle, void* buffer, UINT count)
{
    ExtractStream* stream = StreamOf(handle);
    if (stream == nullptr || stream->cabinet || count > INT_MAX)
        return static_cast<UINT>(-1);
    return static_cast<UINT>(Guarded(*stream->worker, -1L, [&] { return stream->worker->Write(buffer, count); }));
}

int DIAMONDAPI CabClose(INT_PTR handle)
{
    ExtractStream* stream = StreamOf(handle);
    if (stream == nullptr)
        return -1;
    if (stream->cabinet)
        delete stream;
    else
        stream->worker->CloseOutput(); // after an error: the file is unfinished
    return 0;
}

long DIAMONDAPI CabSeek(INT_PTR handle, long distance, int origin)
{
    ExtractStream* stream = StreamOf(handle);
    if (stream == nullptr || !stream->cabinet)
        return -1;
    int64_t base = 0;
    if (origin == SEEK_CUR)
        base = static_cast<int64_t>(stream->position);
    else if (origin == SEEK_END)
        base = static_cast<int64_t>(stream->worker->PayloadSize());
    const int64_t target = base + distance;
    if (target < 0 || target > LONG_MAX)
        return -1;
    stream->position = static_cast<uint64_t>(target);
    return static_cast<long>(target);
}

// Writes every byte, going on after a short write (Wine reports a volume
// that fills as one, and the write after it fails with the cause); false with
// the Win32 error in error.
bool WriteWhole(HANDLE file, const unsigned char* bytes, DWORD count, DWORD& error)
{
    while (count > 0) {
        DWORD written = 0;
        if (!WriteFile(file, bytes, count, &written, nullptr)) {
            error = GetLastError();
            return false;
        }
        if (written == 0 || written > count) {
            error = ERROR_WRITE_FAULT;
            return false;
        }
        bytes += written;
        count -= written;
    }
    return true;
}

bool IsDiskFull(DWORD error)
{
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
}

// Flushes a written file when asked, and closes it: the first error, 0 for
// none. A failed close may have lost what was written.
DWORD FlushAndClose(HANDLE file, bool flush) noexcept
{
    DWORD error = flush && !FlushFileBuffers(file) ? GetLastError() : 0;
    if (!CloseHandle(file) && error == 0)
        error = GetLastError();
    return error;
}

} // namespace

void ExtractShared::Fail(ExtractProblem problem, DWORD error, const char* path, const char* detail) noexcept
{
    bool expected = false;
    if (failed.compare_exchange_strong(expected, true)) {
        failure.problem = problem;
        failure.error = error;
        try {
            failure.path = path != nullptr ? path : "";
            failure.detail = detail != nullptr ? detail : "";
        } catch (...) {
            // no memory for the texts: the problem and the error stay
        }
    }
    stop = true;
}

void ExtractShared::FailWrite(const char* what, DWORD error, int index) noexcept
{
    const char* path = index >= 0 ? plan.outputs[static_cast<std::size_t>(index)].c_str() : "";
    if (IsDiskFull(error))
        Fail(ExtractProblem::DiskFull, error, path, Say("the disk is full: cannot %s '%s' (error %lu)", what, path, error).text);
    else
        Fail(ExtractProblem::WriteFailed, error, path, Say("cannot %s '%s' (error %lu)", what, path, error).text);
}

Flusher::Flusher(ExtractShared& shared)
    : shared_(shared)
{
    try {
        for (int i = 0; i < kThreads; ++i)
            threads_.emplace_back([this] { Run(); });
    } catch (...) {
        // no thread: each file is flushed where it is written
    }
}

void Flusher::Add(HANDLE file, std::size_t index)
{
    if (!threads_.empty()) {
        try {
            const std::lock_guard<std::mutex> lock(mutex_);
            queue_.emplace_back(file, index);
            if (queue_.size() >= kBatch) {
                draining_ = true;
                ready_.notify_all();
            }
            return;
        } catch (...) {
            // no memory for the queue: flushed here
        }
    }
    Flush(file, index);
}

void Flusher::Finish()
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        ending_ = true;
        ready_.notify_all();
    }
    for (std::thread& thread : threads_)
        thread.join();
    threads_.clear();
}

void Flusher::Flush(HANDLE file, std::size_t index)
{
    // After a failure the run is rolled back: only closed.
    const bool failed = shared_.failed;
    if (const DWORD error = FlushAndClose(file, !failed); error != 0 && !failed)
        shared_.FailWrite("write", error, static_cast<int>(index));
}

void Flusher::Run()
{
    for (;;) {
        std::pair<HANDLE, std::size_t> next;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            ready_.wait(lock, [this] { return ending_ || draining_; });
            if (queue_.empty()) {
                if (ending_)
                    return;
                draining_ = false;
                continue;
            }
            next = queue_.front();
            queue_.pop_front();
        }
        Flush(next.first, next.second);
    }
}

bool CabinetLibrary::Load(std::string& detail, DWORD& error)
{
    // By its full path in the system folder, never from beside the program
    // (LOAD_LIBRARY_SEARCH_SYSTEM32 is refused where Windows 7 lacks its update).
    module_ = sys::LoadSystemLibrary(L"cabinet.dll");
    if (!module_) {
        error = GetLastError();
        detail = Say("the cabinet library (cabinet.dll) could not be loaded (error %lu)", error).text;
        return false;
    }
    auto find = [this](const char* entry) { return reinterpret_cast<void*>(GetProcAddress(module_.Get(), entry)); };
    create = reinterpret_cast<CreateFn>(find("FDICreate"));
    copy = reinterpret_cast<CopyFn>(find("FDICopy"));
    destroy = reinterpret_cast<DestroyFn>(find("FDIDestroy"));
    if (create == nullptr || copy == nullptr || destroy == nullptr || find("FDIIsCabinet") == nullptr) {
        detail = "the cabinet library lacks an FDI entry point";
        module_.Reset();
        return false;
    }
    return true;
}

Worker::Worker(ExtractShared& shared, const CabinetLibrary& library, const PayloadFile& payload, int32_t key, int index)
    : shared_(shared)
    , library_(library)
    , index_(index)
    , reader_(payload, key)
    , buffer_(new (std::nothrow) unsigned char[kWriteBufferSize])
{
    if (reader_.Usable() && buffer_ != nullptr)
        context_
            = library_.create(CabAlloc, CabFree, CabOpen, CabRead, CabWrite, CabClose, CabSeek, kCpu80386, &error_);
}

Worker::~Worker()
{
    if (context_ != nullptr)
        (void)library_.destroy(context_);
}

void Worker::FailOnException() noexcept
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        shared_.Fail(ExtractProblem::Internal, ERROR_NOT_ENOUGH_MEMORY, nullptr, "no memory on a worker thread");
    } catch (...) {
        shared_.Fail(ExtractProblem::Internal, 0, nullptr, "a worker thread met an unexpected error");
    }
}

void Worker::FailWrite(const char* what, DWORD error)
{
    shared_.FailWrite(what, error, outputIndex_);
}

INT_PTR Worker::Notify(FDINOTIFICATIONTYPE type, const FDINOTIFICATION& record)
{
    switch (type) {
    case fdintCOPY_FILE:
        return CopyFile(record);
    case fdintCLOSE_FILE_INFO:
        return CloseFile(record);
    case fdintPARTIAL_FILE: // the table refuses continued files: cannot happen
    case fdintNEXT_CABINET: // nor chained cabinets
        shared_.Fail(ExtractProblem::Damaged, 0, nullptr, "the library asked for another cabinet");
        return -1;
    default:
        return 0;
    }
}

INT_PTR Worker::CopyFile(const FDINOTIFICATION& record)
{
    if (shared_.stop)
        return -1; // another worker failed, or the run ends
    const ExtractPlan& plan = shared_.plan;
    const std::size_t index = nextFile_++;
    // The library walks the table it read itself; it must be the one read here.
    if (index >= plan.table.files.size() || record.psz1 == nullptr || plan.table.files[index].name != record.psz1
        || plan.table.files[index].size != static_cast<uint32_t>(record.cb)) {
        shared_.Fail(ExtractProblem::Damaged, 0, nullptr, "the library's file table differs from the cabinet's");
        return -1;
    }
    if (plan.schedule.owner[plan.table.files[index].folder] != index_)
        return 0; // another worker's
    if (static_cast<int>(index) == plan.memoryFile && plan.memory != nullptr) {
        plan.memory->clear();
        toMemory_ = true;
        outputIndex_ = static_cast<int>(index);
        written_ = 0;
        return OutputHandle();
    }
    if (plan.outputs[index].empty())
        return 0; // not written
    if (!plan.asCopy.empty() && plan.asCopy[index])
        return OpenAsCopy(index, record);
    const char* path = plan.outputs[index].c_str();
    FileState state = FileState::Created;
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) {
        // An earlier file: read-only, hidden or system would refuse the overwrite.
        const DWORD attributes = GetFileAttributesA(path);
        const DWORD guarded = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & guarded) != 0)
            (void)SetFileAttributesA(path, attributes & ~guarded);
        file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        const DWORD error = GetLastError();
        if (file == INVALID_HANDLE_VALUE && attributes != INVALID_FILE_ATTRIBUTES && (attributes & guarded) != 0)
            (void)SetFileAttributesA(path, attributes);
        SetLastError(error);
        state = FileState::Overwritten;
    }
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        outputIndex_ = static_cast<int>(index);
        FailWrite("create", error);
        outputIndex_ = -1;
        return -1;
    }
    // A file of this run that an earlier entry of the table wrote is still
    // this run's (or still the one that was there before).
    const int earlier = plan.schedule.earlier[index];
    if (earlier >= 0) {
        FileState& before = shared_.states[static_cast<std::size_t>(earlier)];
        if (before == FileState::Created || before == FileState::Complete)
            state = FileState::Created;
        else if (before == FileState::Overwritten || before == FileState::CompleteOverwritten)
            state = FileState::Overwritten;
        before = FileState::Superseded;
    }
    return Begin(index, file, state);
}

INT_PTR Worker::Begin(std::size_t index, HANDLE file, FileState state)
{
    shared_.states[index] = state;
    output_.Reset(file);
    outputIndex_ = static_cast<int>(index);
    written_ = 0;
    buffered_ = 0;
    shared_.current = static_cast<int>(index);
    return OutputHandle();
}

INT_PTR Worker::OpenAsCopy(std::size_t index, const FDINOTIFICATION& record)
{
    const char* path = shared_.plan.outputs[index].c_str();
    const DWORD attributes = static_cast<DWORD>(record.attribs) & kKeptAttributes;
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
        attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = GetLastError();
    if (file == INVALID_HANDLE_VALUE) {
        if (IsDiskFull(error)) {
            outputIndex_ = static_cast<int>(index);
            FailWrite("create", error);
            outputIndex_ = -1;
            return -1;
        }
        // A copy that could not replace its target: the entry's failure.
        shared_.refusals[index] = error != 0 ? error : ERROR_ACCESS_DENIED;
        shared_.done += shared_.plan.table.files[index].size;
        ++completed_;
        return 0;
    }
    return Begin(index, file, error == ERROR_ALREADY_EXISTS ? FileState::Overwritten : FileState::Created);
}

bool Worker::Flush()
{
    if (buffered_ == 0)
        return true;
    DWORD error = 0;
    const bool whole = WriteWhole(output_.Get(), buffer_.get(), buffered_, error);
    buffered_ = 0;
    if (!whole)
        FailWrite("write", error);
    return whole;
}

long Worker::Write(const void* data, UINT count)
{
    if (outputIndex_ < 0 || shared_.stop)
        return -1;
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (toMemory_) {
        const CabinetFileEntry& entry = shared_.plan.table.files[static_cast<std::size_t>(outputIndex_)];
        if (written_ + count > entry.size)
            return -1; // more than the table says: the close tells
        shared_.plan.memory->append(reinterpret_cast<const char*>(bytes), count);
        written_ += count;
        return static_cast<long>(count);
    }
    if (buffered_ + count > kWriteBufferSize && !Flush())
        return -1;
    if (count >= kWriteBufferSize) {
        DWORD error = 0;
        if (!WriteWhole(output_.Get(), bytes, count, error)) {
            FailWrite("write", error);
            return -1;
        }
    } else {
        std::memcpy(buffer_.get() + buffered_, bytes, count);
        buffered_ += count;
    }
    written_ += count;
    shared_.done += count;
    return static_cast<long>(count);
}

INT_PTR Worker::CloseFile(const FDINOTIFICATION& record)
{
    if (record.hf != OutputHandle() || outputIndex_ < 0)
        return FALSE;
    const std::size_t index = static_cast<std::size_t>(outputIndex_);
    const CabinetFileEntry& entry = shared_.plan.table.files[index];
    if (toMemory_) {
        toMemory_ = false;
        outputIndex_ = -1;
        if (written_ != entry.size) {
            shared_.Fail(ExtractProblem::Damaged, 0, nullptr,
                Say("'%s': %llu bytes decoded, %lu in the table", entry.name.c_str(),
                    static_cast<unsigned long long>(written_), static_cast<unsigned long>(entry.size))
                    .text);
            return FALSE;
        }
        ++completed_;
        return TRUE;
    }
    const std::string& path = shared_.plan.outputs[index];
    const bool asCopy = !shared_.plan.asCopy.empty() && shared_.plan.asCopy[index];
    bool good = Flush();
    if (good && written_ != entry.size) {
        // The library goes on after a decoding error; the bytes tell.
        shared_.Fail(ExtractProblem::Damaged, 0, path.c_str(),
            Say("'%s': %llu bytes decoded, %lu in the table", entry.name.c_str(),
                static_cast<unsigned long long>(written_), static_cast<unsigned long>(entry.size))
                .text);
        good = false;
    } else if (good) {
        // The times and the attributes in one: a copy keeps the time of its
        // source's last write, is created now and was created with its
        // attributes; a new file has the archive attribute and nothing else.
        // Zero leaves a value as it is.
        FILE_BASIC_INFO basic {};
        FILETIME local;
        FILETIME utc;
        if (DosDateTimeToFileTime(record.date, record.time, &local) && LocalFileTimeToFileTime(&local, &utc)) {
            basic.LastWriteTime.LowPart = utc.dwLowDateTime;
            basic.LastWriteTime.HighPart = static_cast<LONG>(utc.dwHighDateTime);
            if (!asCopy)
                basic.CreationTime = basic.LastWriteTime;
        }
        const DWORD attributes = record.attribs & kKeptAttributes;
        if (attributes != FILE_ATTRIBUTE_ARCHIVE && !asCopy)
            basic.FileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
        (void)SetFileInformationByHandle(output_.Get(), FileBasicInfo, &basic, sizeof basic);
    }
    // A file a later entry of the table writes again is closed here: that
    // entry opens it.
    if (good && shared_.flusher != nullptr && !shared_.reopened[index]) {
        shared_.flusher->Add(output_.Release(), index);
    } else if (const DWORD error = FlushAndClose(output_.Release(), good && shared_.plan.flush); error != 0 && good) {
        FailWrite("write", error);
        good = false;
    }
    outputIndex_ = -1;
    if (!good)
        return FALSE;
    FileState& state = shared_.states[index];
    state = state == FileState::Overwritten ? FileState::CompleteOverwritten : FileState::Complete;
    ++completed_;
    return TRUE;
}

void Worker::CloseOutput()
{
    buffered_ = 0;
    toMemory_ = false;
    (void)output_.Reset();
    outputIndex_ = -1;
}

long Worker::ReadCabinet(uint64_t& position, void* out, UINT count)
{
    if (shared_.stop)
        return -1; // another worker failed, or the run ends
    // While a file is extracted, the library reads only its folder's blocks:
    // a file that claims more than its folder holds would read on into the
    // next folder's.
    const ExtractPlan& plan = shared_.plan;
    uint64_t start = 0;
    uint64_t end = plan.table.cabinetSize;
    if (outputIndex_ >= 0) {
        const CabinetFileEntry& entry = plan.table.files[static_cast<std::size_t>(outputIndex_)];
        start = plan.table.folders[entry.folder].dataOffset;
        end = plan.table.folders[entry.folder].dataEnd;
    }
    if (position < start || position + count > end) {
        if (outputIndex_ >= 0) {
            const std::size_t index = static_cast<std::size_t>(outputIndex_);
            shared_.Fail(ExtractProblem::Damaged, 0, plan.outputs[index].c_str(),
                Say("'%s' reads past its cabinet folder", plan.table.files[index].name.c_str()).text);
        } else {
            shared_.Fail(ExtractProblem::Damaged, 0, nullptr, "the cabinet is shorter than its table says");
        }
        return -1;
    }
    const long read = reader_.Read(position, static_cast<unsigned char*>(out), count);
    if (read < 0) {
        const DWORD error = GetLastError();
        shared_.Fail(ExtractProblem::PayloadUnreadable, error, nullptr,
            Say("a read of the payload failed (error %lu)", error).text);
        return -1;
    }
    position += static_cast<uint64_t>(read);
    return read;
}

void Worker::Run() noexcept
{
    tWorker = this;
    try {
        const ExtractPlan& plan = shared_.plan;
        for (std::size_t i = 0; i < plan.table.files.size(); ++i)
            expected_ += plan.schedule.owner[plan.table.files[i].folder] == index_
                    && (!plan.outputs[i].empty() || static_cast<int>(i) == plan.memoryFile)
                ? 1
                : 0;
        char cabinet[sizeof kCabinetName];
        std::memcpy(cabinet, kCabinetName, sizeof kCabinetName);
        char folder[] = "";
        const BOOL copied = library_.copy(context_, cabinet, folder, 0, OnNotify, nullptr, this);
        CloseOutput(); // one the library left open after an error
        // After the first failure these record nothing.
        if (!copied)
            shared_.Fail(ExtractProblem::Damaged, 0, nullptr,
                Say("FDICopy() failed: code %d [%s]", error_.erfOper, CabinetErrorText(error_.erfOper)).text);
        else if (completed_ != expected_ && !shared_.stop)
            shared_.Fail(ExtractProblem::Damaged, 0, nullptr,
                Say("%lu of %lu files extracted", static_cast<unsigned long>(completed_),
                    static_cast<unsigned long>(expected_))
                    .text);
    } catch (...) {
        FailOnException();
    }
    tWorker = nullptr;
}

const char* CabinetErrorText(int code)
{
    static const char* const kTexts[] = { "No error", "Cabinet not found", "Not a cabinet", "Unknown cabinet version",
        "Corrupt cabinet", "Memory allocation failed", "Unknown compression type", "Failure decompressing data",
        "Failure writing to target file", "Cabinets in set have different RESERVE sizes",
        "Cabinet returned on fdintNEXT_CABINET is incorrect", "User aborted" };
    return code >= 0 && code < static_cast<int>(std::size(kTexts)) ? kTexts[code] : "Unknown error";
}

} // namespace package
