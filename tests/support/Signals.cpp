#include "support/Signals.hpp"

#include <algorithm>
#include <cmath>

namespace testsupport {

Samples NoiseSamples(std::size_t count, int bits, std::uint32_t seed) {
    Samples samples(count);
    std::uint64_t state = seed * 0x9E3779B97F4A7C15ULL + 1;
    const std::int64_t span = std::int64_t{1} << bits;
    for (std::size_t i = 0; i < count; ++i) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        const std::int64_t value =
            static_cast<std::int64_t>((state >> 20) % static_cast<std::uint64_t>(span)) - span / 2;
        samples[i] = static_cast<std::int32_t>(value);
    }
    if (count >= 3) {
        samples[0] = static_cast<std::int32_t>(-span / 2);
        samples[1] = static_cast<std::int32_t>(span / 2 - 1);
        samples[2] = 0;
    }
    return samples;
}

Samples Clip(Samples x, int bits) {
    const auto high = static_cast<std::int32_t>((std::int64_t{1} << (bits - 1)) - 1);
    for (std::int32_t& v : x) {
        v = std::clamp(v, -high - 1, high);
    }
    return x;
}

namespace {
const double pi = 3.14159265358979323846;
} // namespace

ToneAndNoise ToneAndNoiseWav(std::size_t frames, std::uint32_t seed) {
    ToneAndNoise input{Sine(frames, 1000.0, 8000.0, 16000.0), NoiseSamples(frames, 16, seed), {}};
    input.wav = MakeWav(PcmLayout(2, 8000, 16), Interleave({input.tone, input.noise}));
    return input;
}

Samples Sine(std::size_t count, double frequency, double rate, double amplitude, double offset) {
    Samples x(count);
    for (std::size_t n = 0; n < count; ++n) {
        x[n] = static_cast<std::int32_t>(std::lround(
            offset + amplitude * std::sin(2.0 * pi * frequency * static_cast<double>(n) / rate)));
    }
    return x;
}

namespace {

template <class Values>
SineFit FitSineTo(const Values& x, double frequency, double rate, std::size_t first,
                  std::size_t last) {
    const double w = 2.0 * pi * frequency / rate;
    // The normal equations of the three unknowns, solved by Cramer's rule.
    double ss = 0, sc = 0, cc = 0, s1 = 0, c1 = 0, n1 = 0, xs = 0, xc = 0, x1 = 0;
    for (std::size_t n = first; n < last; ++n) {
        const double s = std::sin(w * static_cast<double>(n));
        const double c = std::cos(w * static_cast<double>(n));
        const double v = x[n];
        ss += s * s;
        sc += s * c;
        cc += c * c;
        s1 += s;
        c1 += c;
        n1 += 1;
        xs += v * s;
        xc += v * c;
        x1 += v;
    }
    using Matrix = double[3][3];
    const Matrix a = {{ss, sc, s1}, {sc, cc, c1}, {s1, c1, n1}};
    const double b[3] = {xs, xc, x1};
    const auto det = [](const Matrix& m) {
        return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
               m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
               m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    };
    double coefficient[3];
    for (std::size_t k = 0; k < 3; ++k) {
        Matrix m;
        for (std::size_t row = 0; row < 3; ++row) {
            for (std::size_t column = 0; column < 3; ++column) {
                m[row][column] = column == k ? b[row] : a[row][column];
            }
        }
        coefficient[k] = det(m) / det(a);
    }
    const double sin_part = coefficient[0];
    const double cos_part = coefficient[1];
    double signal = 0, error = 0;
    for (std::size_t n = first; n < last; ++n) {
        const double sine = sin_part * std::sin(w * static_cast<double>(n)) +
                            cos_part * std::cos(w * static_cast<double>(n));
        signal += sine * sine;
        error += (x[n] - sine) * (x[n] - sine);
    }
    SineFit fit;
    fit.sinad_db = 10.0 * std::log10(signal / error);
    fit.amplitude = std::hypot(sin_part, cos_part);
    // a sin(wn) + b cos(wn) = A sin(w (n - d)) with a = A cos(w d), b = -A sin(w d).
    fit.delay = -std::atan2(cos_part, sin_part) / w;
    fit.offset = coefficient[2];
    return fit;
}

} // namespace

SineFit FitSine(const Samples& x, double frequency, double rate, std::size_t first,
                std::size_t last) {
    return FitSineTo(x, frequency, rate, first, last);
}

SineFit FitSine(const std::vector<double>& x, double frequency, double rate, std::size_t first,
                std::size_t last) {
    return FitSineTo(x, frequency, rate, first, last);
}

std::uint64_t ExactLength(std::uint64_t frames, std::uint64_t input_rate,
                          std::uint64_t output_rate) {
    return (frames * output_rate + input_rate - 1) / input_rate;
}

} // namespace testsupport
