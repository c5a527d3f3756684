// The installation's derived paths, as plain joins of byte strings: no
// separator is added or removed beyond what each formula says. Portable: no
// Win32. Every output buffer holds kPathSize bytes (terminator included); a
// result that does not fit is refused (false, output empty), never cut.
#pragma once

#include <cstddef>

#include "sys/Names.h"

namespace install {

using sys::kPathSize;

// The product folder up to, not including, its first backslash byte (the whole
// of it when it holds none).
bool FirstComponent(const char* productFolder, char* out);

// The base folder: the folder text without its trailing bytes of value 0 to
// 32. The system drops trailing blanks when it creates a folder, so a base
// folder that kept them would name a folder that never comes to exist, and the
// payload would be unpacked nowhere while the install folder lies elsewhere.
bool BaseFolder(const char* folderText, char* out);

// The folder text without its trailing bytes of value 0 to 32, "\", the first
// component.
bool InstallFolder(const char* folderText, const char* firstComponent, char* out);

// install folder + "\ins": where the payload delivers the manifest and the
// files it names.
bool StagingFolder(const char* installFolder, char* out);

// "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\" + first component.
bool UninstallKey(const char* firstComponent, char* out);

// install folder + "\uninstall.exe".
bool UninstallCommand(const char* installFolder, char* out);

// The "UninstallString" value: the command in double quotes when it holds a
// space, so that the system does not split the path at it; else the command.
// out holds kPathSize + 2 bytes.
constexpr std::size_t kQuotedCommandSize = kPathSize + 2;
bool QuotedCommand(const char* command, char* out);

// base folder + "\" + program path.
bool ShortcutTarget(const char* baseFolder, const char* programPath, char* out);

// The Startup folder cut at its last backslash byte: the Programs folder that
// holds it. A path ending in a backslash loses only that backslash; one
// without any becomes empty.
bool StartMenuFolder(const char* startupFolder, char* out);

// product folder + "\ynb": the log folder, relative to the install folder's
// parent.
bool LogFolderFromParent(const char* productFolder, char* out);

} // namespace install
