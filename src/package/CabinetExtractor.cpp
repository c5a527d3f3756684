#include "package/CabinetExtractor.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "package/CabinetNames.h"
#include "sys/Handle.h"

// "キャビネットファイルの解凍が正常に終了しました。"
const char kExtractionSucceededText[]
    = "\x83\x4c\x83\x83\x83\x72\x83\x6c\x83\x62\x83\x67\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xcc\x89\xf0\x93\x80\x82\xaa"
      "\x90\xb3\x8f\xed\x82\xc9\x8f\x49\x97\xb9\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x42";
// "キャビネットファイルの解凍中にエラーが発生しました。"
const char kExtractionFailedText[]
    = "\x83\x4c\x83\x83\x83\x72\x83\x6c\x83\x62\x83\x67\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xcc\x89\xf0\x93\x80\x92\x86"
      "\x82\xc9\x83\x47\x83\x89\x81\x5b\x82\xaa\x94\xad\x90\xb6\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x42";

namespace {

// "キャビネットファイルの情報", "...情報2", "...のコピー", "...のクローズ"
const char kCaptionInfo[]
    = "\x83\x4c\x83\x83\x83\x72\x83\x6c\x83\x62\x83\x67\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xcc\x8f\xee\x95\xf1";
const char kCaptionInfo2[]
    = "\x83\x4c\x83\x83\x83\x72\x83\x6c\x83\x62\x83\x67\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xcc\x8f\xee\x95\xf1\x32";
const char kCaptionCopy[] = "\x83\x4c\x83\x83\x83\x72\x83\x6c\x83\x62\x83\x67\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xcc"
                            "\x83\x52\x83\x73\x81\x5b";
const char kCaptionClose[] = "\x83\x4c\x83\x83\x83\x72\x83\x6c\x83\x62\x83\x67\x83\x74\x83\x40\x83\x43\x83\x8b\x82"
                             "\xcc\x83\x4e\x83\x8d\x81\x5b\x83\x59";
const char kCaptionError[] = "error";
const char kCaptionCabinet[] = "cabinet";

constexpr int kCpu80386 = 1;

// The state of the current extraction.
char destinationFolder[kCabinetPathSize];
sys::UniqueModule cabinetLibrary;
using FdiCreateFn = HFDI(DIAMONDAPI*)(PFNALLOC, PFNFREE, PFNOPEN, PFNREAD, PFNWRITE, PFNCLOSE, PFNSEEK, int, PERF);
using FdiIsCabinetFn = BOOL(DIAMONDAPI*)(HFDI, INT_PTR, PFDICABINETINFO);
using FdiCopyFn = BOOL(DIAMONDAPI*)(HFDI, char*, char*, int, PFNFDINOTIFY, PFNFDIDECRYPT, void*);
using FdiDestroyFn = BOOL(DIAMONDAPI*)(HFDI);
FdiCreateFn fdiCreate;
FdiCopyFn fdiCopy;
FdiIsCabinetFn fdiIsCabinet;
FdiDestroyFn fdiDestroy;
// Files refused (unsafe name, path too long) during the current copy.
int refusedFiles;
// The output file between fdintCOPY_FILE and fdintCLOSE_FILE_INFO, so that
// an interrupted copy neither leaks its handle nor leaves a partial file.
INT_PTR openOutput = -1;
char openOutputPath[kCabinetPathSize];

__attribute__((format(printf, 3, 4))) int Report(const char* caption, int style, const char* format, ...)
{
    char text[2048];
    va_list args;
    va_start(args, format);
    (void)std::vsnprintf(text, sizeof text, format, args); // a long report is cut; it is only a note
    va_end(args);
    return ReportMessage(text, caption, style);
}

const char* YesNo(BOOL value)
{
    return value == 1 ? "yes" : "no";
}

bool IsAnsiLeadByte(unsigned char byte)
{
    return IsDBCSLeadByte(byte) != 0;
}

// The position of the last backslash that is a character of its own (not the
// trail byte of a double-byte character), or -1.
int LastSeparator(const char* path)
{
    int last = -1;
    for (int i = 0; path[i] != '\0'; ++i) {
        if (IsAnsiLeadByte(static_cast<unsigned char>(path[i])) && path[i + 1] != '\0') {
            ++i;
            continue;
        }
        if (path[i] == '\\')
            last = i;
    }
    return last;
}

// The name in the ANSI code page that the file functions use: a name marked
// as UTF-8 is converted; false when it is not valid UTF-8, does not fit, or
// has characters the code page cannot represent.
bool ToAnsiName(const char* name, USHORT attributes, char (&ansi)[kCabinetPathSize])
{
    if ((attributes & _A_NAME_IS_UTF) == 0) {
        const std::size_t length = std::strlen(name);
        if (length >= sizeof ansi)
            return false;
        std::memcpy(ansi, name, length + 1);
        return true;
    }
    wchar_t wide[kCabinetPathSize];
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name, -1, wide, kCabinetPathSize) == 0)
        return false;
    BOOL lossy = FALSE;
    const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, ansi, sizeof ansi, nullptr, &lossy);
    return length != 0 && !lossy;
}

