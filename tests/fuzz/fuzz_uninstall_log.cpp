// The uninstaller's reading of the install log on any bytes: a log is read
// whole or refused, and no line it lets through is a root, the install folder,
// an area, a folder holding a protected one or anything in a sealed one, nor
// lies outside the install folder, the areas (for file lines also the
// file-only ones) and the shortcuts. Paths are checked against a model of
// their own: components split at the 0x5C bytes no lead byte claims.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "install/InstallLog.h"
#include "install/UninstallPlan.h"

namespace {

using namespace install;

struct Machine {
    UninstallPlaces places;
    std::string staging;
    LeadByteTest lead;
};

const std::vector<Machine>& Machines()
{
    static const std::vector<Machine> machines = [] {
        UninstallPlaces local;
        local.installFolder = "C:\\Program Files\\Tool";
        local.areas = { "C:\\Users\\u\\Desktop", "C:\\Users\\u\\Documents" };
        local.fileOnlyAreas = { "C:\\Windows" };
        local.shortcuts = { "C:\\Users\\u\\Desktop\\Tool.lnk", "C:\\Start Menu\\Programs\\Tool.lnk" };
        local.protectedFolders = { "C:\\Users\\u", "C:\\Program Files", "C:\\Start Menu\\Programs" };
        local.sealedFolders = { "C:\\Windows\\System32", "C:\\Windows\\Fonts" };
        // A share, with Shift-JIS names: 表 and ソ end in 0x5C, ア in 0x41.
        UninstallPlaces share;
        share.installFolder = "\\\\srv\\share\\\x95\x5c\\\x83\x5c";
        share.areas = { "\\\\srv\\share\\\x83\x41" };
        share.fileOnlyAreas = { "\\\\srv\\share\\\x95\x5c\\W" };
        share.shortcuts = { "\\\\srv\\share\\\x95\x5c\\Tool.lnk", "C:\\Tool.lnk" };
        // ャ (0x83 0x61) beside the area ア (0x83 0x41).
        share.protectedFolders = { "\\\\srv\\share\\\x83\x41\\\x83\x5c", "\\\\srv\\share\\\x83\x61" };
        share.sealedFolders = { "\\\\srv\\share\\\x95\x5c\\W\\\x83\x5c" };
        // Short names, which mutations reach: C:\I installed, C:\D an area, C:\W
        // one for files only.
        UninstallPlaces near;
        near.installFolder = "C:\\I";
        near.areas = { "C:\\D" };
        near.fileOnlyAreas = { "C:\\W" };
        near.shortcuts = { "C:\\D\\S", "C:\\S\\S" };
        near.protectedFolders = { "C:\\D\\P", "C:\\S", "C:\\I\\P" };
        near.sealedFolders = { "C:\\W\\Y", "C:\\I\\Y" };
        return std::vector<Machine> {
            { near, near.installFolder + "\\ins", IsShiftJisLeadByte },
            { local, local.installFolder + "\\ins", IsShiftJisLeadByte },
            { local, local.installFolder + "\\ins", nullptr }, // every 0x5C a separator
            { share, share.installFolder + "\\ins", IsShiftJisLeadByte },
        };
    }();
    return machines;
}

// The components of a path, including the empty ones.
std::vector<std::string_view> Components(std::string_view path, LeadByteTest lead)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (lead != nullptr && lead(static_cast<unsigned char>(path[i]))) {
            ++i;
        } else if (path[i] == '\\') {
            parts.push_back(path.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(path.substr(start));
    return parts;
}

// Without a root's own backslash.
std::vector<std::string_view> Named(std::string_view path, LeadByteTest lead)
{
    std::vector<std::string_view> parts = Components(path, lead);
    if (parts.size() > 1 && parts.back().empty())
        parts.pop_back();
    return parts;
}

// "C:", or "", "", server, share.
std::size_t RootSize(const std::vector<std::string_view>& parts)
{
    return parts[0].empty() ? 4 : 1;
}

bool SameComponent(std::string_view a, std::string_view b, LeadByteTest lead)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (lead != nullptr && lead(x) && i + 1 < a.size()) {
            if (x != y || a[i + 1] != b[i + 1])
                return false;
            ++i;
        } else if ((x >= 'a' && x <= 'z' ? x - 32 : x) != (y >= 'a' && y <= 'z' ? y - 32 : y)) {
            return false;
        }
    }
    return true;
}

using Parts = std::vector<std::string_view>;

// How many components inner has beyond those of outer; -1 when it does not lie
// in outer at all.
long Depth(const Parts& inner, const Parts& outer, LeadByteTest lead)
{
    if (inner.size() < outer.size())
        return -1;
    for (std::size_t i = 0; i < outer.size(); ++i)
        if (!SameComponent(inner[i], outer[i], lead))
            return -1;
    return static_cast<long>(inner.size() - outer.size());
}

// A canonical path: an upper-case drive or a share, then components that are
// neither empty, "." nor ".."; a backslash at the end only after a root alone;
// and CanonicalPath gives it back unchanged.
void CheckCanonical(const std::string& path, LeadByteTest lead)
{
    std::vector<std::string_view> parts = Components(path, lead);
    const std::size_t root = RootSize(parts);
    if (parts.back().empty() && parts.size() == root + 1)
        parts.pop_back();
    if (parts.size() < root)
        __builtin_trap();
    if (root == 1 && (parts[0].size() != 2 || parts[0][0] < 'A' || parts[0][0] > 'Z' || parts[0][1] != ':'))
        __builtin_trap();
    if (root == 4 && !parts[1].empty())
        __builtin_trap();
    for (std::size_t i = root == 4 ? 2 : 1; i < parts.size(); ++i)
        if (parts[i].empty() || parts[i] == "." || parts[i] == "..")
            __builtin_trap();
    std::string again;
    if (CanonicalPath(path, std::string_view(), lead, again) != PathProblem::None || again != path)
        __builtin_trap();
}

