// cab, payload and unpayload.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <memory>

#include <libgcab.h>

#include "Payload.h"
#include "package/CabinetNames.h"
#include "package/PayloadBlocks.h"

namespace ynbpack {

namespace {

namespace fs = std::filesystem;

// Owners of the GLib objects of one cabinet.
struct GObjectFree {
    void operator()(gpointer p) const { g_object_unref(p); }
};
template <typename T>
using GPtr = std::unique_ptr<T, GObjectFree>;
struct GErrorFree {
    void operator()(GError* e) const { g_error_free(e); }
};
struct GBytesFree {
    void operator()(GBytes* b) const { g_bytes_unref(b); }
};
struct GDateTimeFree {
    void operator()(GDateTime* d) const { g_date_time_unref(d); }
};

[[noreturn]] void ThrowGError(const std::string& what, GError* error)
{
    std::unique_ptr<GError, GErrorFree> owner(error);
    throw UsageError(what + ": " + (error != nullptr ? error->message : "unknown error"));
}

constexpr guint32 kReadOnly = 0x01;
constexpr guint32 kArchive = 0x20;
constexpr std::size_t kMaxStoredName = 255;

// The setup program opens files by their Shift-JIS (code page 932) names.
// A UTF-8 name from the host is converted; any other name is taken as
// Shift-JIS bytes already.
std::string ToStoredName(const std::string& name)
{
    const bool ascii
        = std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii || !g_utf8_validate(name.data(), static_cast<gssize>(name.size()), nullptr))
        return name;
    GError* error = nullptr;
    gsize written = 0;
    gchar* converted
        = g_convert(name.data(), static_cast<gssize>(name.size()), "CP932", "UTF-8", nullptr, &written, &error);
    if (converted == nullptr)
        ThrowGError("'" + name + "' has no Shift-JIS form", error);
    std::string result(converted, written);
    g_free(converted);
    return result;
}

// libgcab marks every name beyond ASCII as UTF-8 (attribute 0x80); ours are
// Shift-JIS, so the mark is cleared in each file entry of the header.
void ClearUtf8NameMarks(Bytes& cabinet)
{
    auto u16 = [&cabinet](std::size_t at) { return static_cast<std::size_t>(cabinet[at] | cabinet[at + 1] << 8); };
    auto u32 = [&cabinet](std::size_t at) {
        return static_cast<std::size_t>(
            cabinet[at] | cabinet[at + 1] << 8 | cabinet[at + 2] << 16 | static_cast<uint32_t>(cabinet[at + 3]) << 24);
    };
    if (cabinet.size() < 36)
        throw UsageError("libgcab wrote a cabinet without a header");
    std::size_t at = u32(16); // coffFiles
    const std::size_t files = u16(28);
    for (std::size_t i = 0; i < files; ++i) {
        if (at + 16 >= cabinet.size())
            throw UsageError("libgcab wrote a cabinet with a short file table");
        cabinet[at + 14] &= 0x7f; // attribs, low byte: 0x80 is _A_NAME_IS_UTF
        at += 16;
        while (at < cabinet.size() && cabinet[at] != 0)
            ++at;
        ++at;
    }
}

struct Entry {
    std::string stored; // relative path with backslashes
    fs::path path;
};

void Collect(const fs::path& root, const fs::path& folder, std::vector<Entry>& entries)
{
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec)
        throw UsageError("cannot list '" + folder.string() + "': " + ec.message());
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            throw UsageError("cannot list '" + folder.string() + "': " + ec.message());
        const fs::path path = it->path();
        const fs::file_status status = fs::symlink_status(path, ec);
        if (ec)
            throw UsageError("cannot inspect '" + path.string() + "': " + ec.message());
        if (fs::is_directory(status)) {
            Collect(root, path, entries);
        } else if (fs::is_regular_file(status)) {
            std::string stored = ToStoredName(fs::relative(path, root).generic_string());
            std::replace(stored.begin(), stored.end(), '/', '\\');
            entries.push_back({ stored, path });
        } else {
            throw UsageError("'" + path.string() + "' is not a regular file or folder (links are not followed)");
        }
    }
}

} // namespace

