// Any bytes as the start of a cabinet: the table reader never reads past the
// bytes given, asks for more only within the cabinet and always for more
// than it had, and every table it accepts holds together.
#include <cstdint>
#include <cstring>
#include <vector>

#include "package/CabinetTable.h"

namespace {

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

void CheckAccepted(const CabinetTable& table, uint64_t fileSize, std::size_t given)
{
    Check(table.cabinetSize <= fileSize && table.tableEnd <= table.cabinetSize && table.tableEnd <= given);
    for (const CabinetFolderEntry& folder : table.folders) {
        Check(table.tableEnd <= folder.dataOffset && folder.dataOffset <= folder.dataEnd
            && folder.dataEnd <= table.cabinetSize);
        Check(uint64_t { folder.blockCount } * (kCabinetDataSize + table.dataReserve)
            <= folder.dataEnd - folder.dataOffset);
        const unsigned type = folder.compression & 0x0F;
        Check(type == kCabinetStored || type == kCabinetMszip || type == kCabinetLzx);
        // The region ends at the next greater offset of any folder.
        uint32_t next = table.cabinetSize;
        for (const CabinetFolderEntry& other : table.folders)
            if (other.dataOffset > folder.dataOffset && other.dataOffset < next)
                next = other.dataOffset;
        Check(folder.dataEnd == next);
    }
    uint64_t total = 0;
    for (const CabinetFileEntry& file : table.files) {
        Check(file.folder < table.folders.size());
        Check(!file.name.empty() && file.name.size() <= kCabinetNameMax
            && std::memchr(file.name.data(), 0, file.name.size()) == nullptr);
        Check(uint64_t { file.folderOffset } + file.size
            <= uint64_t { table.folders[file.folder].blockCount } * kCabinetBlockSize);
        total += file.size;
    }
    Check(total == table.totalSize);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte shapes the rest: bit 0 gives it the signature and
    // version, bit 1 a cabinet size field equal to the file size, bits 2-7
    // make the file longer than the bytes given, so that the reader may ask
    // for more.
    const uint8_t shape = data[0];
    std::vector<unsigned char> bytes(data + 1, data + size);
    const uint64_t fileSize = bytes.size() + static_cast<uint64_t>(shape >> 2) * 61;
    if (bytes.size() >= kCabinetHeaderSize) {
        if (shape & 1) {
            std::memcpy(bytes.data(), "MSCF", 4);
            bytes[24] = 3;
            bytes[25] = 1;
        }
        if (shape & 2)
            for (int i = 0; i < 4; ++i)
                bytes[8 + i] = static_cast<unsigned char>(fileSize >> (8 * i));
    }

    // Each call sees an exact-size copy, so that AddressSanitizer sees any
    // read past it; asked for more, the file's further bytes are zeros.
    for (int call = 0; call < 4; ++call) {
        const std::vector<unsigned char> given(bytes);
        CabinetTable table;
        std::size_t needed = 0;
        const CabinetTableProblem problem = ReadCabinetTable(given.data(), given.size(), fileSize, table, &needed);
        (void)CabinetTableProblemText(problem);
        if (problem == CabinetTableProblem::None)
            CheckAccepted(table, fileSize, given.size());
        if (problem != CabinetTableProblem::NeedMore)
            return 0;
        Check(needed > given.size() && needed <= fileSize);
        bytes.resize(needed);
    }
    __builtin_trap(); // a fourth request for more: the header, its reserve fields and the table are all there is
}