// destinationFolder followed by the name, slashes made backslashes; false
// (and nothing written past output) when it does not fit.
bool BuildOutputPath(const char* name, char (&output)[kCabinetPathSize])
{
    const int written = std::snprintf(output, sizeof output, "%s%s", destinationFolder, name);
    if (written < 0 || static_cast<unsigned>(written) >= sizeof output)
        return false;
    for (char* p = output; *p != '\0'; ++p) {
        if (IsAnsiLeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0')
            ++p;
        else if (*p == '/')
            *p = '\\';
    }
    return true;
}

INT_PTR OnCopyFile(PFDINOTIFICATION record)
{
    const char* name = record->psz1 != nullptr ? record->psz1 : "";
    char ansiName[kCabinetPathSize];
    if (!ToAnsiName(name, record->attribs, ansiName)) {
        ++refusedFiles;
        (void)Report(kCaptionError, kReportInformation,
            "Refused to extract '%s': its UTF-8 name has no form in the system's code page\n", name);
        return 0;
    }
    const CabinetNameFault fault = CheckCabinetName(ansiName, std::strlen(ansiName), IsAnsiLeadByte);
    if (fault != CabinetNameFault::None) {
        ++refusedFiles;
        (void)Report(
            kCaptionError, kReportInformation, "Refused to extract '%s': %s\n", name, CabinetNameFaultText(fault));
        return 0;
    }
    char output[kCabinetPathSize];
    if (!BuildOutputPath(ansiName, output)) {
        ++refusedFiles;
        (void)Report(kCaptionError, kReportInformation,
            "Refused to extract '%s': the output path is longer than %u bytes\n", name, kCabinetPathSize - 1);
        return 0;
    }
    const int answer = Report(kCaptionCopy, kReportQuestion,
        "fdintCOPY_FILE\n  file name in cabinet = %s\n  uncompressed file size = %d\n"
        "  copy this file? (y/n): ",
        name, static_cast<int>(record->cb));
    if (answer != kAnswerYes)
        return 0;
    CreateIntermediateFolders(output);
    const INT_PTR file = CabOpen(output, kOpenOutputFlags | kOpenTruncate, kOutputPermission);
    if (file != -1) {
        openOutput = file;
        std::memcpy(openOutputPath, output, sizeof output);
    }
    return file;
}

INT_PTR OnCloseFileInfo(PFDINOTIFICATION record)
{
    const char* name = record->psz1 != nullptr ? record->psz1 : "";
    (void)Report(kCaptionClose, kReportInformation, "fdintCLOSE_FILE_INFO\n   file name in cabinet = %s\n\n", name);
    (void)CabClose(record->hf);
    char ansiName[kCabinetPathSize];
    char output[kCabinetPathSize];
    if (!ToAnsiName(name, record->attribs, ansiName) || !BuildOutputPath(ansiName, output))
        return 1; // cannot happen: fdintCOPY_FILE opened it under this path
    sys::UniqueFile file(
        CreateFileA(output, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (file) {
        FILETIME local;
        FILETIME utc;
        if (DosDateTimeToFileTime(record->date, record->time, &local) && LocalFileTimeToFileTime(&local, &utc))
            (void)SetFileTime(file.Get(), &utc, nullptr, &utc);
    }
    file.Reset();
    // After the times: a read-only file could not take them any more.
    (void)SetFileAttributesA(output, record->attribs & kKeptAttributes);
    return 1;
}

// Closes and removes an output file that the library left unfinished.
void DiscardOpenOutput()
{
    if (openOutput == -1)
        return;
    (void)CabClose(openOutput);
    (void)DeleteFileA(openOutputPath);
    (void)Report(kCaptionError, kReportInformation, "Removed the incomplete file '%s'\n", openOutputPath);
}

} // namespace

ReportHook ReportMessage = SilentReport;

int SilentReport(const char* /*text*/, const char* /*caption*/, int /*style*/)
{
    return kAnswerYes;
}

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
    case kErrorLibraryMissing:
        return "Cabinet library (cabinet.dll) could not be loaded";
    case kErrorEntryPointMissing:
        return "Cabinet library lacks an FDI entry point";
    default:
        return "Unknown error";
    }
}

