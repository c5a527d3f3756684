// Throughput of the codec and of SHA-256 (each of its two block functions)
// against memcpy of the same buffers, measured in the same run; prints each as
// a ratio of memcpy's throughput.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "package/ClsSecurity.h"
#include "package/Sha256.h"

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

// setup.exe hashes the whole payload while it installs.
void Sha256Throughput(benchmark::State& state, sha256_internal::BlockFunction blocks)
{
    if (blocks == nullptr) {
        state.SkipWithError("this processor has no SHA extensions");
        return;
    }
    const auto& b = Buffer(state.range(0));
    unsigned char digest[kSha256Size];
    for (auto _ : state) {
        Sha256 hasher(blocks);
        hasher.Update(b.data(), b.size());
        hasher.Final(digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_Sha256Portable(benchmark::State& state)
{
    Sha256Throughput(state, sha256_internal::PortableBlocks());
}

void BM_Sha256Accelerated(benchmark::State& state)
{
    Sha256Throughput(state, sha256_internal::AcceleratedBlocks());
}

BENCHMARK(BM_Memcpy)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_Scramble)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_Unscramble)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_Sha256Portable)->Arg(kLarge);
BENCHMARK(BM_Sha256Accelerated)->Arg(kLarge);

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
        // No goal: a digest costs far more than a copy; these show what the
        // SHA extensions gain.
        const double reference = rates_["BM_Memcpy/67108864"];
        for (const char* op : { "BM_Sha256Portable", "BM_Sha256Accelerated" }) {
            const auto it = rates_.find(std::string(op) + "/67108864");
            if (it != rates_.end())
                std::printf(
                    "ratio %s/67108864 vs memcpy: %.3f\n", op + 3, reference > 0 ? it->second / reference : 0.0);
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
