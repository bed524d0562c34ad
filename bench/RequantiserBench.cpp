#include "dsp/requantisation/IntegerRequantiser.hpp"

#include <benchmark/benchmark.h>
#include <cmath>
#include <vector>

// Throughput of requantising one channel block of 20480 samples, 24 to 16
// bits, for each noise shaping (first argument) and dither type (second), and
// of the equal-width and widening paths. The block is restored from a copy
// each round; the copy is a small part of the time.
namespace {

constexpr int block = 20480;

std::vector<int> LoudSignal() {
    std::vector<int> x(static_cast<std::size_t>(block));
    const double pi = std::acos(-1.0);
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / 44100.0;
        x[i] = static_cast<int>(std::lround(6000000.0 * std::sin(2.0 * pi * 440.0 * t) +
                                            2000000.0 * std::sin(2.0 * pi * 5100.0 * t)));
    }
    return x;
}

void ProcessBlocks(benchmark::State& state,
                   dsp::requantisation::IntegerRequantiser<int>& requantiser) {
    const std::vector<int> input = LoudSignal();
    std::vector<int> samples(block);
    for (auto _ : state) {
        samples = input;
        requantiser.Process(samples.data(), block);
        benchmark::DoNotOptimize(samples.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * block);
}

void Narrow(benchmark::State& state) {
    dsp::requantisation::IntegerRequantiser<int> requantiser;
    requantiser.noise_shaping = static_cast<int>(state.range(0));
    requantiser.dither_type = static_cast<int>(state.range(1));
    requantiser.UseFixedSeed(1);
    requantiser.Prepare();
    ProcessBlocks(state, requantiser);
}
BENCHMARK(Narrow)->ArgNames({"shaping", "dither"})->ArgsProduct({{0, 1, 2, 3}, {0, 1, 2}});

void EqualWidth(benchmark::State& state) {
    dsp::requantisation::IntegerRequantiser<int> requantiser;
    requantiser.bits_removed = 0;
    requantiser.output_bits = 24;
    requantiser.Prepare();
    ProcessBlocks(state, requantiser);
}
BENCHMARK(EqualWidth);

void Widen(benchmark::State& state) {
    dsp::requantisation::IntegerRequantiser<int> requantiser;
    requantiser.bits_removed = 0;
    requantiser.bits_added = 8;
    requantiser.output_bits = 32;
    requantiser.Prepare();
    ProcessBlocks(state, requantiser);
}
BENCHMARK(Widen);

} // namespace
