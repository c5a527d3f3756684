// The manifest splitter and target paths on any text: stays inside the data and
// the buffers, and every entry it accepts is well formed.
#include <cstdint>
#include <cstring>

#include "install/Manifest.h"

namespace {

bool Desktop(char* out)
{
    return std::strcpy(out, "C:\\users\\u\\Desktop"), true;
}
bool Empty(char* out)
{
    return out[0] = '\0', true;
}
bool Full(char* out)
{
    std::memset(out, 'w', install::kFolderCapacity - 1);
    out[install::kFolderCapacity - 1] = '\0';
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace install;
    if (size > kManifestCapacity + 16)
        return 0;
    // Exactly sized, so that AddressSanitizer sees any access beyond the data.
    char* text = new char[size ? size : 1];
    std::memcpy(text, data, size);
    ManifestEntry entries[kManifestMaxEntries];
    const ManifestSplit split = SplitManifest(text, static_cast<int32_t>(size), entries);
    if (split.Count < 0 || split.Count > kManifestMaxEntries)
        __builtin_trap();
    const SpecialFolders folders { Desktop, Empty, Full };
    char* target = new char[kTargetPathCapacity];
    for (int i = 0; i < split.Count; ++i) {
        const ManifestEntry& e = entries[i];
        if (e.Offset < 0 || e.Length < 0 || static_cast<size_t>(e.Offset) + e.Length > size)
            __builtin_trap();
        if (e.Problem != EntryProblem::None)
            continue;
        if (std::strpbrk(e.Source, "\t\r\n") || std::strpbrk(e.Destination, "\r\n"))
            __builtin_trap();
        (void)IsFolderSource(e.Source);
        if (FormTargetPath(e.Destination, e.Source, folders, target) == TargetResult::Ok
            && std::strlen(target) >= kTargetPathCapacity)
            __builtin_trap();
    }
    (void)CheckManifest(reinterpret_cast<const char*>(data), size);
    delete[] target;
    delete[] text;
    return 0;
}