Bytes BuildCabinetBytes(const std::string& folder)
{
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        throw UsageError("'" + folder + "' is not a folder");
    std::vector<Entry> entries;
    Collect(fs::path(folder), fs::path(folder), entries);
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.stored < b.stored; });

    GPtr<GCabCabinet> cabinet(gcab_cabinet_new());
    GPtr<GCabFolder> cabFolder(gcab_folder_new(GCAB_COMPRESSION_MSZIP));
    for (const Entry& entry : entries) {
        if (entry.stored.size() > kMaxStoredName)
            throw UsageError("'" + entry.stored + "': a stored name has at most 255 bytes");
        const CabinetNameFault fault = CheckCabinetName(entry.stored.data(), entry.stored.size(), IsShiftJisLeadByte);
        if (fault != CabinetNameFault::None)
            throw UsageError("'" + entry.stored + "': the setup program would refuse this name ("
                + CabinetNameFaultText(fault) + ")");
        struct stat info = {};
        if (stat(entry.path.c_str(), &info) != 0)
            throw UsageError("cannot inspect '" + entry.path.string() + "': " + std::strerror(errno));
        if (info.st_size > INT32_MAX)
            throw UsageError("'" + entry.path.string() + "' has 2 GiB or more");
        const Bytes content = ReadFile(entry.path.string());
        std::unique_ptr<GBytes, GBytesFree> bytes(g_bytes_new(content.data(), content.size()));
        GPtr<GCabFile> file(gcab_file_new_with_bytes(entry.stored.c_str(), bytes.get()));
        // Cabinets record local time, as the extracting side expects.
        std::unique_ptr<GDateTime, GDateTimeFree> when(g_date_time_new_from_unix_local(info.st_mtime));
        if (!when)
            throw UsageError("'" + entry.path.string() + "': its modification time cannot be stored");
        gcab_file_set_date_time(file.get(), when.get());
        guint32 attributes = kArchive;
        if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
            attributes |= kReadOnly;
        gcab_file_set_attributes(file.get(), attributes);
        GError* error = nullptr;
        if (!gcab_folder_add_file(cabFolder.get(), file.get(), FALSE, nullptr, &error))
            ThrowGError("cannot add '" + entry.stored + "'", error);
    }
    GError* error = nullptr;
    if (!gcab_cabinet_add_folder(cabinet.get(), cabFolder.get(), &error))
        ThrowGError("cannot build the cabinet", error);
    GPtr<GOutputStream> stream(g_memory_output_stream_new_resizable());
    if (!gcab_cabinet_write_simple(cabinet.get(), stream.get(), nullptr, nullptr, nullptr, &error))
        ThrowGError("cannot write the cabinet", error);
    if (!g_output_stream_close(stream.get(), nullptr, &error))
        ThrowGError("cannot write the cabinet", error);
    auto* memory = G_MEMORY_OUTPUT_STREAM(stream.get());
    const auto* data = static_cast<const unsigned char*>(g_memory_output_stream_get_data(memory));
    Bytes cabinetBytes(data, data + g_memory_output_stream_get_data_size(memory));
    ClearUtf8NameMarks(cabinetBytes);
    return cabinetBytes;
}

void BuildCabinet(const std::string& folder, const std::string& cabinetPath)
{
    WriteFile(cabinetPath, BuildCabinetBytes(folder));
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

int CommandCab(std::vector<std::string> args)
{
    if (args.size() != 2)
        throw UsageError("usage: ynbpack cab DIR OUT.cab");
    BuildCabinet(args[0], args[1]);
    return 0;
}

int CommandPayload(std::vector<std::string> args, bool make)
{
    const int32_t key = TakeKeyOption(args);
    if (args.size() != 2)
        throw UsageError(
            make ? "usage: ynbpack payload --key K IN.cab OUT.dat" : "usage: ynbpack unpayload --key K IN.dat OUT.cab");
    if (make) {
        Bytes cabinet = ReadFile(args[0]);
        if (!LooksLikeCabinet(cabinet))
            throw UsageError("'" + args[0] + "' is not a Microsoft Cabinet (no MSCF signature)");
        WriteFile(args[1], MakePayload(std::move(cabinet), key));
    } else {
        Bytes cabinet = RestorePayload(ReadFile(args[0]), key);
        if (!LooksLikeCabinet(cabinet))
            throw UsageError("'" + args[0] + "' does not restore to a cabinet: wrong key, or not a payload");
        WriteFile(args[1], cabinet);
    }
    return 0;
}

} // namespace ynbpack
