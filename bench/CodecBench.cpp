// Throughput of the codec against memcpy of the same buffers, measured in the
// same run; prints Scramble and Unscramble as ratios of memcpy's throughput.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "package/ClsSecurity.h"

namespace {

constexpr int64_t kSmall = 64 * 1024;
constexpr int64_t kLarge = 64 * 1024 * 1024;

std::vector<unsigned char>& Buffer(int64_t size)
{
    static std::map<int64_t, std::vector<unsigned char>> buffers;
    auto& b = buffers[size];
    if (b.empty()) {
        b.resize(static_cast<std::size_t>(size));
        for (std::size_t i = 0; i < b.size(); ++i)
            b[i] = static_cast<unsigned char>(i * 131 + 7);
    }
    return b;
}

void BM_Memcpy(benchmark::State& state)
{
    auto& src = Buffer(state.range(0));
    std::vector<unsigned char> dst(src.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_Scramble(benchmark::State& state)
{
    auto& b = Buffer(state.range(0));
    for (auto _ : state) {
        ClsSecurity::Scramble(b.data(), static_cast<int32_t>(b.size()), 471);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_Unscramble(benchmark::State& state)
{
    auto& b = Buffer(state.range(0));
    for (auto _ : state) {
        ClsSecurity::Unscramble(b.data(), static_cast<int32_t>(b.size()), 471);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_Memcpy)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_Scramble)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_Unscramble)->Arg(kSmall)->Arg(kLarge);

// Collects bytes per second of each run and prints the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs) {
            auto it = run.counters.find("bytes_per_second");
            if (it != run.counters.end())
                rates_[run.benchmark_name()] = it->second.value;
        }
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        for (const char* size : { "65536", "67108864" }) {
            const double reference = rates_[std::string("BM_Memcpy/") + size];
            for (const char* op : { "BM_Scramble", "BM_Unscramble" }) {
                const double rate = rates_[std::string(op) + "/" + size];
                std::printf("ratio %s/%s vs memcpy: %.2f (goal >= 0.50)\n", op + 3, size,
                    reference > 0 ? rate / reference : 0.0);
            }
        }
    }

private:
    std::map<std::string, double> rates_;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
