// The files and the registry as a transaction changes them (Transaction.h):
// every change that must outlive the process goes through this table, so that
// the transaction's order of changes and flushes is the same whether Windows
// carries it out (MachineStorage) or a model of a disk that loses what was
// not flushed (the tests). Portable: no Win32.
//
// Paths are full ANSI paths. Every change answers with a Win32 error number,
// 0 when it was done.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "install/InstallPlan.h"
#include "install/Scope.h"
#include "sys/PathWalk.h"

namespace install {

// The Win32 errors the transaction tells apart.
namespace store_error {
constexpr uint32_t kNone = 0;
constexpr uint32_t kFileNotFound = 2;
constexpr uint32_t kPathNotFound = 3;
constexpr uint32_t kAccessDenied = 5;
constexpr uint32_t kNotSameDevice = 17;
constexpr uint32_t kSharingViolation = 32;
constexpr uint32_t kFileExists = 80;
constexpr uint32_t kDirNotEmpty = 145;
constexpr uint32_t kAlreadyExists = 183;
constexpr uint32_t kInvalidData = 13;
} // namespace store_error

constexpr bool IsMissing(uint32_t error)
{
    return error == store_error::kFileNotFound || error == store_error::kPathNotFound;
}

// A value of a registry key, its bytes as RegQueryValueEx gives them.
struct RegistryValue {
    std::string name;
    uint32_t type = 0; // REG_SZ 1, REG_BINARY 3, REG_DWORD 4, ...
    std::string data;
    bool operator==(const RegistryValue&) const = default;
};

struct RegistryKey {
    bool exists = false;
    std::vector<RegistryValue> values;
    bool operator==(const RegistryKey&) const = default;
};

// A rename or deletion Windows carries out when it restarts
// (PendingFileRenameOperations); an empty target deletes the source.
struct PendingRename {
    std::string source;
    std::string target;
    bool operator==(const PendingRename&) const = default;
};

struct Storage {
    sys::CodePage codePage; // of the paths
    std::function<PathKind(const std::string& path)> kind;
    // The names in a folder.
    std::function<std::vector<std::string>(const std::string& folder)> names;
    // A folder; hidden: with the hidden attribute.
    std::function<uint32_t(const std::string& path, bool hidden)> makeFolder;
    // An empty folder.
    std::function<uint32_t(const std::string& path)> removeFolder;
    // A file (read-only or not), or a link, never what it names.
    std::function<uint32_t(const std::string& path)> removeFile;
    // A folder with everything in it; a link inside is removed, not followed.
    std::function<uint32_t(const std::string& path)> removeTree;
    // A file or folder to a name that is free, on the same volume
    // (kNotSameDevice otherwise).
    std::function<uint32_t(const std::string& from, const std::string& to)> rename;
    // A file over another (or to a free name), durable when it returns.
    std::function<uint32_t(const std::string& from, const std::string& to)> replaceDurably;
    // A file's bytes, attributes and time to a free name, durable.
    std::function<uint32_t(const std::string& from, const std::string& to)> copyDurably;
    // A new file with these bytes (kFileExists when the name is taken),
    // durable; or bytes after the end of an existing one, durable.
    std::function<uint32_t(const std::string& path, const std::string& bytes)> createDurably;
    std::function<uint32_t(const std::string& path, const std::string& bytes)> appendDurably;
    // A whole file of at most `limit` bytes (kInvalidData when larger).
    std::function<uint32_t(const std::string& path, std::string& bytes, uint64_t limit)> read;
    // Every change of names so far on the volume of `folder` made durable.
    std::function<uint32_t(const std::string& folder)> barrier;

    std::function<uint32_t(const PendingRename& rename)> renameAtRestart;
    std::function<std::vector<PendingRename>()> pendingRenames;

    // Keys below the scope's root (HKEY_LOCAL_MACHINE in the build's view,
    // or HKEY_CURRENT_USER).
    std::function<RegistryKey(Scope scope, const std::string& key)> readKey;
    // Creates the key when missing, sets `set` and deletes `remove`.
    std::function<uint32_t(Scope scope, const std::string& key, const std::vector<RegistryValue>& set,
        const std::vector<std::string>& remove)>
        writeKey;
    // A key without sub-keys, with its values; 0 when it is gone.
    std::function<uint32_t(Scope scope, const std::string& key)> deleteKey;
    // What was written under the scope's root made durable.
    std::function<uint32_t(Scope scope)> flushKeys;
};

} // namespace install
