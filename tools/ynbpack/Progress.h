// What a long command is doing and how far it is, on standard error. On a
// terminal, one line redrawn in place: the step, the files and bytes done of
// the total, the rate. Otherwise (a log, a pipe), one line when a step
// starts and one when a measured step ends, so that a build log tells what
// took how long.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace ynbpack {

class Progress {
public:
    // The process's reporter; on a terminal when standard error is one.
    static Progress& Get();

    // A step with nothing to count: one line.
    void Step(const std::string& what);
    // A step of files and bytes to go through; Advance may be called from
    // any thread until End.
    void Begin(const std::string& what, uint64_t files, uint64_t bytes);
    void Advance(uint64_t files, uint64_t bytes);
    // The step's last line: what it went through, in how long, how fast.
    void End();

    // The line a measured step shows (for the tests): "what 3/10 files,
    // 1.2/4.0 MB, 2.5 MB/s"; without a rate before a tenth of a second.
    static std::string Line(const std::string& what, uint64_t files, uint64_t totalFiles, uint64_t bytes,
        uint64_t totalBytes, double seconds);

    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

private:
    explicit Progress(bool terminal);
    ~Progress();
    void Draw();
    void Tick();
    std::string Padding(const std::string& line);

    const bool terminal_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::thread ticker_;
    bool running_ = false;
    std::string what_;
    uint64_t totalFiles_ = 0;
    uint64_t totalBytes_ = 0;
    std::atomic<uint64_t> files_ { 0 };
    std::atomic<uint64_t> bytes_ { 0 };
    std::chrono::steady_clock::time_point start_;
    std::size_t drawn_ = 0; // the length of the line on the terminal
};

} // namespace ynbpack
