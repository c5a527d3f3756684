// The LZX encoder's output checked by a decoder that is not ours: the
// frames of one folder put into a cabinet in memory (one file holding the
// whole folder) and extracted by libmspack through an in-memory file system.
#pragma once

#include <mspack.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "LzxEncoder.h"
#include "package/CabinetTable.h"

namespace lzxtest {

using Bytes = std::vector<unsigned char>;

inline void Put(Bytes& out, uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

// A cabinet of one LZX folder of the given window holding one file "f" of
// size bytes, the frames as its CFDATA blocks with their checksums.
inline Bytes Cabinet(const std::vector<Bytes>& frames, std::size_t size, unsigned windowBits)
{
    const uint32_t dataStart = kCabinetHeaderSize + kCabinetFolderSize + kCabinetFileSize + 2;
    Bytes data;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const Bytes& frame = frames[i];
        const std::size_t plain = std::min<std::size_t>(kCabinetBlockSize, size - i * kCabinetBlockSize);
        Bytes sizes;
        Put(sizes, static_cast<uint32_t>(frame.size()), 2);
        Put(sizes, static_cast<uint32_t>(plain), 2);
        Put(data, CabinetChecksum(sizes.data(), 4, CabinetChecksum(frame.data(), frame.size(), 0)), 4);
        data.insert(data.end(), sizes.begin(), sizes.end());
        data.insert(data.end(), frame.begin(), frame.end());
    }
    Bytes cab = { 'M', 'S', 'C', 'F' };
    Put(cab, 0, 4);
    Put(cab, static_cast<uint32_t>(dataStart + data.size()), 4);
    Put(cab, 0, 4);
    Put(cab, kCabinetHeaderSize + kCabinetFolderSize, 4); // coffFiles
    Put(cab, 0, 4);
    cab.push_back(3);
    cab.push_back(1);
    Put(cab, 1, 2); // folders
    Put(cab, 1, 2); // files
    Put(cab, 0, 6); // flags, setID, iCabinet
    Put(cab, dataStart, 4);
    Put(cab, static_cast<uint32_t>(frames.size()), 2);
    Put(cab, kCabinetLzx | windowBits << 8, 2);
    Put(cab, static_cast<uint32_t>(size), 4);
    Put(cab, 0, 4); // folder offset
    Put(cab, 0, 2); // folder
    Put(cab, 0x5821, 2); // 2024-01-01
    Put(cab, 0, 2);
    Put(cab, 0x20, 2);
    cab.push_back('f');
    cab.push_back(0);
    cab.insert(cab.end(), data.begin(), data.end());
    return cab;
}

inline void Quiet(mspack_file*, const char*, ...) { }

// libmspack's file system over two buffers: "in" (read) and "out" (written).
struct MemorySystem : mspack_system {
    struct File {
        Bytes* data;
        std::size_t pos;
    };
    Bytes input, output;

    MemorySystem()
        : mspack_system()
    {
        open = [](mspack_system* self, const char* name, int mode) -> mspack_file* {
            auto* system = static_cast<MemorySystem*>(self);
            const bool in = std::strcmp(name, "in") == 0;
            if (!in && std::strcmp(name, "out") != 0)
                return nullptr;
            if (!in && mode != MSPACK_SYS_OPEN_WRITE)
                return nullptr;
            if (!in)
                system->output.clear();
            return reinterpret_cast<mspack_file*>(new File { in ? &system->input : &system->output, 0 });
        };
        close = [](mspack_file* file) { delete reinterpret_cast<File*>(file); };
        read = [](mspack_file* handle, void* buffer, int bytes) -> int {
            File* file = reinterpret_cast<File*>(handle);
            const std::size_t n = std::min<std::size_t>(bytes, file->data->size() - file->pos);
            std::memcpy(buffer, file->data->data() + file->pos, n);
            file->pos += n;
            return static_cast<int>(n);
        };
        write = [](mspack_file* handle, void* buffer, int bytes) -> int {
            File* file = reinterpret_cast<File*>(handle);
            const auto* from = static_cast<const unsigned char*>(buffer);
            file->data->insert(file->data->end(), from, from + bytes);
            return bytes;
        };
        seek = [](mspack_file* handle, off_t offset, int mode) -> int {
            File* file = reinterpret_cast<File*>(handle);
            const off_t base = mode == MSPACK_SYS_SEEK_START ? 0
                : mode == MSPACK_SYS_SEEK_CUR                ? static_cast<off_t>(file->pos)
                                                             : static_cast<off_t>(file->data->size());
            if (base + offset < 0 || base + offset > static_cast<off_t>(file->data->size()))
                return -1;
            file->pos = static_cast<std::size_t>(base + offset);
            return 0;
        };
        tell = [](mspack_file* handle) -> off_t { return static_cast<off_t>(reinterpret_cast<File*>(handle)->pos); };
        message = Quiet;
        alloc = [](mspack_system*, size_t bytes) -> void* { return std::malloc(bytes); };
        free = [](void* p) { std::free(p); };
        copy = [](void* from, void* to, size_t bytes) { std::memmove(to, from, bytes); };
        null_ptr = nullptr;
    }
};

// What libmspack extracts from a cabinet's first file; empty with *error set
// (an MSPACK_ERR_ value) when it refuses the cabinet.
inline Bytes Extract(const Bytes& cabinet, int* error)
{
    MemorySystem system;
    system.input = cabinet;
    mscab_decompressor* cabd = mspack_create_cab_decompressor(&system);
    *error = MSPACK_ERR_OK;
    Bytes out;
    if (mscabd_cabinet* cab = cabd->open(cabd, const_cast<char*>("in"))) {
        *error = cabd->extract(cabd, cab->files, const_cast<char*>("out"));
        out = system.output;
        cabd->close(cabd, cab);
    } else {
        *error = cabd->last_error(cabd);
    }
    mspack_destroy_cab_decompressor(cabd);
    return out;
}

// Compresses data and extracts it again; "" when the round trip gave back
// the bytes with every frame within the decoders' bound, else what failed.
inline std::string RoundTrip(const Bytes& data, const ynbpack::LzxOptions& options, ynbpack::LzxStats* stats = nullptr)
{
    std::vector<Bytes> frames;
    if (!ynbpack::LzxCompress(data.data(), data.size(), options, frames, stats))
        return "the encoder failed";
    if (frames.size() != (data.size() + kCabinetBlockSize - 1) / kCabinetBlockSize)
        return "frames: " + std::to_string(frames.size());
    for (const Bytes& frame : frames)
        if (frame.size() > ynbpack::kLzxMaxFrameBytes || frame.size() % 2 != 0)
            return "a frame of " + std::to_string(frame.size()) + " bytes";
    int error = 0;
    const Bytes out = Extract(Cabinet(frames, data.size(), options.windowBits), &error);
    if (error != MSPACK_ERR_OK)
        return "libmspack error " + std::to_string(error);
    if (out != data) {
        std::size_t at = 0;
        while (at < out.size() && at < data.size() && out[at] == data[at])
            ++at;
        return "differs at " + std::to_string(at) + " of " + std::to_string(data.size());
    }
    return std::string();
}

} // namespace lzxtest
