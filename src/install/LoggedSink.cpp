#include "install/LoggedSink.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <memory>
#include <string>

#include "sys/Text.h"

namespace install {

namespace {

// Each phase's word in the line of times, and its line when it begins, in
// the order of Phase.
struct PhaseNames {
    const wchar_t* word;
    const wchar_t* text;
};
constexpr PhaseNames kPhaseNames[] = {
    { L"checking", L"checking the installed files" },
    { L"unpacking", L"unpacking the payload" },
    { L"registering", L"registering the uninstall entry" },
    { L"placing", L"placing the manifest's entries" },
    { L"shortcuts", L"creating the shortcuts" },
    { L"log", L"writing the install log" },
    { L"", L"done" },
};
static_assert(std::size(kPhaseNames) == static_cast<std::size_t>(Phase::Done) + 1);

const PhaseNames& NamesOf(Phase phase)
{
    return kPhaseNames[std::min(static_cast<std::size_t>(phase), std::size(kPhaseNames) - 1)];
}

// When each phase began; at the end, one line says how long each took.
struct PhaseClock {
    using Clock = std::chrono::steady_clock;
    int last = -1;
    Clock::time_point began;
    std::wstring times;

    // The line of times once the installation is done, else empty.
    std::wstring Enter(Phase phase)
    {
        const Clock::time_point now = Clock::now();
        if (last >= 0) {
            const double seconds = std::chrono::duration<double>(now - began).count();
            wchar_t figure[32];
            (void)std::swprintf(figure, 32, L" %.3f", seconds);
            times += std::wstring(times.empty() ? L"" : L",") + L" " + NamesOf(static_cast<Phase>(last)).word + figure;
        }
        last = static_cast<int>(phase);
        began = now;
        return phase == Phase::Done ? L"seconds per phase:" + times : std::wstring();
    }
};

} // namespace

InstallSink LoggedSink(InstallSink sink, sys::LogFile& log)
{
    if (!log.IsOpen())
        return sink;
    InstallSink logged = sink;
    // One line when a phase begins; the bytes as they come are for windows.
    logged.progress = [&log, inner = sink.progress, clock = std::make_shared<PhaseClock>()](const Progress& progress) {
        if (static_cast<int>(progress.phase) != clock->last) {
            const std::wstring times = clock->Enter(progress.phase);
            log.Line(NamesOf(progress.phase).text);
            if (!times.empty())
                log.Line(times);
        }
        if (inner)
            inner(progress);
    };
    logged.copyFailed = [&log, inner = sink.copyFailed](const CopyFailure& failure) {
        std::wstring line = L"question: copying to " + sys::FromAnsi(failure.target.c_str()) + L" failed";
        if (!failure.path.empty())
            line += L": " + sys::FromAnsi(failure.path.c_str()) + L" (error " + std::to_wstring(failure.error) + L")";
        log.Line(line);
        if (inner)
            inner(failure);
        log.Line(L"answer: OK, the installation goes on");
    };
    logged.setupFailed = [&log, inner = sink.setupFailed](const InstallFailure& failure) {
        log.Line(L"question: setup failed: " + sys::FromAnsi(failure.detail.c_str()));
        for (const std::string& file : failure.overwritten)
            log.Line(L"  overwritten before the failure, left as it is: " + sys::FromAnsi(file.c_str()));
        const bool ending = inner ? inner(failure) : true;
        log.Line(ending ? L"answer: the setup ends" : L"answer: the user stays to try again");
        return ending;
    };
    // Asked only where a person answers: silently, the member stays empty.
    if (sink.filesInUse)
        logged.filesInUse = [&log, inner = sink.filesInUse](const std::vector<std::string>& files,
                                const std::vector<std::wstring>& programs, bool closeTried) {
            std::wstring line = L"question: files in use";
            for (const std::wstring& program : programs)
                line += L", " + program;
            log.Line(line);
            const InUseAnswer answer = inner(files, programs, closeTried);
            log.Line(answer == InUseAnswer::Retry  ? L"answer: retry"
                    : answer == InUseAnswer::Close ? L"answer: close the programs"
                                                   : L"answer: cancel");
            return answer;
        };
    logged.placed = [&log, inner = sink.placed](const std::string& path) {
        log.Line(L"placed " + sys::FromAnsi(path.c_str()));
        if (inner)
            inner(path);
    };
    logged.stepFailed = [&log, inner = sink.stepFailed](const std::string& detail) {
        log.Line(L"failed: " + sys::FromAnsi(detail.c_str()));
        if (inner)
            inner(detail);
    };
    logged.note = [&log, inner = sink.note](const std::string& text) {
        log.Line(sys::FromAnsi(text.c_str()));
        if (inner)
            inner(text);
    };
    return logged;
}

} // namespace install
