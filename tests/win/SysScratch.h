// Scratch folders and file helpers for the tests of the system services and
// the window framework, with ANSI paths as those services take them: every test
// program works in a folder of its own (named with the process id) under the
// temporary folder, removed before and after use. The work is done by the
// shared helpers of Driver.h.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Driver.h"

namespace scratch {

// Removes a tree without ever entering a link (driver::RemoveTree).
inline void RemoveTree(const std::string& path)
{
    driver::RemoveTree(driver::Wide(path));
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

inline DWORD Attributes(const std::string& path)
{
    return GetFileAttributesA(path.c_str());
}

inline bool Exists(const std::string& path)
{
    return Attributes(path) != INVALID_FILE_ATTRIBUTES;
}

inline bool IsFolder(const std::string& path)
{
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

inline bool Write(const std::string& path, const std::string& bytes, DWORD attributes = 0)
{
    return driver::WriteBytes(driver::Wide(path), bytes)
        && (attributes == 0 || SetFileAttributesA(path.c_str(), attributes) != 0);
}

// The file's bytes, or "<missing PATH>" when it cannot be read.
inline std::string Read(const std::string& path)
{
    return driver::ReadBytes(driver::Wide(path));
}

inline bool MakeFolder(const std::string& path, DWORD attributes = 0)
{
    return CreateDirectoryA(path.c_str(), nullptr)
        && (attributes == 0 || SetFileAttributesA(path.c_str(), attributes) != 0);
}

// Names in a folder, "." and ".." left out, sorted.
inline std::vector<std::string> List(const std::string& folder)
{
    std::vector<std::string> names;
    for (const std::wstring& name : driver::Names(driver::Wide(folder)))
        names.push_back(driver::Narrow(name));
    return names;
}

} // namespace scratch