void CheckPlan(const UninstallLog& log, const Machine& machine)
{
    const UninstallPlaces& places = machine.places;
    const LeadByteTest lead = machine.lead;
    const std::vector<PlannedLine> plan = PlanUninstall(log, machine.staging, places, lead);
    if (plan.size() != log.lines.size())
        __builtin_trap();
    const Parts install = Named(places.installFolder, lead);
    std::vector<Parts> areas, fileAreas, shortcuts, sealed, kept { install };
    for (const std::string& area : places.areas)
        areas.push_back(Named(area, lead));
    for (const std::string& area : places.fileOnlyAreas)
        fileAreas.push_back(Named(area, lead));
    for (const std::string& shortcut : places.shortcuts)
        shortcuts.push_back(Named(shortcut, lead));
    for (const std::string& folder : places.sealedFolders)
        sealed.push_back(Named(folder, lead));
    kept.insert(kept.end(), areas.begin(), areas.end());
    kept.insert(kept.end(), fileAreas.begin(), fileAreas.end());
    kept.insert(kept.end(), sealed.begin(), sealed.end());
    for (const std::string& folder : places.protectedFolders)
        kept.push_back(Named(folder, lead));
    for (std::size_t i = 0; i < plan.size(); ++i) {
        const PlannedLine& planned = plan[i];
        const LogLine& line = log.lines[log.lines.size() - 1 - i];
        if (planned.text != line.path + (line.folder ? "\\" : "") || planned.folder != line.folder)
            __builtin_trap();
        if (planned.refusal == Refusal::BadPath || planned.refusal == Refusal::ClimbsAboveRoot) {
            if (!planned.path.empty())
                __builtin_trap();
            continue;
        }
        CheckCanonical(planned.path, lead);
        if (planned.refusal != Refusal::None)
            continue;
        const Parts parts = Named(planned.path, lead);
        if (parts.size() <= RootSize(parts))
            __builtin_trap();
        bool inside = Depth(parts, install, lead) > 0;
        for (const Parts& area : areas)
            inside = inside || Depth(parts, area, lead) > 0;
        for (const Parts& area : fileAreas)
            inside = inside || (!planned.folder && Depth(parts, area, lead) > 0);
        for (const Parts& shortcut : shortcuts)
            inside = inside || (!planned.folder && Depth(parts, shortcut, lead) == 0);
        if (!inside)
            __builtin_trap();
        for (const Parts& folder : kept)
            if (Depth(folder, parts, lead) >= 0)
                __builtin_trap();
        for (const Parts& folder : sealed)
            if (Depth(parts, folder, lead) >= 0)
                __builtin_trap();
    }
    // Must end, whatever the folder names: also with folders that are no canonical paths.
    (void)RecordedFolderMatches(log.installFolder, places.installFolder, lead);
    (void)RecordedFolderMatches(log.installFolder, log.installFolder, lead);
}

// A log of the machine's own from the input: the first line, the input with
// each LF made CR LF and the control bytes but CR, NUL and TAB replaced by the
// machine's folders (no log holds these bytes; mutations then reach paths at,
// above and beside the folders), and the install folder's line.
std::string Framed(const std::string& text, const UninstallPlaces& places)
{
    std::vector<std::string> folders = places.areas;
    folders.push_back(places.installFolder);
    for (const auto* list :
        { &places.fileOnlyAreas, &places.shortcuts, &places.protectedFolders, &places.sealedFolders })
        folders.insert(folders.end(), list->begin(), list->end());
    std::string out = "P\\\r\n";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\n')
            out += "\r\n";
        else if (byte < 0x20 && byte != '\r' && byte != '\0' && byte != '\t')
            out += folders[byte % folders.size()];
        else
            out += c;
    }
    return out + places.installFolder + "\\\r\n";
}

void ReadAndPlan(const std::string& text, const Machine* machine)
{
    // Exactly sized, so that AddressSanitizer sees any access beyond the data.
    char* copy = new char[text.empty() ? 1 : text.size()];
    std::memcpy(copy, text.data(), text.size());
    UninstallLog log;
    const LogProblem problem = ReadUninstallLog(copy, text.size(), "P", log);
    delete[] copy;
    if (problem != LogProblem::None) {
        if (!log.lines.empty() || !log.installFolder.empty())
            __builtin_trap();
        return;
    }
    // Nothing lost: the lines give back the text; none is empty, too long or
    // holds a control byte.
    std::string back = log.firstComponent + "\\\r\n";
    for (const LogLine& line : log.lines) {
        const std::string written = line.path + (line.folder ? "\\" : "");
        if (written.empty() || written.size() > 523)
            __builtin_trap();
        for (const char c : written)
            if (static_cast<unsigned char>(c) < 0x20)
                __builtin_trap();
        back += written + "\r\n";
    }
    back += log.installFolder + "\\\r\n";
    if (back != text || text.size() >= kInstallLogCapacity || log.installFolder.empty())
        __builtin_trap();
    if (machine != nullptr) {
        CheckPlan(log, *machine);
        return;
    }
    for (const Machine& each : Machines())
        CheckPlan(log, each);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    ReadAndPlan(text, nullptr);
    for (const Machine& machine : Machines())
        ReadAndPlan(Framed(text, machine.places), &machine);
    return 0;
}
