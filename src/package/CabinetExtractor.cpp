#include "package/CabinetExtractor.h"

#include <windows.h>
#include <fdi.h>
#include <process.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <numeric>

#include "package/CabinetTable.h"
#include "package/ClsSecurity.h"
#include "package/PayloadBlocks.h"
#include "package/Sha256.h"
#include "sys/Handle.h"
#include "sys/NameRules.h"
#include "sys/PathText.h"
#include "sys/Win32.h"

namespace package {

namespace {

constexpr std::size_t kOutputPathSize = 256; // an output path with its terminator
constexpr DWORD kWriteBufferSize = 256 * 1024; // output is written in pieces this large
constexpr DWORD kKeptAttributes = 0x27; // read-only, hidden, system, archive
constexpr DWORD kProgressInterval = 50; // ms between progress reports and message checks
constexpr int kMostWorkers = 8;
constexpr int kCpu80386 = 1;
constexpr uint32_t kWorkerMagic = 0x594E4257; // "WBNY"
// The name under which a worker hands the payload to the library: the
// library gives it back to the open callback, which has no other way to know
// the worker it serves.
constexpr char kCabinetNamePrefix[] = "ynb-payload:";

// ---- Reporting

struct Failure {
    ExtractProblem problem = ExtractProblem::None;
    std::string detail;
};

__attribute__((format(printf, 1, 2))) std::string Format(const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    (void)std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    return line;
}

// ---- The payload, read where it lies

class PayloadFile {
public:
    // Without write or delete sharing: nobody changes it while it is read.
    bool Open(const char* path, std::string& detail)
    {
        file_.Reset(CreateFileA(
            path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        LARGE_INTEGER size {};
        if (!file_ || !GetFileSizeEx(file_.Get(), &size)) {
            detail = Format("cannot open '%s' (error %lu)", path, GetLastError());
            return false;
        }
        if (size.QuadPart > INT32_MAX) {
            detail = Format("'%s' has 2 GiB or more", path);
            return false;
        }
        size_ = static_cast<uint64_t>(size.QuadPart);
        return true;
    }

    uint64_t Size() const { return size_; }

    // count bytes at offset, from any thread (the reads carry their own
    // position); the number read, or -1.
    long ReadAt(uint64_t offset, void* buffer, DWORD count) const
    {
        OVERLAPPED at {};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD read = 0;
        if (!ReadFile(file_.Get(), buffer, count, &read, &at))
            return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
        return static_cast<long>(read);
    }

private:
    sys::UniqueFile file_;
    uint64_t size_ = 0;
};

// Whether the payload's SHA-256 is the expected one, read through in large
// pieces while the file stays open without write or delete sharing.
bool DigestMatches(const PayloadFile& file, const std::vector<unsigned char>& expected, std::string& detail)
{
    constexpr DWORD kPiece = 1 << 20;
    std::unique_ptr<unsigned char[]> piece(new (std::nothrow) unsigned char[kPiece]);
    if (!piece) {
        detail = "no memory to check the payload";
        return false;
    }
    Sha256 hash;
    for (uint64_t at = 0; at < file.Size();) {
        const auto want = static_cast<DWORD>(std::min<uint64_t>(kPiece, file.Size() - at));
        if (file.ReadAt(at, piece.get(), want) != static_cast<long>(want)) {
            detail = Format("a read of the payload failed (error %lu)", GetLastError());
            return false;
        }
        hash.Update(piece.get(), want);
        at += want;
    }
    unsigned char digest[kSha256Size];
    hash.Final(digest);
    if (expected.size() != kSha256Size || std::memcmp(digest, expected.data(), kSha256Size) != 0) {
        detail = "the payload is not the one this program was made with (its SHA-256 differs)";
        return false;
    }
    return true;
}

// The cabinet as one reader sees it: every full 64 KiB block of the payload
// unscrambled as it is read, the last one kept for the reads that follow.
class CabinetReader {
public:
    CabinetReader(const PayloadFile& file, int32_t key)
        : file_(file)
        , key_(key)
        , block_(new (std::nothrow) unsigned char[kPayloadBlockSize])
    {
    }
    bool Usable() const { return block_ != nullptr; }
    uint64_t FileSize() const { return file_.Size(); }

    // count bytes at position into out; the number read (fewer at the end of
    // the file), or -1 when a read fails.
    long Read(uint64_t position, unsigned char* out, std::size_t count)
    {
        std::size_t done = 0;
        while (done < count && position + done < file_.Size()) {
            const uint64_t at = position + done;
            const uint64_t block = at / kPayloadBlockSize;
            if (block != cached_ && !Load(block))
                return -1;
            const std::size_t offset = static_cast<std::size_t>(at % kPayloadBlockSize);
            const std::size_t n = std::min<std::size_t>(count - done, length_ - offset);
            std::memcpy(out + done, block_.get() + offset, n);
            done += n;
        }
        return static_cast<long>(done);
    }

private:
    bool Load(uint64_t block)
    {
        const uint64_t start = block * kPayloadBlockSize;
        const auto expected = static_cast<DWORD>(std::min<uint64_t>(kPayloadBlockSize, file_.Size() - start));
        cached_ = UINT64_MAX;
        if (file_.ReadAt(start, block_.get(), expected) != static_cast<long>(expected))
            return false;
        if (expected == kPayloadBlockSize) // a partial last block is stored plain
            (void)ClsSecurity::Unscramble(block_.get(), kPayloadBlockSize, key_);
        cached_ = block;
        length_ = expected;
        return true;
    }

    const PayloadFile& file_;
    const int32_t key_;
    std::unique_ptr<unsigned char[]> block_;
    uint64_t cached_ = UINT64_MAX;
    DWORD length_ = 0;
};

// ---- The plan every worker shares, read-only while they run

struct Plan {
    CabinetTable table;
    std::vector<std::string> outputs; // per file: where it goes
    std::size_t destinationLength = 0; // outputs[i] without it is the file's name
    std::vector<int> owner; // per folder: the worker that extracts it
};

enum class FileState : uint8_t { Untouched, Created, Overwritten, Complete, CompleteOverwritten };

// What the workers share while they run. Each file's state is written by the
// one worker that owns its folder.
struct Shared {
    explicit Shared(const Plan& p)
        : plan(p)
        , states(p.table.files.size(), FileState::Untouched)
    {
    }
    const Plan& plan;
    std::vector<FileState> states;
    std::atomic<uint64_t> done { 0 };
    std::atomic<int> current { -1 }; // the file opened last, for the progress line
    std::atomic<bool> stop { false }; // a worker failed: the others end too
    std::atomic<bool> failed { false };
    Failure failure; // written once, by the worker that set `failed`
};

enum class StreamKind : uint32_t { Cabinet = 0x43414221, Output = 0x4F555421 };

class Worker;

// What the library's file handles stand for: a pointer to one of these.
struct Stream {
    StreamKind kind;
    Worker* worker;
};

struct CabinetStream : Stream {
    uint64_t position = 0;
};

// The file being written, from fdintCOPY_FILE to fdintCLOSE_FILE_INFO.
struct OutputStream : Stream {
    sys::UniqueFile file;
    int index = -1; // in the table
    uint64_t written = 0;
    DWORD buffered = 0;
    bool failed = false;
};

class Worker {
public:
    Worker(Shared& shared, const PayloadFile& payload, int32_t key, int index)
        : shared_(shared)
        , index_(index)
        , reader_(payload, key)
        , buffer_(new (std::nothrow) unsigned char[kWriteBufferSize])
    {
        output_.kind = StreamKind::Output;
        output_.worker = this;
        (void)std::snprintf(cabinetName_, sizeof cabinetName_, "%s%llx", kCabinetNamePrefix,
            static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(this)));
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    bool Usable() const { return reader_.Usable() && buffer_ != nullptr; }
    ERF* Error() { return &error_; }
    void SetContext(HFDI context) { context_ = context; }
    HFDI Context() const { return context_; }
    uint64_t PayloadSize() const { return reader_.FileSize(); }
    static Worker* FromName(const char* name);

    // The thread's work: one pass of the library over the whole cabinet.
    void Run(BOOL(DIAMONDAPI* copy)(HFDI, char*, char*, int, PFNFDINOTIFY, PFNFDIDECRYPT, void*));

    INT_PTR Notify(FDINOTIFICATIONTYPE type, const FDINOTIFICATION& record);
    long ReadCabinet(CabinetStream& stream, void* out, UINT count);
    long Write(OutputStream& stream, const void* data, UINT count);
    void CloseOutput();

private:
    INT_PTR CopyFile(const FDINOTIFICATION& record);
    INT_PTR CloseFile(const FDINOTIFICATION& record);
    bool Flush();
    void Fail(ExtractProblem problem, const std::string& detail);

    const uint32_t magic_ = kWorkerMagic;
    Shared& shared_;
    const int index_;
    CabinetReader reader_;
    std::unique_ptr<unsigned char[]> buffer_;
    OutputStream output_;
    std::size_t nextFile_ = 0; // the table entry the library's next fdintCOPY_FILE is about
    std::size_t expected_ = 0; // files of this worker's folders
    std::size_t completed_ = 0;
    HFDI context_ = nullptr;
    ERF error_ {};
    char cabinetName_[64];
};

Worker* Worker::FromName(const char* name)
{
    const std::size_t prefix = sizeof kCabinetNamePrefix - 1;
    if (name == nullptr || std::strncmp(name, kCabinetNamePrefix, prefix) != 0)
        return nullptr;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(name + prefix, &end, 16);
    if (end == name + prefix || *end != '\0' || value == 0)
        return nullptr;
    auto* worker = reinterpret_cast<Worker*>(static_cast<uintptr_t>(value));
    return worker->magic_ == kWorkerMagic ? worker : nullptr;
}

void Worker::Fail(ExtractProblem problem, const std::string& detail)
{
    bool expected = false;
    if (shared_.failed.compare_exchange_strong(expected, true))
        shared_.failure = { problem, detail };
    shared_.stop = true;
}

INT_PTR DIAMONDAPI OnCabinetNotify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION record)
{
    auto* worker = record != nullptr ? static_cast<Worker*>(record->pv) : nullptr;
    return worker != nullptr ? worker->Notify(type, *record) : -1;
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
        Fail(ExtractProblem::Damaged, "the library asked for another cabinet");
        return -1;
    default:
        return 0;
    }
}

INT_PTR Worker::CopyFile(const FDINOTIFICATION& record)
{
    if (shared_.stop)
        return -1; // another worker failed: end here
    const Plan& plan = shared_.plan;
    const std::size_t index = nextFile_++;
    // The library walks the table it read itself; it must be the one read here.
    if (index >= plan.table.files.size() || record.psz1 == nullptr || plan.table.files[index].name != record.psz1
        || plan.table.files[index].size != static_cast<uint32_t>(record.cb)) {
        Fail(ExtractProblem::Damaged, "the library's file table differs from the cabinet's");
        return -1;
    }
    if (plan.owner[plan.table.files[index].folder] != index_)
        return 0; // another worker's
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
        Fail(ExtractProblem::WriteFailed, Format("cannot create '%s' (error %lu)", path, GetLastError()));
        return -1;
    }
    shared_.states[index] = state;
    output_.file.Reset(file);
    output_.index = static_cast<int>(index);
    output_.written = 0;
    output_.buffered = 0;
    output_.failed = false;
    shared_.current = static_cast<int>(index);
    return reinterpret_cast<INT_PTR>(&output_);
}

bool Worker::Flush()
{
    if (output_.buffered == 0)
        return !output_.failed;
    DWORD written = 0;
    if (!WriteFile(output_.file.Get(), buffer_.get(), output_.buffered, &written, nullptr)
        || written != output_.buffered)
        output_.failed = true;
    output_.buffered = 0;
    return !output_.failed;
}

long Worker::Write(OutputStream& stream, const void* data, UINT count)
{
    if (&stream != &output_ || output_.index < 0 || output_.failed)
        return -1;
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (output_.buffered + count > kWriteBufferSize && !Flush())
        return -1;
    if (count >= kWriteBufferSize) {
        DWORD written = 0;
        if (!WriteFile(output_.file.Get(), bytes, count, &written, nullptr) || written != count) {
            output_.failed = true;
            return -1;
        }
    } else {
        std::memcpy(buffer_.get() + output_.buffered, bytes, count);
        output_.buffered += count;
    }
    output_.written += count;
    shared_.done += count;
    return static_cast<long>(count);
}

INT_PTR Worker::CloseFile(const FDINOTIFICATION& record)
{
    if (record.hf != reinterpret_cast<INT_PTR>(&output_) || output_.index < 0)
        return FALSE;
    const std::size_t index = static_cast<std::size_t>(output_.index);
    const CabinetFileEntry& entry = shared_.plan.table.files[index];
    const std::string& path = shared_.plan.outputs[index];
    bool good = Flush();
    if (!good) {
        Fail(ExtractProblem::WriteFailed, Format("cannot write '%s'", path.c_str()));
    } else if (output_.written != entry.size) {
        // The library goes on after a decoding error; the bytes tell.
        Fail(ExtractProblem::Damaged,
            Format("'%s': %llu bytes decoded, %lu in the table", entry.name.c_str(),
                static_cast<unsigned long long>(output_.written), static_cast<unsigned long>(entry.size)));
        good = false;
    } else {
        FILETIME local;
        FILETIME utc;
        if (DosDateTimeToFileTime(record.date, record.time, &local) && LocalFileTimeToFileTime(&local, &utc))
            (void)SetFileTime(output_.file.Get(), &utc, nullptr, &utc);
    }
    // A failed close may have lost what was written.
    if (!output_.file.Reset() && good) {
        Fail(ExtractProblem::WriteFailed, Format("cannot write '%s'", path.c_str()));
        good = false;
    }
    output_.index = -1;
    if (!good)
        return FALSE;
    // After the times: a read-only file could not take them any more. A new
    // file has the archive attribute and nothing else.
    const DWORD attributes = record.attribs & kKeptAttributes;
    if (attributes != FILE_ATTRIBUTE_ARCHIVE)
        (void)SetFileAttributesA(path.c_str(), attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL);
    shared_.states[index]
        = shared_.states[index] == FileState::Overwritten ? FileState::CompleteOverwritten : FileState::Complete;
    ++completed_;
    return TRUE;
}

void Worker::CloseOutput()
{
    output_.buffered = 0;
    (void)output_.file.Reset();
    output_.index = -1;
}

long Worker::ReadCabinet(CabinetStream& stream, void* out, UINT count)
{
    // While a file is extracted, the library reads only its folder's blocks:
    // a file that claims more than its folder holds would read on into the
    // next folder's.
    const Plan& plan = shared_.plan;
    uint64_t start = 0;
    uint64_t end = plan.table.cabinetSize;
    if (output_.index >= 0) {
        const CabinetFileEntry& entry = plan.table.files[static_cast<std::size_t>(output_.index)];
        start = plan.table.folders[entry.folder].dataOffset;
        end = plan.table.folders[entry.folder].dataEnd;
    }
    if (stream.position < start || stream.position + count > end) {
        if (output_.index >= 0)
            Fail(ExtractProblem::Damaged,
                Format("'%s' reads past its cabinet folder",
                    plan.table.files[static_cast<std::size_t>(output_.index)].name.c_str()));
        else
            Fail(ExtractProblem::Damaged, "the cabinet is shorter than its table says");
        return -1;
    }
    const long read = reader_.Read(stream.position, static_cast<unsigned char*>(out), count);
    if (read < 0) {
        Fail(ExtractProblem::PayloadUnreadable, Format("a read of the payload failed (error %lu)", GetLastError()));
        return -1;
    }
    stream.position += static_cast<uint64_t>(read);
    return read;
}

void Worker::Run(BOOL(DIAMONDAPI* copy)(HFDI, char*, char*, int, PFNFDINOTIFY, PFNFDIDECRYPT, void*))
{
    const Plan& plan = shared_.plan;
    for (const CabinetFileEntry& entry : plan.table.files)
        expected_ += plan.owner[entry.folder] == index_ ? 1 : 0;
    char folder[] = "";
    const BOOL copied = copy(context_, cabinetName_, folder, 0, OnCabinetNotify, nullptr, this);
    CloseOutput(); // one the library left open after an error
    if (!copied)
        Fail(ExtractProblem::Damaged,
            Format("FDICopy() failed: code %d [%s]", error_.erfOper, CabinetErrorText(error_.erfOper)));
    else if (completed_ != expected_ && !shared_.stop)
        Fail(ExtractProblem::Damaged,
            Format("%lu of %lu files extracted", static_cast<unsigned long>(completed_),
                static_cast<unsigned long>(expected_)));
}

// ---- The library's callbacks; every handle is a Stream of ours

Stream* StreamOf(INT_PTR handle)
{
    return handle != 0 && handle != -1 ? reinterpret_cast<Stream*>(handle) : nullptr;
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

// The library opens only the cabinet, under the name its worker gave it.
INT_PTR DIAMONDAPI CabOpen(char* path, int /*flags*/, int /*permission*/)
{
    Worker* worker = Worker::FromName(path);
    if (worker == nullptr)
        return -1;
    auto* stream = new (std::nothrow) CabinetStream;
    if (stream == nullptr)
        return -1;
    stream->kind = StreamKind::Cabinet;
    stream->worker = worker;
    return reinterpret_cast<INT_PTR>(stream);
}

UINT DIAMONDAPI CabRead(INT_PTR handle, void* buffer, UINT count)
{
    Stream* stream = StreamOf(handle);
    if (stream == nullptr || stream->kind != StreamKind::Cabinet || count > INT_MAX)
        return static_cast<UINT>(-1);
    auto* cabinet = static_cast<CabinetStream*>(stream);
    return static_cast<UINT>(cabinet->worker->ReadCabinet(*cabinet, buffer, count));
}

UINT DIAMONDAPI CabWrite(INT_PTR handle, void* buffer, UINT count)
{
    Stream* stream = StreamOf(handle);
    if (stream == nullptr || stream->kind != StreamKind::Output || count > INT_MAX)
        return static_cast<UINT>(-1);
    return static_cast<UINT>(stream->worker->Write(*static_cast<OutputStream*>(stream), buffer, count));
}

int DIAMONDAPI CabClose(INT_PTR handle)
{
    Stream* stream = StreamOf(handle);
    if (stream == nullptr)
        return -1;
    if (stream->kind == StreamKind::Cabinet)
        delete static_cast<CabinetStream*>(stream);
    else if (stream->kind == StreamKind::Output)
        stream->worker->CloseOutput(); // after an error: the file is unfinished
    return 0;
}

long DIAMONDAPI CabSeek(INT_PTR handle, long distance, int origin)
{
    Stream* stream = StreamOf(handle);
    if (stream == nullptr || stream->kind != StreamKind::Cabinet)
        return -1;
    auto* cabinet = static_cast<CabinetStream*>(stream);
    int64_t base = 0;
    if (origin == SEEK_CUR)
        base = static_cast<int64_t>(cabinet->position);
    else if (origin == SEEK_END)
        base = static_cast<int64_t>(cabinet->worker->PayloadSize());
    const int64_t target = base + distance;
    if (target < 0 || target > LONG_MAX)
        return -1;
    cabinet->position = static_cast<uint64_t>(target);
    return static_cast<long>(target);
}

// ---- The library, loaded once per extraction from the system folder

class CabinetLibrary {
public:
    using CreateFn = HFDI(DIAMONDAPI*)(PFNALLOC, PFNFREE, PFNOPEN, PFNREAD, PFNWRITE, PFNCLOSE, PFNSEEK, int, PERF);
    using CopyFn = BOOL(DIAMONDAPI*)(HFDI, char*, char*, int, PFNFDINOTIFY, PFNFDIDECRYPT, void*);
    using DestroyFn = BOOL(DIAMONDAPI*)(HFDI);

    bool Load(std::string& detail)
    {
        // From the system folder only, never from beside the program.
        module_.Reset(LoadLibraryExA("CABINET", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
        if (!module_) {
            detail = Format("the cabinet library (cabinet.dll) could not be loaded (error %lu)", GetLastError());
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

    CreateFn create = nullptr;
    CopyFn copy = nullptr;
    DestroyFn destroy = nullptr;

private:
    sys::UniqueModule module_;
};

// What a worker thread starts with.
struct WorkerStart {
    Worker* worker;
    CabinetLibrary::CopyFn copy;
};

unsigned __stdcall WorkerMain(void* argument)
{
    auto* start = static_cast<WorkerStart*>(argument);
    start->worker->Run(start->copy);
    return 0;
}

// ---- Planning, before anything is written

bool IsAnsiLead(unsigned char byte)
{
    return IsDBCSLeadByte(byte) != FALSE;
}

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

// The destination followed by every name, each checked; false with the first
// refusal in failure.
bool PlanOutputs(Plan& plan, const std::string& destination, Failure& failure)
{
    plan.destinationLength = destination.size();
    for (const CabinetFileEntry& entry : plan.table.files) {
        std::string name;
        if (!ToAnsiName(entry, name)) {
            failure = { ExtractProblem::RefusedName,
                Format("'%s': its UTF-8 name has no form in the system's code page", entry.name.c_str()) };
            return false;
        }
        const NameFault fault = CheckName(name.data(), name.size(), IsAnsiLead);
        if (fault != NameFault::None) {
            failure = { ExtractProblem::RefusedName, Format("'%s': %s", entry.name.c_str(), NameFaultText(fault)) };
            return false;
        }
        std::string path = destination + name;
        if (path.size() >= kOutputPathSize) {
            failure = { ExtractProblem::RefusedName,
                Format("'%s': the output path is longer than %lu bytes", entry.name.c_str(),
                    static_cast<unsigned long>(kOutputPathSize - 1)) };
            return false;
        }
        for (std::size_t i = destination.size(); i < path.size(); ++i) {
            if (IsAnsiLead(static_cast<unsigned char>(path[i])) && i + 1 < path.size())
                ++i;
            else if (path[i] == '/')
                path[i] = '\\';
        }
        plan.outputs.push_back(std::move(path));
    }
    return true;
}

// The folder part of an output path (before its last separator), or empty.
std::string FolderOf(const std::string& path)
{
    const std::ptrdiff_t last = sys::LastSeparator(path.c_str());
    return last < 0 ? std::string() : path.substr(0, static_cast<std::size_t>(last));
}

// A path compared as the file system compares it (ASCII letters without case).
std::string FoldedPath(const std::string& path)
{
    std::string folded = path;
    for (std::size_t i = 0; i < folded.size(); ++i) {
        if (IsAnsiLead(static_cast<unsigned char>(folded[i])) && i + 1 < folded.size())
            ++i;
        else if (folded[i] >= 'a' && folded[i] <= 'z')
            folded[i] = static_cast<char>(folded[i] - 'a' + 'A');
    }
    return folded;
}

// Makes every folder the files need, each once; those this call created are
// appended to `created`, parents first.
bool MakeFolders(const Plan& plan, std::vector<std::string>& created, Failure& failure)
{
    std::map<std::string, std::string> folders; // folded -> as written
    for (const std::string& path : plan.outputs) {
        const std::string folder = FolderOf(path);
        if (folder.size() + 1 > plan.destinationLength) // below the destination: made here
            folders.emplace(FoldedPath(folder), folder);
    }
    const std::string destination = FolderOf(plan.outputs.front().substr(0, plan.destinationLength));
    if (!destination.empty())
        folders.emplace(FoldedPath(destination), destination);
    for (const auto& [folded, folder] : folders) {
        if (!sys::CreateFolderTree(folder.c_str(), &created)) {
            failure = { ExtractProblem::Folder, Format("cannot make the folder '%s'", folder.c_str()) };
            return false;
        }
    }
    return true;
}

// The cabinet folders each worker extracts. Folders that hold the same path
// go to one worker, so that no two threads ever write one file; the groups
// are spread by their bytes, the largest first.
int AssignFolders(Plan& plan, int maxWorkers)
{
    const std::size_t count = plan.table.folders.size();
    std::vector<std::size_t> group(count);
    std::iota(group.begin(), group.end(), 0);
    auto root = [&group](std::size_t f) {
        while (group[f] != f)
            f = group[f] = group[group[f]];
        return f;
    };
    std::vector<uint64_t> bytes(count, 0);
    std::map<std::string, std::size_t> firstFolder;
    for (std::size_t i = 0; i < plan.table.files.size(); ++i) {
        const std::size_t folder = plan.table.files[i].folder;
        bytes[folder] += plan.table.files[i].size;
        const auto [at, inserted] = firstFolder.emplace(FoldedPath(plan.outputs[i]), folder);
        if (!inserted)
            group[root(folder)] = root(at->second);
    }
    std::vector<std::pair<uint64_t, std::size_t>> groups; // bytes, root
    std::vector<uint64_t> groupBytes(count, 0);
    std::vector<bool> used(count, false);
    for (const CabinetFileEntry& entry : plan.table.files)
        used[root(entry.folder)] = true;
    for (std::size_t f = 0; f < count; ++f)
        groupBytes[root(f)] += bytes[f];
    for (std::size_t f = 0; f < count; ++f)
        if (used[f] && root(f) == f)
            groups.emplace_back(groupBytes[f], f);
    std::sort(groups.begin(), groups.end(), [](const auto& a, const auto& b) { return a.first > b.first; });

    SYSTEM_INFO system {};
    GetSystemInfo(&system);
    const int cores = std::max<int>(1, static_cast<int>(system.dwNumberOfProcessors));
    const int workers = std::max<int>(
        1, std::min({ cores, static_cast<int>(groups.size()), std::clamp(maxWorkers, 1, kMostWorkers) }));
    std::vector<uint64_t> load(static_cast<std::size_t>(workers), 0);
    std::vector<int> ownerOfGroup(count, 0);
    for (const auto& [size, first] : groups) {
        const auto lightest = static_cast<int>(std::min_element(load.begin(), load.end()) - load.begin());
        ownerOfGroup[first] = lightest;
        load[static_cast<std::size_t>(lightest)] += size;
    }
    plan.owner.assign(count, 0);
    for (std::size_t f = 0; f < count; ++f)
        plan.owner[f] = ownerOfGroup[root(f)];
    return workers;
}

bool ReadTable(CabinetReader& reader, uint64_t size, CabinetTable& table, Failure& failure)
{
    std::vector<unsigned char> head(static_cast<std::size_t>(std::min<uint64_t>(size, kPayloadBlockSize)));
    for (;;) {
        if (reader.Read(0, head.data(), head.size()) != static_cast<long>(head.size())) {
            failure = { ExtractProblem::PayloadUnreadable, "a read of the payload failed" };
            return false;
        }
        std::size_t needed = 0;
        const CabinetTableProblem problem = ReadCabinetTable(head.data(), head.size(), size, table, &needed);
        if (problem == CabinetTableProblem::NeedMore && needed > head.size() && needed <= size) {
            head.resize(needed);
            continue;
        }
        if (problem != CabinetTableProblem::None) {
            failure = { ExtractProblem::Table, Format("the cabinet's table: %s", CabinetTableProblemText(problem)) };
            return false;
        }
        return true;
    }
}

// Removes what a failed run created: its files, then its folders, deepest
// first. Files that existed before stay, and are named.
void RollBack(const Shared& shared, const std::vector<std::string>& folders, ExtractReport& report)
{
    const Plan& plan = shared.plan;
    for (std::size_t i = plan.outputs.size(); i-- > 0;) {
        const FileState state = shared.states[i];
        const char* path = plan.outputs[i].c_str();
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

} // namespace

const char* CabinetErrorText(int code)
{
    switch (code) {
    case 0:
        return "No error";
    case 1:
        return "Cabinet not found";
    case 2:
        return "Not a cabinet";
    case 3:
        return "Unknown cabinet version";
    case 4:
        return "Corrupt cabinet";
    case 5:
        return "Memory allocation failed";
    case 6:
        return "Unknown compression type";
    case 7:
        return "Failure decompressing data";
    case 8:
        return "Failure writing to target file";
    case 9:
        return "Cabinets in set have different RESERVE sizes";
    case 10:
        return "Cabinet returned on fdintNEXT_CABINET is incorrect";
    case 11:
        return "User aborted";
    default:
        return "Unknown error";
    }
}

ExtractReport ExtractPayload(const ExtractRequest& request)
{
    ExtractReport report;
    auto fail = [&report](const Failure& failure) {
        report.problem = failure.problem;
        report.detail = failure.detail;
        return report;
    };
    Failure failure;
    PayloadFile payload;
    if (!payload.Open(request.payload.c_str(), failure.detail))
        return fail({ ExtractProblem::PayloadUnreadable, failure.detail });
    if (!request.digest.empty() && !DigestMatches(payload, request.digest, failure.detail))
        return fail({ ExtractProblem::NotOurs, failure.detail });

    Plan plan;
    {
        CabinetReader reader(payload, request.key);
        if (!reader.Usable())
            return fail({ ExtractProblem::PayloadUnreadable, "no memory for the payload's blocks" });
        if (!ReadTable(reader, payload.Size(), plan.table, failure))
            return fail(failure);
    }
    report.totalSize = plan.table.totalSize;
    if (plan.table.files.empty())
        return fail({ ExtractProblem::NoFiles, "the cabinet holds no files" });
    if (request.destination.size() + 1 >= kOutputPathSize)
        return fail({ ExtractProblem::RefusedName, "the destination folder's path is too long" });
    if (!PlanOutputs(plan, request.destination, failure))
        return fail(failure);
    const int workerCount = AssignFolders(plan, request.maxWorkers);

    CabinetLibrary library;
    if (!library.Load(failure.detail))
        return fail({ ExtractProblem::Library, failure.detail });

    Shared shared(plan);
    std::vector<std::string> createdFolders;
    std::vector<std::unique_ptr<Worker>> workers;
    std::vector<sys::UniqueHandle> threads;
    if (MakeFolders(plan, createdFolders, failure)) {
        for (int i = 0; i < workerCount; ++i) {
            auto worker = std::make_unique<Worker>(shared, payload, request.key, i);
            HFDI context = worker->Usable() ? library.create(CabAlloc, CabFree, CabOpen, CabRead, CabWrite, CabClose,
                               CabSeek, kCpu80386, worker->Error())
                                            : nullptr;
            if (context == nullptr) {
                failure = { ExtractProblem::Library, "FDICreate() failed" };
                break;
            }
            worker->SetContext(context);
            workers.push_back(std::move(worker));
        }
    }
    if (failure.problem == ExtractProblem::None && static_cast<int>(workers.size()) == workerCount) {
        std::vector<WorkerStart> starts;
        for (auto& worker : workers)
            starts.push_back({ worker.get(), library.copy });
        for (WorkerStart& start : starts) {
            const uintptr_t thread = _beginthreadex(nullptr, 0, WorkerMain, &start, 0, nullptr);
            if (thread == 0) {
                // The ones started see the stop at their next file.
                shared.stop = true;
                failure = { ExtractProblem::Library, "a worker thread could not be started" };
                break;
            }
            threads.emplace_back(reinterpret_cast<HANDLE>(thread));
        }
        report.workers = static_cast<int>(threads.size());

        // Wait without blocking the caller's messages, telling the bytes as they come.
        std::vector<HANDLE> running;
        for (const sys::UniqueHandle& thread : threads)
            running.push_back(thread.Get());
        DWORD told = GetTickCount() - kProgressInterval;
        auto tell = [&] {
            if (!request.progress)
                return;
            const int current = shared.current;
            const std::string item = current >= 0
                ? plan.outputs[static_cast<std::size_t>(current)].substr(plan.destinationLength)
                : std::string();
            request.progress(shared.done, plan.table.totalSize, item);
            told = GetTickCount();
        };
        while (!running.empty()) {
            const auto count = static_cast<DWORD>(running.size());
            const DWORD woken = MsgWaitForMultipleObjects(count, running.data(), FALSE, kProgressInterval, QS_ALLINPUT);
            if (woken < WAIT_OBJECT_0 + count) {
                running.erase(running.begin() + (woken - WAIT_OBJECT_0));
            } else if (woken == WAIT_OBJECT_0 + count) {
                if (request.pump)
                    request.pump();
            } else if (woken == WAIT_FAILED) {
                (void)WaitForMultipleObjects(count, running.data(), TRUE, INFINITE);
                running.clear();
            }
            if (GetTickCount() - told >= kProgressInterval)
                tell();
        }
        tell();
    }
    for (auto& worker : workers)
        (void)library.destroy(worker->Context());
    if (failure.problem == ExtractProblem::None && shared.failed)
        failure = shared.failure;
    if (failure.problem != ExtractProblem::None) {
        RollBack(shared, createdFolders, report);
        return fail(failure);
    }
    report.placed = plan.outputs;
    return report;
}

} // namespace package