void ExtractCabinet(const char* cabinetPath, const char* destination)
{
    const std::size_t length = destination != nullptr ? std::strlen(destination) : 0;
    if (destination == nullptr || length >= sizeof destinationFolder) {
        destinationFolder[0] = '\0';
        (void)Report(kCaptionError, kReportInformation, "Destination folder is too long: %u bytes, at most %u\n",
            static_cast<unsigned>(length), kCabinetPathSize - 1);
        (void)ReportMessage(kExtractionFailedText, kCaptionCabinet, kReportInformation);
        return;
    }
    std::memcpy(destinationFolder, destination, length + 1);
    if (RunExtraction(cabinetPath) == 1)
        (void)ReportMessage(kExtractionSucceededText, kCaptionCabinet, kReportInformation);
    else
        (void)ReportMessage(kExtractionFailedText, kCaptionCabinet, kReportInformation);
}

int RunExtraction(const char* cabinetPath)
{
    ERF error = {};
    const HFDI context
        = BindCabinetLibrary(CabAlloc, CabFree, CabOpen, CabRead, CabWrite, CabClose, CabSeek, kCpu80386, &error);
    if (context == nullptr) {
        (void)Report(kCaptionError, kReportInformation, "FDICreate() failed: code %d [%s]\n", error.erfOper,
            CabinetErrorText(error.erfOper));
        return 0;
    }

    const INT_PTR cabinet = CabOpen(const_cast<char*>(cabinetPath), kOpenCabinetFlags, 0);
    if (cabinet == -1) {
        (void)ReleaseCabinetLibrary(context);
        (void)Report(kCaptionError, kReportInformation, "Unable to open '%s' for input\n", cabinetPath);
        return 0;
    }

    FDICABINETINFO info = {};
    if (!IsCabinetFile(context, cabinet, &info)) {
        (void)CabClose(cabinet);
        (void)Report(kCaptionError, kReportInformation, "FDIIsCabinet() failed: '%s' is not a cabinet\n", cabinetPath);
        (void)ReleaseCabinetLibrary(context);
        return 0;
    }
    (void)CabClose(cabinet);
    (void)Report(kCaptionError, kReportInformation,
        "Information on cabinet file '%s'\n"
        "   Total length of cabinet file : %d\n"
        "   Number of folders in cabinet : %d\n"
        "   Number of files in cabinet   : %d\n"
        "   Cabinet set ID               : %d\n"
        "   Cabinet number in set        : %d\n"
        "   RESERVE area in cabinet?     : %s\n"
        "   Chained to prev cabinet?     : %s\n"
        "   Chained to next cabinet?     : %s\n"
        "\n",
        cabinetPath, static_cast<int>(info.cbCabinet), static_cast<int>(info.cFolders), static_cast<int>(info.cFiles),
        static_cast<int>(info.setID), static_cast<int>(info.iCabinet), YesNo(info.fReserve), YesNo(info.hasprev),
        YesNo(info.hasnext));

    // Name after the last backslash, folder path up to and including it.
    char name[kCabinetPathSize];
    char folder[kCabinetPathSize];
    const int split = LastSeparator(cabinetPath);
    const std::size_t folderLength = static_cast<std::size_t>(split + 1);
    const std::size_t nameLength = std::strlen(cabinetPath + folderLength);
    if (folderLength >= sizeof folder || nameLength >= sizeof name) {
        (void)Report(kCaptionError, kReportInformation,
            "Cabinet path '%s' is too long: name and folder at most %u bytes each\n", cabinetPath,
            kCabinetPathSize - 1);
        (void)ReleaseCabinetLibrary(context);
        return 0;
    }
    std::memcpy(folder, cabinetPath, folderLength);
    folder[folderLength] = '\0';
    std::memcpy(name, cabinetPath + folderLength, nameLength + 1);

    refusedFiles = 0;
    openOutput = -1;
    const BOOL copied = CopyCabinetFiles(context, name, folder, 0, OnCabinetNotify, nullptr, nullptr);
    DiscardOpenOutput();
    if (copied != 1) {
        (void)Report(kCaptionError, kReportInformation, "FDICopy() failed: code %d [%s]\n", error.erfOper,
            CabinetErrorText(error.erfOper));
        (void)ReleaseCabinetLibrary(context);
        return 0;
    }

    if (ReleaseCabinetLibrary(context) != 1) {
        (void)Report(kCaptionError, kReportInformation, "wFDIDestroy() failed: code %d [%s]\n", error.erfOper,
            CabinetErrorText(error.erfOper));
        return 0;
    }
    if (refusedFiles > 0) {
        (void)Report(kCaptionError, kReportInformation, "%d file(s) of the cabinet were refused and not extracted\n",
            refusedFiles);
        return 0;
    }
    return 1;
}

