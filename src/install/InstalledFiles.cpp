#include "install/InstalledFiles.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include "package/Sha256.h"
#include "sys/Handle.h"

namespace install {

namespace {

constexpr DWORD kBufferSize = 1u << 20;
constexpr DWORD kTellEvery = 100; // ms

uint64_t Number(const FILETIME& time)
{
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

InstalledFile LookAt(const std::string& path)
{
    InstalledFile file;
    WIN32_FILE_ATTRIBUTE_DATA data {};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)
        || (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
        return file;
    file.exists = true;
    file.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    file.attributes = data.dwFileAttributes;
    file.lastWrite = Number(data.ftLastWriteTime);
    return file;
}

// The bytes' SHA-256 (all of them, `whole`) or only their first two.
void Read(const std::string& path, bool whole, InstalledFile& file, std::vector<unsigned char>& buffer,
    std::atomic<uint64_t>& hashed, const std::function<void(HANDLE)>& opened)
{
    sys::UniqueFile handle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle)
        return; // unreadable: written as any file that differs
    file.read = true;
    opened(handle.Get());
    Sha256 sha;
    uint64_t total = 0;
    DWORD read = 0;
    while (ReadFile(handle.Get(), buffer.data(), whole ? kBufferSize : 2, &read, nullptr) && read > 0) {
        if (total == 0)
            file.program = read >= 2 && buffer[0] == 'M' && buffer[1] == 'Z';
        total += read;
        if (!whole)
            return;
        sha.Update(buffer.data(), read);
        hashed += read;
    }
    if (whole && total == file.size) {
        sha.Final(file.sha256);
        file.hashed = true;
    }
}

} // namespace

std::vector<InstalledFile> ReadInstalledFiles(const std::vector<std::string>& paths,
    const std::function<bool(std::size_t index, const InstalledFile& facts)>& hash,
    const std::function<void()>& pump, const std::function<void(uint64_t hashed)>& progress,
    const std::function<void(std::size_t index, HANDLE file)>& opened)
{
    std::vector<InstalledFile> files(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i)
        files[i] = LookAt(paths[i]);
    std::vector<std::size_t> work;
    std::vector<bool> whole(paths.size(), false);
    for (std::size_t i = 0; i < paths.size(); ++i)
        if (files[i].exists) {
            whole[i] = hash(i, files[i]);
            work.push_back(i);
        }
    // The checking starts now (its phase is timed from here).
    if (progress)
        progress(0);
    // The largest first, so that the processors end together.
    std::sort(work.begin(), work.end(), [&files](std::size_t a, std::size_t b) { return files[a].size > files[b].size; });
    std::atomic<std::size_t> next { 0 };
    std::atomic<uint64_t> hashed { 0 };
    const auto read = [&](std::size_t at, std::vector<unsigned char>& buffer) {
        const std::size_t index = work[at];
        Read(paths[index], whole[index], files[index], buffer, hashed, [&](HANDLE handle) {
            if (opened)
                opened(index, handle);
        });
    };
    const auto worker = [&] {
        std::vector<unsigned char> buffer(kBufferSize);
        for (std::size_t at; (at = next++) < work.size();)
            read(at, buffer);
    };
    const unsigned count = std::max(1u, std::min<unsigned>(std::thread::hardware_concurrency(), 8));
    std::vector<std::thread> threads;
    for (unsigned i = 1; i < count && i < work.size(); ++i)
        threads.emplace_back(worker);
    // This thread hashes too, and between files keeps its windows answering.
    std::vector<unsigned char> buffer(kBufferSize);
    DWORD told = GetTickCount();
    for (std::size_t at; (at = next++) < work.size();) {
        read(at, buffer);
        if (GetTickCount() - told >= kTellEvery) {
            if (pump)
                pump();
            if (progress)
                progress(hashed);
            told = GetTickCount();
        }
    }
    for (std::thread& thread : threads)
        thread.join();
    if (progress)
        progress(hashed);
    return files;
}

} // namespace install
