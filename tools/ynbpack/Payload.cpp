// The cabinet of a folder tree and the scrambled payload made from it.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <map>

#include "Commands.h"
#include "Host.h"
#include "Progress.h"
#include "Payload.h"
#include "Texts.h"
#include "Unicode.h"
#include "package/PayloadBlocks.h"
#include "package/PayloadDigests.h"
#include "package/Sha256.h"
#include "sys/CaseFold.h"
#include "sys/NameRules.h"
#include "sys/Names.h"

namespace ynbpack {

namespace {

namespace fs = std::filesystem;

constexpr uint16_t kReadOnly = 0x01;
constexpr uint16_t kArchive = 0x20;

// The setup program opens files by their Shift-JIS (code page 932) names.
// A UTF-8 name from the host is converted; any other name is taken as
// Shift-JIS bytes already.
std::string ToStoredName(const std::string& name)
{
    const bool ascii
        = std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii || !IsUtf8(name))
        return name;
    std::string stored;
    if (!Utf8ToShiftJis(name, stored))
        throw UsageError("'" + name + "' has no Shift-JIS form");
    return stored;
}

// The MS-DOS date and time of a modification time, in local time, as the
// extracting side expects. They hold the years 1980 to 2107 only: a time
// outside is stored as the nearest one inside; false tells so.
bool ToDosTime(time_t when, const std::string& path, CabinetMember& member)
{
    std::tm local = {};
    if (!LocalTime(when, local))
        throw UsageError("'" + path + "': its modification time cannot be stored");
    const int year = local.tm_year + 1900;
    if (year < 1980 || year > 2107) {
        const bool early = year < 1980;
        member.date = early ? (1 << 5 | 1) : (127 << 9 | 12 << 5 | 31);
        member.time = early ? 0 : (23 << 11 | 59 << 5 | 29);
        return false;
    }
    member.date = static_cast<uint16_t>((year - 1980) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
    member.time = static_cast<uint16_t>(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
    return true;
}

struct Entry {
    std::string stored; // relative path with backslashes, in Shift-JIS
    const CabinetSource* source;
    std::string Where() const { return source->path.empty() ? source->relative : Utf8Of(source->path); }
};

void Collect(const fs::path& root, const fs::path& folder, CabinetFiles& files)
{
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec)
        throw FileError("cannot list '" + Utf8Of(folder) + "': " + ec.message());
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            throw FileError("cannot list '" + Utf8Of(folder) + "': " + ec.message());
        const fs::path path = it->path();
        const fs::file_status status = fs::symlink_status(path, ec);
        if (ec)
            throw FileError("cannot inspect '" + Utf8Of(path) + "': " + ec.message());
        if (fs::is_directory(status)) {
            Collect(root, path, files);
        } else if (fs::is_regular_file(status)) {
            CabinetSource source;
            source.relative = Utf8Of(path.lexically_relative(root).generic_u8string());
            source.path = path;
            files[source.relative] = std::move(source);
        } else {
            throw UsageError("'" + Utf8Of(path) + "' is not a regular file or folder (links are not followed)");
        }
    }
}

// Stored names that differ only in case (or not at all) are one file on
// Windows: the second would overwrite the first; and a file cannot be where
// another file's folder is. Refused, both named.
void RefuseNamesThatAreOne(const std::vector<Entry>& entries)
{
    std::map<std::u16string, const Entry*> seen;
    const auto folded = [](const std::string& stored) {
        std::string utf8;
        std::u16string name;
        if (!ShiftJisToUtf8(stored, utf8) || !Utf8ToUtf16(utf8, name))
            name.assign(stored.begin(), stored.end());
        return sys::FoldedName(name);
    };
    for (const Entry& entry : entries) {
        const auto [at, fresh] = seen.emplace(folded(entry.stored), &entry);
        if (!fresh)
            throw UsageError("'" + at->second->Where() + "' and '" + entry.Where()
                + "' have one stored name on Windows, where case does not count");
    }
    for (const Entry& entry : entries) {
        for (std::size_t slash = entry.stored.find('\\'); slash != std::string::npos;
             slash = entry.stored.find('\\', slash + 1)) {
            const auto file = seen.find(folded(entry.stored.substr(0, slash)));
            if (file != seen.end())
                throw UsageError(
                    "'" + file->second->Where() + "' is a file where '" + entry.Where() + "' needs a folder");
        }
    }
}

} // namespace

Bytes DigestsOf(const CabinetFiles& files)
{
    package::PayloadDigests digests;
    uint64_t total = 0;
    for (const auto& [relative, source] : files)
        total += source.path.empty() ? source.content.size() : FactsOf(source.path).size;
    Progress::Get().Begin("hashing", files.size(), total);
    for (const auto& [relative, source] : files) {
        std::string stored = ToStoredName(relative);
        std::replace(stored.begin(), stored.end(), '/', '\\');
        const Bytes read = source.path.empty() ? Bytes() : ReadFile(Utf8Of(source.path));
        const Bytes& bytes = source.path.empty() ? source.content : read;
        package::FileDigest& digest = digests[stored];
        Sha256::Hash(bytes.data(), bytes.size(), digest.sha256);
        digest.size = bytes.size();
        Progress::Get().Advance(1, bytes.size());
    }
    Progress::Get().End();
    const std::string text = package::WriteDigests(digests);
    return Bytes(text.begin(), text.end());
}

void CollectFiles(const fs::path& folder, CabinetFiles& files)
{
    Collect(folder, folder, files);
}

