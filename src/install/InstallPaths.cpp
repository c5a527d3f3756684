#include "install/InstallPaths.h"

#include <cstring>
#include <initializer_list>
#include <string_view>

namespace install {

namespace {

// Joins the parts into out, or leaves out empty when they do not fit.
bool Join(char* out, std::size_t capacity, std::initializer_list<std::string_view> parts)
{
    std::size_t length = 0;
    for (std::string_view part : parts)
        length += part.size();
    out[0] = '\0';
    if (length >= capacity)
        return false;
    char* p = out;
    for (std::string_view part : parts) {
        if (!part.empty())
            std::memcpy(p, part.data(), part.size());
        p += part.size();
    }
    *p = '\0';
    return true;
}

std::string_view WithoutTrailingBlanks(const char* text)
{
    std::string_view view(text);
    while (!view.empty() && static_cast<unsigned char>(view.back()) <= 32)
        view.remove_suffix(1);
    return view;
}

} // namespace

bool BaseFolder(const char* folderText, char* out)
{
    return Join(out, kPathSize, { WithoutTrailingBlanks(folderText) });
}

bool FirstComponent(const char* productFolder, char* out)
{
    const std::string_view folder(productFolder);
    return Join(out, kPathSize, { folder.substr(0, folder.find('\\')) });
}

bool InstallFolder(const char* folderText, const char* firstComponent, char* out)
{
    return Join(out, kPathSize, { WithoutTrailingBlanks(folderText), "\\", firstComponent });
}

bool StagingFolder(const char* installFolder, char* out)
{
    return Join(out, kPathSize, { installFolder, "\\ins" });
}

bool UninstallKey(const char* firstComponent, char* out)
{
    return Join(out, kPathSize, { "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\", firstComponent });
}

bool UninstallCommand(const char* installFolder, char* out)
{
    return Join(out, kPathSize, { installFolder, "\\uninstall.exe" });
}

bool QuotedCommand(const char* command, char* out)
{
    if (std::strchr(command, ' ') == nullptr)
        return Join(out, kQuotedCommandSize, { command });
    return Join(out, kQuotedCommandSize, { "\"", command, "\"" });
}

bool ShortcutTarget(const char* baseFolder, const char* programPath, char* out)
{
    return Join(out, kPathSize, { baseFolder, "\\", programPath });
}

bool StartMenuFolder(const char* startupFolder, char* out)
{
    const std::string_view folder(startupFolder);
    const std::size_t cut = folder.rfind('\\');
    return Join(out, kPathSize, { cut == std::string_view::npos ? std::string_view() : folder.substr(0, cut) });
}

bool LogFolderFromParent(const char* productFolder, char* out)
{
    return Join(out, kPathSize, { productFolder, "\\ynb" });
}

} // namespace install
