#include "dsp/polyphase/FftBranches.hpp"
#include "dsp/polyphase/FilterDesign.hpp"
#include "dsp/polyphase/PolyphaseStage.hpp"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstddef>
#include <memory>
#include <vector>

namespace {

// One stage of the steep filter filtering its block over and over, by the
// AVX2 kernel or by fast convolution; args: up, down, taps per branch, block
// length, and the transform length (0: the direct kernel, 1: the length
// FftBranches::Choose picks). The counter "taps_per_ns" is the direct
// kernel's measure of work (outputs times taps) over the time taken, so the
// two forms compare on one scale; it calibrates the planner's cost model.
void BM_SteepStage(benchmark::State& state) {
    const int up = static_cast<int>(state.range(0));
    const int down = static_cast<int>(state.range(1));
    const std::size_t taps = static_cast<std::size_t>(state.range(2));
    const std::size_t block = static_cast<std::size_t>(state.range(3));
    std::size_t length = static_cast<std::size_t>(state.range(4));
    if (length == 1) {
        length = FftBranches::Choose(taps, up, down, block).length;
    }
    const int n = up * static_cast<int>(taps);
    std::vector<float> filter(static_cast<std::size_t>(n));
    DesignFilter(filter.data(), n, 0.9f / static_cast<float>(std::max(up, down)));
    auto spectra = length == 0
                       ? nullptr
                       : std::make_shared<const FftBranches>(
                             up, down, std::vector<double>(filter.begin(), filter.end()), length);
    PolyphaseStage stage(down, block, std::make_shared<const PolyphaseBranches>(up, filter),
                         PolyphaseKernel::Path::Avx2Fma, false, spectra);
    std::vector<double> output(stage.OutputLength());
    for (std::size_t i = 0; i < block; ++i) {
        stage.Block()[i] = static_cast<double>(static_cast<float>(std::sin(0.01 * double(i))));
    }
    for (auto _ : state) {
        stage.Filter(output.data());
        benchmark::DoNotOptimize(output.data());
    }
    const double work = double(stage.OutputLength()) * double(taps);
    state.counters["taps_per_ns"] =
        benchmark::Counter(work * double(state.iterations()) * 1e-9, benchmark::Counter::kIsRate);
    state.counters["length"] = double(length);
}
// The steep stages of 44100 -> 48000 and 96000 -> 44100 as planned, direct
// and fast, and fast at other lengths.
BENCHMARK(BM_SteepStage)
    ->ArgNames({"up", "down", "taps", "block", "fft"})
    ->ArgsProduct({{2}, {1}, {304}, {1764}, {0, 1, 640, 1024, 2048, 4096}})
    ->ArgsProduct({{1}, {2}, {188}, {1920}, {0, 1, 512, 1024, 2048}})
    ->ArgsProduct({{3}, {1}, {330}, {960}, {0, 1, 1024, 2048}})
    ->ArgsProduct({{3}, {4}, {404}, {1176}, {0, 1, 1024, 2048}})
    ->ArgsProduct({{8}, {7}, {303}, {1764}, {0, 1, 1024, 2048}})
    ->ArgsProduct({{80}, {147}, {21}, {3528}, {0}})
    ->ArgsProduct({{147}, {160}, {24}, {1920}, {0}})
    ->ArgsProduct({{1}, {2}, {608}, {1764}, {0, 1}});

} // namespace
