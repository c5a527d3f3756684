// Scratch folders and file helpers for the system-service tests: every test
// program works in a folder of its own (named with the process id) under the
// temporary folder, removed before and after use.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace scratch {

// Removes a tree, clearing read-only bits and removing links without
// following them; independent of the code under test.
inline void RemoveTree(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileA(path.c_str());
        return;
    }
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        WIN32_FIND_DATAA entry;
        HANDLE find = FindFirstFileA((path + "\\*").c_str(), &entry);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                const std::string name = entry.cFileName;
                if (name != "." && name != "..")
                    RemoveTree(path + "\\" + name);
            } while (FindNextFileA(find, &entry));
            FindClose(find);
        }
    }
    RemoveDirectoryA(path.c_str());
}

// A fresh folder under the temporary folder, removed again at the end.
class TempFolder {
public:
    explicit TempFolder(const char* name)
    {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        char path[MAX_PATH];
        std::snprintf(path, sizeof path, "%synbsys_%s_%lu", temp, name, GetCurrentProcessId());
        path_ = path;
        RemoveTree(path_);
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~TempFolder() { RemoveTree(path_); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

inline bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline bool IsFolder(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

inline DWORD Attributes(const std::string& path)
{
    return GetFileAttributesA(path.c_str());
}

inline bool Write(const std::string& path, const std::string& bytes, DWORD attributes = 0)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok
        = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
    CloseHandle(file);
    if (ok && attributes != 0)
        return SetFileAttributesA(path.c_str(), attributes) != 0;
    return ok;
}

// The file's bytes, or "<missing>" when it cannot be read.
inline std::string Read(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string bytes;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0)
        bytes.append(chunk, read);
    CloseHandle(file);
    return bytes;
}

inline bool MakeFolder(const std::string& path, DWORD attributes = 0)
{
    if (!CreateDirectoryA(path.c_str(), nullptr))
        return false;
    return attributes == 0 || SetFileAttributesA(path.c_str(), attributes) != 0;
}

// Names in a folder, "." and ".." left out.
inline std::vector<std::string> List(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::string name = entry.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return names;
}

} // namespace scratch