HFDI BindCabinetLibrary(PFNALLOC alloc, PFNFREE free, PFNOPEN open, PFNREAD read, PFNWRITE write, PFNCLOSE close,
    PFNSEEK seek, int cpuType, PERF error)
{
    fdiCreate = nullptr;
    fdiCopy = nullptr;
    fdiIsCabinet = nullptr;
    fdiDestroy = nullptr;
    // From the system folder only, never from beside the program.
    cabinetLibrary.Reset(LoadLibraryExA("CABINET", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!cabinetLibrary) {
        error->erfOper = kErrorLibraryMissing;
        error->erfType = static_cast<int>(GetLastError());
        error->fError = TRUE;
        return nullptr;
    }
    const HMODULE library = cabinetLibrary.Get();
    auto find = [library](const char* entry) { return reinterpret_cast<void*>(GetProcAddress(library, entry)); };
    fdiCreate = reinterpret_cast<FdiCreateFn>(find("FDICreate"));
    fdiCopy = reinterpret_cast<FdiCopyFn>(find("FDICopy"));
    fdiIsCabinet = reinterpret_cast<FdiIsCabinetFn>(find("FDIIsCabinet"));
    fdiDestroy = reinterpret_cast<FdiDestroyFn>(find("FDIDestroy"));
    if (fdiCreate == nullptr || fdiCopy == nullptr || fdiIsCabinet == nullptr || fdiDestroy == nullptr) {
        error->erfOper = kErrorEntryPointMissing;
        error->erfType = static_cast<int>(GetLastError());
        error->fError = TRUE;
        fdiCreate = nullptr;
        fdiCopy = nullptr;
        fdiIsCabinet = nullptr;
        fdiDestroy = nullptr;
        cabinetLibrary.Reset();
        return nullptr;
    }
    const HFDI context = fdiCreate(alloc, free, open, read, write, close, seek, cpuType, error);
    if (context == nullptr)
        cabinetLibrary.Reset();
    return context;
}

BOOL IsCabinetFile(HFDI context, INT_PTR file, PFDICABINETINFO info)
{
    return fdiIsCabinet != nullptr && cabinetLibrary ? fdiIsCabinet(context, file, info) : FALSE;
}

BOOL CopyCabinetFiles(HFDI context, char* cabinetName, char* cabinetFolder, int flags, PFNFDINOTIFY notify,
    PFNFDIDECRYPT decrypt, void* user)
{
    return fdiCopy != nullptr && cabinetLibrary
        ? fdiCopy(context, cabinetName, cabinetFolder, flags, notify, decrypt, user)
        : FALSE;
}

BOOL ReleaseCabinetLibrary(HFDI context)
{
    if (fdiDestroy == nullptr || !cabinetLibrary)
        return FALSE;
    const BOOL destroyed = fdiDestroy(context);
    if (destroyed == 1) {
        fdiCreate = nullptr;
        fdiCopy = nullptr;
        fdiIsCabinet = nullptr;
        fdiDestroy = nullptr;
        (void)cabinetLibrary.Reset();
    }
    return destroyed;
}

INT_PTR DIAMONDAPI OnCabinetNotify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION record)
{
    auto text = [](const char* s) { return s != nullptr ? s : ""; };
    switch (type) {
    case fdintCABINET_INFO:
        (void)Report(kCaptionInfo, kReportInformation,
            "fdintCABINET_INFO\n  next cabinet     = %s\n  next disk        = %s\n  cabinet path     = %s\n"
            "  cabinet set ID   = %d\n  cabinet # in set = %d (zero based)\n\n",
            text(record->psz1), text(record->psz2), text(record->psz3), static_cast<int>(record->setID),
            static_cast<int>(record->iCabinet));
        return 0;
    case fdintPARTIAL_FILE:
        (void)Report(kCaptionInfo2, kReportInformation,
            "fdintPARTIAL_FILE\n   name of continued file            = %s\n"
            "   name of cabinet where file starts = %s\n   name of disk where file starts    = %s\n",
            text(record->psz1), text(record->psz2), text(record->psz3));
        return 0;
    case fdintCOPY_FILE:
        return OnCopyFile(record);
    case fdintCLOSE_FILE_INFO:
        return OnCloseFileInfo(record);
    case fdintNEXT_CABINET:
        (void)Report(kCaptionInfo, kReportInformation,
            "fdintNEXT_CABINET\n   name of next cabinet where file continued = %s\n"
            "   name of next disk where file continued    = %s\n"
            "   cabinet path name                         = %s\n\n",
            text(record->psz1), text(record->psz2), text(record->psz3));
        return 0;
    default:
        return 0;
    }
}

