// Whole-file operations, special folders, folder trees and shortcuts over
// Win32. Paths are zero-terminated ANSI byte strings in buffers of 260 bytes.
#pragma once

#include <cstdint>
#include <string>

class ClsFile {
public:
    // Byte-count results: the count, or one of these.
    static constexpr int32_t kCannotOpen = -1; // cannot open or create
    static constexpr int32_t kNoSize = -2; // size not obtainable (also 2 GiB or more)
    static constexpr int32_t kReadWriteFailed = -3; // read or write failed, or larger than the buffer

    // The first file or folder of an operation that failed, and its Win32 error.
    struct Failure {
        std::string path;
        uint32_t error = 0;
    };

    // Opens exclusively, CREATE_ALWAYS; the count written (all of it, or -3
    // with the Win32 error left set), or -1.
    static int32_t WriteAll(const char* path, const void* data, int32_t length);
    // The size, -1 or -2.
    static int32_t GetSize(const char* path);
    // Reads the whole file into buffer, refusing (-3) a file larger than capacity.
    static int32_t ReadAll(const char* path, void* buffer, int32_t capacity);
    // true when WriteAll wrote every byte.
    static bool SaveFile(const char* path, const void* data, int32_t length);
    // ReadAll with its result disregarded; always true.
    static bool LoadFile(const char* path, void* buffer, int32_t capacity);

    // Special folders into a 260-byte buffer, without a trailing backslash as
    // the shell gives them; an empty text when the shell cannot name the folder.
    // Always true.
    static bool GetStartupFolder(char* result);
    static bool GetWindowsFolder(char* result);
    static bool GetMyDocumentsFolder(char* result);
    static bool GetDesktopFolder(char* result);
    static bool GetProgramFilesFolder(char* result);

    static bool RemoveFile(const char* path);
    // Merges the source tree into the destination; false when the source
    // cannot be listed, the path is empty or too long, or the destination lies
    // inside the source, and false too when a file or folder inside could not
    // be copied (the walk goes on with the next; the first that failed goes
    // into `failed`).
    static bool CopyFolder(const char* source, const char* destination, Failure* failed = nullptr);
    // Deletes the tree (clearing read-only bits, never following a reparse
    // point); true when the folder itself was removed.
    static bool DeleteFolder(const char* folder);

    // Writes linkFolder\linkName.lnk pointing at target (icon 0 of the target,
    // working directory its folder). false for an empty target or when COM
    // cannot be initialised; true otherwise.
    static bool CreateShortcut(const char* target, const char* linkFolder, const char* linkName);
};
