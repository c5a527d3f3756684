// cab, list, payload and unpayload.
#include <cstdio>

#include "Commands.h"
#include "Keys.h"
#include "Payload.h"
#include "package/CabinetTable.h"

namespace ynbpack {

namespace {

const char* CompressionName(uint16_t compression)
{
    switch (compression & 0x0F) {
    case kCabinetStored:
        return "none";
    case kCabinetMszip:
        return "MSZIP";
    default:
        return "LZX";
    }
}

} // namespace

int CommandCab(std::vector<std::string> args)
{
    const uint32_t folderSize = TakeFolderSizeOption(args);
    const CabinetCompression compression = TakeCompressionOption(args);
    if (args.size() != 2)
        throw UsageError("usage: ynbpack cab [--folder-size BYTES] [--compression lzx[:15-21]|mszip|none] DIR OUT.cab");
    BuildCabinet(args[0], args[1], folderSize, compression);
    return 0;
}

// The table as read by the setup program's own reader, one record a line,
// fields separated by tabs.
int CommandList(std::vector<std::string> args)
{
    if (args.size() != 1)
        throw UsageError("usage: ynbpack list CAB");
    const Bytes cabinet = ReadFile(args[0]);
    CabinetTable table;
    const CabinetTableProblem problem
        = ReadCabinetTable(cabinet.data(), cabinet.size(), cabinet.size(), table, nullptr);
    if (problem != CabinetTableProblem::None)
        throw UsageError("'" + args[0] + "': " + CabinetTableProblemText(problem));
    std::printf("cabinet\t%u\t%zu\t%zu\t%llu\n", static_cast<unsigned>(table.cabinetSize), table.folders.size(),
        table.files.size(), static_cast<unsigned long long>(table.totalSize));
    for (std::size_t i = 0; i < table.folders.size(); ++i) {
        const CabinetFolderEntry& folder = table.folders[i];
        std::printf("folder\t%zu\t%u\t%u\t%s\n", i, static_cast<unsigned>(folder.dataOffset),
            static_cast<unsigned>(folder.blockCount), CompressionName(folder.compression));
    }
    for (const CabinetFileEntry& file : table.files) {
        std::printf("file\t%u\t%u\t%u\t0x%02x\t%04u-%02u-%02u %02u:%02u:%02u\t%s\n", static_cast<unsigned>(file.folder),
            static_cast<unsigned>(file.folderOffset), static_cast<unsigned>(file.size),
            static_cast<unsigned>(file.attributes), (file.date >> 9) + 1980u, (file.date >> 5) & 15u, file.date & 31u,
            static_cast<unsigned>(file.time >> 11), (file.time >> 5) & 63u, (file.time & 31u) * 2, file.name.c_str());
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        throw FileError("cannot write to standard output");
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