void CreateIntermediateFolders(const char* outputPath)
{
    // Drive part ("C:"), then the folder part up to and including the last
    // backslash that is a character of its own.
    char drive[3] = {};
    std::size_t start = 0;
    if (outputPath[0] != '\0' && outputPath[1] == ':') {
        drive[0] = outputPath[0];
        drive[1] = ':';
        start = 2;
    }
    const int last = LastSeparator(outputPath + start);
    if (last < 0)
        return; // no folder part: the file lies in the current folder
    const std::size_t folderLength = static_cast<std::size_t>(last) + 1;
    char folder[kCabinetPathSize];
    if (folderLength >= sizeof folder)
        return;
    std::memcpy(folder, outputPath + start, folderLength);
    folder[folderLength] = '\0';

    char probe[kCabinetPathSize + 4];
    (void)std::snprintf(probe, sizeof probe, "%s%s.", drive, folder);
    WIN32_FIND_DATAA found;
    sys::UniqueFind search(FindFirstFileA(probe, &found));
    if (search)
        return;

    char partial[kCabinetPathSize + 4];
    for (std::size_t i = 1; i < folderLength; ++i) {
        if (IsAnsiLeadByte(static_cast<unsigned char>(folder[i])) && i + 1 < folderLength) {
            ++i;
            continue;
        }
        if (folder[i] != '\\')
            continue;
        (void)std::snprintf(partial, sizeof partial, "%s%.*s", drive, static_cast<int>(i), folder);
        (void)CreateDirectoryA(partial, nullptr); // an existing folder is passed over
    }
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

INT_PTR DIAMONDAPI CabOpen(char* path, int flags, int permission)
{
    if (path == nullptr)
        return -1;
    int file = _open(path, flags | _O_BINARY, permission);
    if (file == 0) {
        // A program without a console may get descriptor 0, which the library
        // would take for "skip this file": use another one.
        const int other = _dup(0);
        (void)_close(0);
        file = other;
    }
    return file;
}

UINT DIAMONDAPI CabRead(INT_PTR file, void* buffer, UINT count)
{
    const int read = _read(static_cast<int>(file), buffer, count > INT_MAX ? INT_MAX : count);
    return read < 0 ? static_cast<UINT>(-1) : static_cast<UINT>(read);
}

UINT DIAMONDAPI CabWrite(INT_PTR file, void* buffer, UINT count)
{
    if (count > INT_MAX)
        return static_cast<UINT>(-1);
    const int written = _write(static_cast<int>(file), buffer, count);
    return written < 0 ? static_cast<UINT>(-1) : static_cast<UINT>(written);
}

int DIAMONDAPI CabClose(INT_PTR file)
{
    if (file == openOutput)
        openOutput = -1;
    return _close(static_cast<int>(file)) == 0 ? 0 : -1;
}

long DIAMONDAPI CabSeek(INT_PTR file, long distance, int origin)
{
    return _lseek(static_cast<int>(file), distance, origin);
}