Bytes BuildCabinetBytes(const CabinetFiles& files, uint32_t folderSize, CabinetCompression compression)
{
    std::vector<Entry> entries;
    for (const auto& [relative, source] : files) {
        std::string stored = ToStoredName(relative);
        std::replace(stored.begin(), stored.end(), '/', '\\');
        entries.push_back({ stored, &source });
    }
    if (entries.empty())
        throw UsageError("no files: the setup program takes an empty cabinet for a damaged payload");
    // The manifest and the list of digests first, in a folder of their own:
    // the setup program reads them before anything else, and decodes no more
    // than them for that.
    const auto isManifest = [](const Entry& entry) {
        const fs::path name = PathOf(entry.source->relative);
        return (name.filename() == sys::kManifestName || name.filename() == package::kDigestsName)
            && name.parent_path().filename() == "ins";
    };
    std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        return isManifest(a) != isManifest(b) ? isManifest(a) : a.stored < b.stored;
    });
    RefuseNamesThatAreOne(entries);

    CabinetWriter writer(folderSize, compression);
    int clamped = 0;
    uint64_t total = 0;
    for (const Entry& entry : entries)
        total += entry.source->path.empty() ? entry.source->content.size() : FactsOf(entry.source->path).size;
    Progress::Get().Begin("reading", entries.size(), total);
    for (const Entry& entry : entries) {
        if (entry.stored.size() > kCabinetNameMax)
            throw UsageError("'" + entry.stored + "': a stored name has at most 255 bytes");
        const NameFault fault = CheckName(entry.stored.data(), entry.stored.size(), IsShiftJisLeadByte);
        if (fault != NameFault::None)
            throw UsageError(
                "'" + entry.stored + "': the setup program would refuse this name (" + NameFaultText(fault) + ")");
        CabinetMember member;
        member.name = entry.stored;
        member.attributes = kArchive;
        const CabinetSource& source = *entry.source;
        Bytes read;
        std::time_t modified = source.modified;
        bool readOnly = source.readOnly;
        if (!source.path.empty()) {
            const FileFacts facts = FactsOf(source.path);
            if (facts.size > INT32_MAX)
                throw UsageError("'" + entry.Where() + "' has 2 GiB or more");
            read = ReadFile(Utf8Of(source.path));
            if (read.size() != facts.size)
                throw FileError("'" + entry.Where() + "' changed while it was read");
            modified = facts.modified;
            readOnly = facts.readOnly;
        }
        if (!ToDosTime(modified, entry.Where(), member))
            ++clamped;
        if (readOnly)
            member.attributes |= kReadOnly;
        writer.Add(member, source.path.empty() ? source.content : read);
        Progress::Get().Advance(1, source.path.empty() ? source.content.size() : read.size());
        if (isManifest(entry) && (&entry == &entries.back() || !isManifest(*(&entry + 1))))
            writer.CloseFolder();
    }
    Progress::Get().End();
    if (clamped > 0)
        std::cerr
            << "ynbpack: note: " << clamped
            << " file(s) have times outside 1980-2107, which a cabinet cannot hold; stored as the nearest it can\n";
    return writer.Finish();
}

void BuildCabinet(
    const std::string& folder, const std::string& cabinetPath, uint32_t folderSize, CabinetCompression compression)
{
    std::error_code ec;
    if (!fs::is_directory(PathOf(folder), ec))
        throw UsageError("'" + folder + "' is not a folder");
    CabinetFiles files;
    CollectFiles(PathOf(folder), files);
    if (files.empty())
        throw UsageError(
            "'" + folder + "' holds no files: the setup program takes an empty cabinet for a damaged payload");
    WriteFile(cabinetPath, BuildCabinetBytes(files, folderSize, compression));
}

uint32_t ParseFolderSize(const std::string& text)
{
    std::string digits = text;
    uint64_t unit = 1;
    if (!digits.empty() && (digits.back() == 'K' || digits.back() == 'M')) {
        unit = digits.back() == 'K' ? 1024 : 1024 * 1024;
        digits.pop_back();
    }
    if (digits.empty() || digits.size() > 10
        || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        throw UsageError("--folder-size '" + text + "' is not a number of bytes (suffixes K and M allowed)");
    const uint64_t value = std::stoull(digits) * unit;
    if (value == 0 || value > kMaxFolderSize)
        throw UsageError("--folder-size must lie between 1 and " + std::to_string(kMaxFolderSize) + " bytes");
    return static_cast<uint32_t>(value);
}

uint32_t TakeFolderSizeOption(std::vector<std::string>& args)
{
    std::string value;
    return TakeValueOption(args, "--folder-size", value) ? ParseFolderSize(value) : kDefaultFolderSize;
}

CabinetCompression TakeCompressionOption(std::vector<std::string>& args)
{
    std::string value;
    return TakeValueOption(args, "--compression", value) ? ParseCompression(value) : CabinetCompression {};
}

bool LooksLikeCabinet(const Bytes& data)
{
    return data.size() >= 4 && std::memcmp(data.data(), "MSCF", 4) == 0;
}

Bytes MakePayload(Bytes cabinet, int32_t key)
{
    if (cabinet.size() > static_cast<std::size_t>(INT32_MAX))
        throw UsageError("a payload of 2 GiB or more cannot be read by the setup program");
    ScramblePayloadBlocks(cabinet.data(), cabinet.size(), key);
    return cabinet;
}

Bytes RestorePayload(Bytes payload, int32_t key)
{
    if (payload.size() > static_cast<std::size_t>(INT32_MAX))
        throw UsageError("a payload of 2 GiB or more cannot be read by the setup program");
    UnscramblePayloadBlocks(payload.data(), payload.size(), key);
    return payload;
}

} // namespace ynbpack
