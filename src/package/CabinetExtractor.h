// Extracts a Microsoft Cabinet archive into a folder through the system
// cabinet library ("CABINET"), bound at run time: the library decompresses,
// these functions supply its memory and file callbacks and decide, file by
// file, where the output goes. One extraction at a time (module-level state).
#pragma once

#include <windows.h>
#include <fdi.h>

// The reporting hook: every note, question and error of an extraction goes
// through it as Shift-JIS text. In the program it shows nothing and answers
// kAnswerYes; tests replace it to record what it was told.
using ReportHook = int (*)(const char* text, const char* caption, int style);
extern ReportHook ReportMessage;
int SilentReport(const char* text, const char* caption, int style);

constexpr int kReportInformation = 0; // information, OK button
constexpr int kReportQuestion = 4; // question, Yes and No buttons
constexpr int kAnswerYes = 6;

// Destination folder, output paths, cabinet name and cabinet folder path each
// fit this many bytes with their terminator; longer ones are refused.
constexpr unsigned kCabinetPathSize = 256;

// Error codes of our own, beyond the library's 0 to 11, for the cases the
// library never saw: it could not be loaded, or lacks an entry point.
constexpr int kErrorLibraryMissing = 100;
constexpr int kErrorEntryPointMissing = 101;

// Open flags and permissions of the library's open callback.
constexpr int kOpenCabinetFlags = 0x8000; // binary, read-only
constexpr int kOpenOutputFlags = 0x8101; // binary, create, write-only
constexpr int kOpenTruncate = 0x0200; // an existing output loses its old content
constexpr int kOutputPermission = 0x180; // readable and writable
constexpr DWORD kKeptAttributes = 0x27; // read-only, hidden, system, archive

// The two summaries ExtractCabinet reports, caption "cabinet".
extern const char kExtractionSucceededText[];
extern const char kExtractionFailedText[];

// destination ends in a backslash. The outcome goes only to the hook.
void ExtractCabinet(const char* cabinetPath, const char* destination);
// 1 when every step succeeded and every file was extracted, 0 otherwise.
int RunExtraction(const char* cabinetPath);

HFDI BindCabinetLibrary(PFNALLOC alloc, PFNFREE free, PFNOPEN open, PFNREAD read, PFNWRITE write, PFNCLOSE close,
    PFNSEEK seek, int cpuType, PERF error);
BOOL IsCabinetFile(HFDI context, INT_PTR file, PFDICABINETINFO info);
BOOL CopyCabinetFiles(HFDI context, char* cabinetName, char* cabinetFolder, int flags, PFNFDINOTIFY notify,
    PFNFDIDECRYPT decrypt, void* user);
BOOL ReleaseCabinetLibrary(HFDI context);

INT_PTR DIAMONDAPI OnCabinetNotify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION record);
// Creates the folders of an output file's path, parents first.
void CreateIntermediateFolders(const char* outputPath);
const char* CabinetErrorText(int code);

// The library's callbacks: the process heap and the C runtime's low-level
// file functions (_open, _read, _write, _close, _lseek), always binary.
void* DIAMONDAPI CabAlloc(ULONG size);
void DIAMONDAPI CabFree(void* block);
INT_PTR DIAMONDAPI CabOpen(char* path, int flags, int permission);
UINT DIAMONDAPI CabRead(INT_PTR file, void* buffer, UINT count);
UINT DIAMONDAPI CabWrite(INT_PTR file, void* buffer, UINT count);
int DIAMONDAPI CabClose(INT_PTR file);
long DIAMONDAPI CabSeek(INT_PTR file, long distance, int origin);
