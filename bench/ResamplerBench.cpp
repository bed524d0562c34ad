// Resampler speed: whole conversions of one channel (input samples per
// second), each cascade stage's filtering (multiply-adds per second), and
// the first search for a rate pair's stage plan.

#include "dsp/polyphase/DesignedSearch.hpp"
#include "dsp/polyphase/FilterDesign.hpp"
#include "dsp/polyphase/PolyphaseKernel.hpp"
#include "dsp/polyphase/PolyphaseResample.hpp"
#include "dsp/polyphase/PolyphaseStage.hpp"
#include "dsp/polyphase/ResamplePlan.hpp"
#include "dsp/polyphase/SteepSearch.hpp"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

std::vector<int> TestSignal(std::size_t length) {
    std::vector<int> x(length);
    for (std::size_t n = 0; n < length; ++n) {
        x[n] = static_cast<int>(20000.0 * std::sin(0.0123 * double(n)) +
                                5000.0 * std::sin(0.7 * double(n)));
    }
    return x;
}

// One channel through the resampler in blocks the size the conversion loop
// uses for 16-bit input, as many calls as it takes.
void Convert(benchmark::State& state, int input_rate, int output_rate,
             PolyphaseKernel::Path path = PolyphaseKernel::Path::Automatic,
             FilterSetting setting = FilterSetting::Designed) {
    PolyphaseResample resampler(ResamplePlan::For(input_rate, output_rate, setting), path);
    const std::vector<int> input = TestSignal(20480);
    std::vector<int> output(20480);
    for (auto _ : state) {
        std::size_t offset = 0;
        while (offset < input.size()) {
            unsigned in_count = static_cast<unsigned>(input.size() - offset);
            unsigned out_count = static_cast<unsigned>(output.size());
            resampler.Process(input.data() + offset, output.data(), in_count, out_count);
            offset += in_count;
            benchmark::DoNotOptimize(output.data());
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(input.size()));
    state.counters["x_realtime"] = benchmark::Counter(static_cast<double>(state.iterations()) *
                                                          double(input.size()) / input_rate,
                                                      benchmark::Counter::kIsRate);
}

void BM_Resample_44100_48000(benchmark::State& state) {
    Convert(state, 44100, 48000);
}
void BM_Resample_96000_44100(benchmark::State& state) {
    Convert(state, 96000, 44100);
}
void BM_Resample_44100_48000_Generic(benchmark::State& state) {
    Convert(state, 44100, 48000, PolyphaseKernel::Path::Generic);
}
void BM_Resample_96000_44100_Generic(benchmark::State& state) {
    Convert(state, 96000, 44100, PolyphaseKernel::Path::Generic);
}
BENCHMARK(BM_Resample_44100_48000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Resample_96000_44100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Resample_44100_48000_Generic)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Resample_96000_44100_Generic)->Unit(benchmark::kMillisecond);

// Both filter settings side by side; args: input rate, output rate, the
// setting (0 designed, 1 steep) and the kernel: 0 the fastest there is, 1
// generic, 2 AVX2/FMA.
void BM_ResampleFilter(benchmark::State& state) {
    const PolyphaseKernel::Path paths[] = {PolyphaseKernel::Path::Automatic,
                                           PolyphaseKernel::Path::Generic,
                                           PolyphaseKernel::Path::Avx2Fma};
    Convert(state, static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
            paths[state.range(3)], static_cast<FilterSetting>(state.range(2)));
}
BENCHMARK(BM_ResampleFilter)
    ->ArgNames({"in", "out", "filter", "kernel"})
    ->ArgsProduct({{44100}, {48000}, {0, 1}, {0, 1, 2}})
    ->ArgsProduct({{48000}, {44100}, {0, 1}, {0, 1, 2}})
    ->ArgsProduct({{96000}, {44100}, {0, 1}, {0, 1, 2}})
    ->ArgsProduct({{44100}, {96000}, {0, 1}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond);

// One stage filtering its block over and over; args: up, down, block
// length, and the kernel: 0 the fastest there is, 1 generic, 2 AVX2/FMA.
void BM_Stage(benchmark::State& state) {
    const int up = static_cast<int>(state.range(0));
    const int down = static_cast<int>(state.range(1));
    const std::size_t block = static_cast<std::size_t>(state.range(2));
    const auto shape = StageFilter(up, down);
    std::vector<float> filter(static_cast<std::size_t>(shape.length));
    DesignFilter(filter.data(), shape.length, shape.cutoff);
    const PolyphaseKernel::Path paths[] = {PolyphaseKernel::Path::Automatic,
                                           PolyphaseKernel::Path::Generic,
                                           PolyphaseKernel::Path::Avx2Fma};
    const PolyphaseKernel::Path path = paths[state.range(3)];
    PolyphaseStage stage(up, down, block, filter, path);
    const std::vector<int> signal = TestSignal(block);
    std::vector<double> output(stage.OutputLength());
    // The block keeps its samples from one pass to the next; only the
    // history changes.
    for (std::size_t i = 0; i < block; ++i) {
        stage.Block()[i] = static_cast<float>(signal[i] / 65536.0);
    }
    for (auto _ : state) {
        stage.Filter(output.data());
        benchmark::DoNotOptimize(output.data());
    }
    const double madds = double(stage.OutputLength()) * stage.Taps();
    state.counters["Gmadd_per_s"] =
        benchmark::Counter(madds * double(state.iterations()) * 1e-9, benchmark::Counter::kIsRate);
}
// The stages of 44100 -> 48000 (8/7, 4/3, 5/7) and of 96000 -> 44100
// (3/5, 7/8, 7/8), with their block lengths.
BENCHMARK(BM_Stage)
    ->ArgNames({"up", "down", "block", "kernel"})
    ->ArgsProduct({{8}, {7}, {1764}, {0, 1, 2}})
    ->ArgsProduct({{4}, {3}, {2016}, {0, 1, 2}})
    ->ArgsProduct({{5}, {7}, {2688}, {0, 1, 2}})
    ->ArgsProduct({{3}, {5}, {1920}, {0, 1, 2}})
    ->ArgsProduct({{7}, {8}, {1152}, {0, 1, 2}})
    ->ArgsProduct({{7}, {8}, {1008}, {0, 1, 2}});

// The randomised search a rate pair's first resampler runs.
void Search(benchmark::State& state, std::int64_t up, std::int64_t down) {
    PlannerRandom random(1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(DesignedSearch::PlanStages(up, down, random));
    }
}
void BM_FirstPlan_44100_48000(benchmark::State& state) {
    Search(state, 160, 147);
}
void BM_FirstPlan_96000_44100(benchmark::State& state) {
    Search(state, 147, 320);
}
BENCHMARK(BM_FirstPlan_44100_48000)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_FirstPlan_96000_44100)->Unit(benchmark::kMillisecond)->Iterations(10);

// The steep search, which draws nothing: its time for a few ratios, the
// last the slowest legal one met so far.
void BM_FirstSteepPlan(benchmark::State& state) {
    auto anything = [](std::int64_t, int, int, const steep_filter::Stage&) { return true; };
    for (auto _ : state) {
        benchmark::DoNotOptimize(SteepSearch::PlanStages(state.range(0), state.range(1), anything));
    }
}
BENCHMARK(BM_FirstSteepPlan)
    ->ArgNames({"L", "M"})
    ->Args({160, 147})
    ->Args({147, 320})
    ->Args({7999, 768000})
    ->Unit(benchmark::kMillisecond);

} // namespace
