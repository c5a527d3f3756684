// The installation plan on any payload table, manifest and machine: it ends,
// and what it plans holds together: each path written once, each payload file
// written at most once, every copy made from a file the extraction writes,
// nothing written into the staging folder.
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "install/InstallPlan.h"

namespace {

bool Desktop(char* out)
{
    return std::strcpy(out, "D:\\Desk"), true;
}
bool Documents(char* out)
{
    return std::strcpy(out, "C:\\P\\Docs"), true;
}
bool Windows(char* out)
{
    return out[0] = '\0', true;
}

// Path pieces that meet each other often: the product's folders, dots, roots.
const char* const kPieces[] = { "P", "ins", "bin", "a", "A", "b.txt", "..", ".", "\\", "C:", "D:", "\\\\s\\h",
    "DESKTOP", "MYDOC", "SYSTEM", "\t", "\r\n", "ynb_inst.com" };

std::string Text(const uint8_t*& data, const uint8_t* end, std::size_t pieces)
{
    std::string text;
    for (std::size_t i = 0; i < pieces && data < end; ++i, ++data)
        text += *data < 0xF0 ? kPieces[*data % (sizeof kPieces / sizeof *kPieces)] : std::string(1, '\\');
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace install;
    const uint8_t* end = data + size;
    if (size < 3)
        return 0;
    const std::size_t fileCount = data[0] % 12;
    const std::size_t machineCount = data[1] % 8;
    data += 2;
    PlanInput input;
    input.baseFolder = "C:\\P";
    input.installFolder = "C:\\P\\P";
    input.stagingFolder = "C:\\P\\P\\ins";
    for (std::size_t i = 0; i < fileCount && data < end; ++i) {
        const uint8_t attributes = *data++;
        std::string name = Text(data, end, 4);
        if (name.empty())
            name = "x";
        input.files.push_back({ name, attributes, attributes & 0x27u });
    }
    std::set<std::string> files;
    std::set<std::string> folders { "C:\\", "D:\\", "C:\\P", "D:\\Desk" };
    for (std::size_t i = 0; i < machineCount && data < end; ++i) {
        const bool folder = (*data++ & 1) != 0;
        const std::string path = NormalizePath("C:\\P\\" + Text(data, end, 3), nullptr);
        (folder ? folders : files).insert(path);
    }
    std::string manifest = Text(data, end, static_cast<std::size_t>(end - data));
    std::vector<char> text(manifest.begin(), manifest.end());
    ManifestEntry entries[kManifestMaxEntries];
    const ManifestSplit split = SplitManifest(
        text.data(), static_cast<int32_t>(std::min<std::size_t>(text.size(), kManifestCapacity)), entries);
    input.manifestText = text.data();
    input.entries = entries;
    input.entryCount = split.Count;
    input.specialFolders = { Desktop, Documents, Windows };
    input.machine.kind = [&](const std::string& path) {
        return folders.count(path) ? PathKind::Folder : files.count(path) ? PathKind::File : PathKind::None;
    };
    const InstallPlan plan = PlanInstallation(input);
    if (plan.entries.size() != static_cast<std::size_t>(split.Count))
        __builtin_trap();
    if (plan.mode == PlanMode::Staged)
        return plan.writes.empty() && plan.copies.empty() && !plan.why.empty() ? 0 : (__builtin_trap(), 0);
    std::set<std::string> written;
    std::set<int> payloadFiles;
    auto inStaging = [&](const std::string& path) {
        const std::string key = sys::PathKey(path, {});
        const std::string staging = sys::PathKey(input.stagingFolder, {});
        return key == staging || key.compare(0, staging.size() + 1, staging + "\\") == 0;
    };
    for (const PlannedWrite& write : plan.writes) {
        if (write.file < 0 || static_cast<std::size_t>(write.file) >= input.files.size()
            || !payloadFiles.insert(write.file).second || !written.insert(sys::PathKey(write.path, {})).second
            || inStaging(write.path))
            __builtin_trap();
    }
    for (const PlannedCopy& copy : plan.copies) {
        bool fromWrite = false;
        for (const PlannedWrite& write : plan.writes)
            fromWrite = fromWrite || write.path == copy.from;
        if (!fromWrite || !written.insert(sys::PathKey(copy.to, {})).second || inStaging(copy.to))
            __builtin_trap();
    }
    return 0;
}
