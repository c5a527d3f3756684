#include "Progress.h"

#include <cstdio>

#include "Host.h"

namespace ynbpack {

namespace {

std::string Megabytes(uint64_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / 1e6);
    return text;
}

} // namespace

Progress& Progress::Get()
{
    static Progress progress(ErrorIsTerminal());
    return progress;
}

Progress::Progress(bool terminal)
    : terminal_(terminal)
{
}

Progress::~Progress()
{
    End();
}

std::string Progress::Line(
    const std::string& what, uint64_t files, uint64_t totalFiles, uint64_t bytes, uint64_t totalBytes, double seconds)
{
    std::string line = what + " " + std::to_string(files) + "/" + std::to_string(totalFiles) + " files, "
        + Megabytes(bytes) + "/" + Megabytes(totalBytes) + " MB";
    if (seconds >= 0.1)
        line += ", " + Megabytes(static_cast<uint64_t>(static_cast<double>(bytes) / seconds)) + " MB/s";
    return line;
}

void Progress::Step(const std::string& what)
{
    End();
    std::fprintf(stderr, "ynbpack: %s\n", what.c_str());
}

void Progress::Begin(const std::string& what, uint64_t files, uint64_t bytes)
{
    End();
    const std::lock_guard<std::mutex> hold(lock_);
    what_ = what;
    totalFiles_ = files;
    totalBytes_ = bytes;
    files_ = 0;
    bytes_ = 0;
    start_ = std::chrono::steady_clock::now();
    running_ = true;
    if (terminal_)
        ticker_ = std::thread([this] { Tick(); });
    else
        std::fprintf(stderr, "ynbpack: %s %llu files, %s MB\n", what.c_str(), static_cast<unsigned long long>(files),
            Megabytes(bytes).c_str());
}

void Progress::Advance(uint64_t files, uint64_t bytes)
{
    files_ += files;
    bytes_ += bytes;
}

void Progress::Draw()
{
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const std::string line = Line(what_, files_, totalFiles_, bytes_, totalBytes_, seconds);
    std::fprintf(stderr, "\rynbpack: %s%s", line.c_str(), Padding(line).c_str());
    std::fflush(stderr);
}

// Blanks over what is left of the longer line drawn before.
std::string Progress::Padding(const std::string& line)
{
    const std::string blanks(drawn_ > line.size() ? drawn_ - line.size() : 0, ' ');
    drawn_ = line.size();
    return blanks;
}

void Progress::Tick()
{
    std::unique_lock<std::mutex> hold(lock_);
    while (running_) {
        Draw();
        wake_.wait_for(hold, std::chrono::milliseconds(200));
    }
}

void Progress::End()
{
    std::unique_lock<std::mutex> hold(lock_);
    if (!running_)
        return;
    running_ = false;
    hold.unlock();
    wake_.notify_all();
    if (ticker_.joinable())
        ticker_.join();
    hold.lock();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    char took[48];
    std::snprintf(took, sizeof took, " in %.1f s", seconds);
    const std::string line = Line(what_, files_, totalFiles_, bytes_, totalBytes_, seconds) + took;
    if (terminal_)
        std::fprintf(stderr, "\rynbpack: %s%s\n", line.c_str(), Padding(line).c_str());
    else
        std::fprintf(stderr, "ynbpack: %s\n", line.c_str());
    drawn_ = 0;
    std::fflush(stderr);
}

} // namespace ynbpack
