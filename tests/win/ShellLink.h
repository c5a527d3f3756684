// A shortcut file read back through the shell-link object (IShellLinkA and
// IPersistFile::Load), independent of the code that wrote it.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>

namespace shell_link {

struct Properties {
    bool loaded = false;
    std::string path; // as stored (SLGP_RAWPATH)
    std::string workingDirectory;
    std::string iconPath;
    int iconIndex = -1;
    std::string description;
    std::string arguments;
};

inline Properties Read(const std::wstring& file)
{
    Properties properties;
    const HRESULT init = CoInitialize(nullptr);
    IShellLinkA* link = nullptr;
    IPersistFile* persist = nullptr;
    if (SUCCEEDED(CoCreateInstance(
            CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, reinterpret_cast<void**>(&link)))
        && SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))
        && SUCCEEDED(persist->Load(file.c_str(), STGM_READ))) {
        char text[MAX_PATH * 2];
        properties.loaded = true;
        if (SUCCEEDED(link->GetPath(text, sizeof text, nullptr, SLGP_RAWPATH)))
            properties.path = text;
        if (SUCCEEDED(link->GetWorkingDirectory(text, sizeof text)))
            properties.workingDirectory = text;
        if (SUCCEEDED(link->GetIconLocation(text, sizeof text, &properties.iconIndex)))
            properties.iconPath = text;
        if (SUCCEEDED(link->GetDescription(text, sizeof text)))
            properties.description = text;
        if (SUCCEEDED(link->GetArguments(text, sizeof text)))
            properties.arguments = text;
    }
    if (persist != nullptr)
        persist->Release();
    if (link != nullptr)
        link->Release();
    if (SUCCEEDED(init))
        CoUninitialize();
    return properties;
}

// The target stored in a shortcut file, or "<not loaded>".
inline std::string Target(const std::wstring& file)
{
    const Properties properties = Read(file);
    return properties.loaded ? properties.path : "<not loaded>";
}

} // namespace shell_link
