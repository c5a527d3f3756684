// Unscrambling a 256 MiB payload into temp.dat against copying the same file
// with CopyFileA, in the same run: the ratio says what the codec and the
// 64 KiB block loop cost beyond the file system's own copy. Best of six rounds.
#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "package/ClsYnb.h"
#include "sys/ClsFile.h"
#include "WinClock.h"

namespace {

constexpr DWORD kChunk = 1 << 20;
constexpr int kMegabytes = 256;
constexpr int kRounds = 6;

bool WritePayload(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    static uint32_t chunk[kChunk / 4];
    uint32_t state = 2463534242u;
    bool ok = true;
    for (int m = 0; m < kMegabytes && ok; ++m) {
        for (uint32_t& word : chunk) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            word = state;
        }
        DWORD written = 0;
        ok = WriteFile(file, chunk, kChunk, &written, nullptr) && written == kChunk;
    }
    return CloseHandle(file) && ok;
}

} // namespace

int main()
{
    char temp[MAX_PATH];
    char folder[MAX_PATH];
    if (GetTempPathA(sizeof temp, temp) == 0)
        return 1;
    std::snprintf(folder, sizeof folder, "%synbbench-%lu", temp, GetCurrentProcessId());
    if (!CreateDirectoryA(folder, nullptr) || !SetCurrentDirectoryA(folder)) {
        std::fprintf(stderr, "cannot use %s\n", folder);
        return 1;
    }
    int status = 0;
    if (!WritePayload("data00.dat")) {
        std::fprintf(stderr, "cannot write the payload\n");
        status = 1;
    }
    double bestCopy = 1e30;
    double bestUnscramble = 1e30;
    ClsYnb ynb;
    // Each round starts both without their output file, so that neither pays
    // for truncating the previous one, and the order alternates, so that
    // neither always meets the other's unwritten pages.
    auto timeCopy = [&status]() {
        (void)DeleteFileA("copy.dat");
        const double start = Now();
        if (!CopyFileA("data00.dat", "copy.dat", FALSE))
            status = 1;
        return Now() - start;
    };
    auto timeUnscramble = [&status, &ynb]() {
        (void)DeleteFileA("temp.dat");
        const double start = Now();
        if (ynb.UnscramblePayload() != 0)
            status = 1;
        return Now() - start;
    };
    for (int round = 0; round < kRounds && status == 0; ++round) {
        double copy;
        double unscramble;
        if (round % 2 == 0) {
            copy = timeCopy();
            unscramble = timeUnscramble();
        } else {
            unscramble = timeUnscramble();
            copy = timeCopy();
        }
        bestCopy = copy < bestCopy ? copy : bestCopy;
        bestUnscramble = unscramble < bestUnscramble ? unscramble : bestUnscramble;
    }
    if (status == 0) {
        std::printf("payload %d MiB, best of %d\n", kMegabytes, kRounds);
        std::printf("  CopyFileA            %8.1f ms  %7.1f MiB/s\n", bestCopy * 1000, kMegabytes / bestCopy);
        std::printf(
            "  UnscramblePayload    %8.1f ms  %7.1f MiB/s\n", bestUnscramble * 1000, kMegabytes / bestUnscramble);
        std::printf("  ratio unscramble/copy: %.2f (aim: at most 1.25)\n", bestUnscramble / bestCopy);
    } else {
        std::fprintf(stderr, "the benchmark failed\n");
    }
    (void)SetCurrentDirectoryA(temp);
    (void)ClsFile::DeleteFolder(folder);
    return status;
}
