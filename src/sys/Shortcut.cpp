#include "sys/ClsFile.h"

#include "sys/Handle.h"
#include "sys/PathText.h"
#include "sys/Text.h"

#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstring>

namespace {

// Balances a successful CoInitialize (S_FALSE included) on every path.
class ComScope {
public:
    ComScope()
        : initialised_(SUCCEEDED(CoInitialize(nullptr)))
    {
    }
    ~ComScope()
    {
        if (initialised_)
            CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    bool Initialised() const { return initialised_; }

private:
    bool initialised_;
};

// The target's folder: the text before its last separator, empty without one.
bool WorkingDirectoryOf(const char* target, char (&out)[sys::kPathSize])
{
    const std::size_t length = std::strlen(target);
    if (length >= sizeof out)
        return false;
    std::memcpy(out, target, length + 1);
    const std::ptrdiff_t separator = sys::LastSeparator(out);
    out[separator < 0 ? 0 : separator] = 0;
    return true;
}

// linkFolder + "\" + linkName + ".lnk", refused when it does not fit.
bool LinkPathOf(const char* linkFolder, const char* linkName, char (&out)[sys::kPathSize])
{
    const std::size_t folderLength = std::strlen(linkFolder);
    const std::size_t nameLength = std::strlen(linkName);
    if (folderLength + 1 + nameLength + 4 + 1 > sizeof out)
        return false;
    std::memcpy(out, linkFolder, folderLength);
    out[folderLength] = '\\';
    std::memcpy(out + folderLength + 1, linkName, nameLength);
    std::memcpy(out + folderLength + 1 + nameLength, ".lnk", 5);
    return true;
}

// Writes the shortcut file; every failure leaves it unwritten, silently.
void SaveShortcut(const char* target, const char* linkFolder, const char* linkName)
{
    char workingDirectory[sys::kPathSize];
    char linkPath[sys::kPathSize];
    // Paths that do not fit are not cut into other paths: no file at all.
    if (!WorkingDirectoryOf(target, workingDirectory) || !LinkPathOf(linkFolder, linkName, linkPath))
        return;

    sys::UniqueCom<IShellLinkA> link;
    if (FAILED(CoCreateInstance(
            CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, reinterpret_cast<void**>(link.Put()))))
        return;
    sys::UniqueCom<IPersistFile> persist;
    if (FAILED(link.Get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(persist.Put()))))
        return;

    (void)link.Get()->SetWorkingDirectory(workingDirectory);
    (void)link.Get()->SetPath(target);
    (void)link.Get()->SetIconLocation(target, 0);

    const std::wstring widePath = sys::FromAnsi(linkPath);
    if (widePath.empty())
        return;
    (void)persist.Get()->Save(widePath.c_str(), TRUE);
} // released in reverse order: IPersistFile, then IShellLinkA

} // namespace

bool ClsFile::CreateShortcut(const char* target, const char* linkFolder, const char* linkName)
{
    if (target == nullptr || target[0] == 0)
        return false;
    const ComScope com;
    if (!com.Initialised())
        return false;
    if (linkFolder != nullptr && linkName != nullptr)
        SaveShortcut(target, linkFolder, linkName);
    return true;
}
