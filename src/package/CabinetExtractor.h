// Extracts the payload, a Microsoft Cabinet whose full 64 KiB blocks are
// scrambled, into a folder through the system cabinet library (cabinet.dll,
// loaded by its full path at run time). The payload is read where it lies and unscrambled in
// memory as the library reads it; nothing is written beside it.
//
// Before anything is written the cabinet's own table is read and checked:
// every name must be one Windows keeps as it is, and every output path must
// fit. Then the folders are made, and worker threads, each with a
// decompression context of its own, extract the cabinet folders assigned to
// them, so that the writes overlap. The bytes of every file are counted and
// its reads kept inside its own cabinet folder: a payload that cannot be
// placed whole is not placed at all, and what this run created is removed.
//
// The parts: PayloadReader (the file, its digest, the unscrambled blocks),
// ExtractSchedule (portable: which worker takes which folders, which outputs
// are one file), ExtractWorker (one thread's library context and its
// callbacks) and this run, which owns the threads.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "package/CabinetTable.h"

namespace package {

// Why an extraction failed.
enum class ExtractProblem : uint8_t {
    None,
    PayloadUnreadable, // missing, locked, a folder, 2 GiB or more, or a read failed
    NotOurs, // its SHA-256 is not the one stamped into the program
    Table, // the cabinet's table is damaged, or the cabinet is chained to others
    NoFiles, // a cabinet without files
    RefusedName, // a name Windows would alter or refuse, or an output path too long
    Library, // cabinet.dll or one of its entry points is missing, or it refused to start
    Folder, // an output folder could not be made
    Damaged, // the data does not decode to the files the table describes
    WriteFailed, // an output file could not be created or written
    DiskFull, // the volume filled while an output file or folder was written
    Internal, // a worker thread ran out of memory, or met an unexpected error
};

struct ExtractReport {
    ExtractProblem problem = ExtractProblem::None;
    std::string detail; // one English line saying what failed, for logs
    uint32_t error = 0; // the Win32 error behind the failure, 0 when none
    std::string path; // the file or folder the failure concerns, or empty
    // The bytes the placed files take: a file that a later one of the same
    // name (ASCII letters without case) replaces counts no more.
    uint64_t totalSize = 0;
    int workers = 0; // the threads that extracted
    // The output paths of the files, in the table's order, once placed; a
    // name that comes twice, once.
    std::vector<std::string> placed;
    // Files that existed before this run and were overwritten by a run that
    // then failed: their old content is gone and they are left as they are.
    std::vector<std::string> overwritten;
    // Per file written as a copy (ExtractJob::asCopy): the Win32 error that
    // kept it from its place, 0 when it was placed. Empty when none was.
    std::vector<uint32_t> refusals;
};

struct ExtractRequest {
    std::string payload; // the payload file
    int32_t key = 0; // the payload key its blocks are scrambled with
    // The payload's SHA-256 when the program was stamped with it: checked
    // before anything is written. Empty: not checked.
    std::vector<unsigned char> digest;
    std::string destination; // the folder to extract into, ending in a backslash
    int maxWorkers = 8;
    // Called on the calling thread while it waits for the workers: handle
    // the window messages that arrived, and show how far the bytes have come
    // (done of total, the file at hand).
    std::function<void()> pump;
    std::function<void(uint64_t done, uint64_t total, const std::string& item)> progress;
};

// Runs on the calling thread, which waits for the workers without blocking
// its messages (MsgWaitForMultipleObjects, then `pump`).
ExtractReport ExtractPayload(const ExtractRequest& request);

// What one pass over an opened payload writes.
struct ExtractJob {
    // Per file of the table: its full path, empty when it is not written.
    std::vector<std::string> outputs;
    // Per file (or empty: none): written as CopyFile writes its target, with
    // the file's attributes given at creation and only its last-write time
    // set; a target that refuses it is the file's own failure
    // (ExtractReport::refusals) and the run goes on. A full disk fails the run.
    std::vector<bool> asCopy;
    // The folders to make first, parents before children; those this pass
    // creates are removed again when it fails.
    std::vector<std::string> folders;
    // Every file written to disk before it is closed (FlushFileBuffers), so
    // that a file complete for the run is complete after a power cut.
    bool flush = false;
    // A file read into memory instead (at most its size in the table).
    int memoryFile = -1;
    std::string* memory = nullptr;
    int maxWorkers = 8;
    std::function<void()> pump;
    std::function<void(uint64_t done, uint64_t total, const std::string& item)> progress;
};

// The payload opened and its table read, for one pass or several: the
// digest is checked once, when it opens.
class PayloadCabinet {
public:
    PayloadCabinet();
    ~PayloadCabinet();
    PayloadCabinet(const PayloadCabinet&) = delete;
    PayloadCabinet& operator=(const PayloadCabinet&) = delete;

    // The payload file, its digest (when given), its table and its names:
    // a report whose problem is None when every name is one Windows keeps.
    ExtractReport Open(const std::string& path, int32_t key, const std::vector<unsigned char>& digest);
    const CabinetTable& Table() const;
    // Per file: its name in the system's code page, with backslashes.
    const std::vector<std::string>& Names() const;
    // Every file below destination (a folder ending in a backslash) under
    // its own name, with the folders they need: a report whose problem is
    // None unless a path would not fit.
    ExtractReport PlaceBelow(const std::string& destination, ExtractJob& job) const;
    // The pass; nothing it wrote stays when it fails.
    ExtractReport Extract(const ExtractJob& job);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The cabinet library's error codes (0 to 11) as English texts.
const char* CabinetErrorText(int code);

} // namespace package
