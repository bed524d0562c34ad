#pragma once

// Test signals, and the yardsticks their conversions are measured with.

#include "support/WaveBytes.hpp"

#include <cstddef>
#include <cstdint>

namespace testsupport {

// Repeatable pseudo-random samples spread over the whole range of `bits`
// (1 to 32); the first three are the lowest value, the highest and 0, so
// that every set holds both rails.
Samples NoiseSamples(std::size_t count, int bits, std::uint32_t seed);

// Each value limited to the range of `bits`, as a requantiser that keeps
// the width does.
Samples Clip(Samples x, int bits);

// A 16-bit stereo file at 8 kHz: a 1 kHz sine of amplitude 16000 on the
// left, NoiseSamples from `seed` on the right.
struct ToneAndNoise {
    Samples tone, noise;
    Bytes wav;
};
ToneAndNoise ToneAndNoiseWav(std::size_t frames, std::uint32_t seed);

// round(offset + amplitude * sin(2 pi frequency n / rate)) for n = 0 .. count-1,
// halves away from zero.
Samples Sine(std::size_t count, double frequency, double rate, double amplitude,
             double offset = 0.0);

// The least-squares fit of a * sin(w n) + b * cos(w n) + c to x[first .. last-1],
// w = 2 pi frequency / rate.
struct SineFit {
    // Power of the fitted sine over the power of everything else in x, the
    // offset c included.
    double sinad_db = 0.0;
    double amplitude = 0.0;
    // In samples: the fitted sine lags sin(w n) by this much.
    double delay = 0.0;
    double offset = 0.0;
};
SineFit FitSine(const Samples& x, double frequency, double rate, std::size_t first,
                std::size_t last);
SineFit FitSine(const std::vector<double>& x, double frequency, double rate, std::size_t first,
                std::size_t last);

// Frames a conversion of `frames` frames from input_rate to output_rate must
// give: ceil(frames * output_rate / input_rate), in whole numbers. Exact while
// frames * output_rate stays below 2^64.
std::uint64_t ExactLength(std::uint64_t frames, std::uint64_t input_rate,
                          std::uint64_t output_rate);

} // namespace testsupport
