#pragma once

// Helpers shared by the resampler tests: driving a resampler the way the
// conversion loop does, a plain whole-signal reference cascade, and a
// least-squares sine fit for scoring converted tones.

#include "dsp/polyphase/PolyphaseResample.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace resampler_test {

// Feeds `input` in pieces of at most in_block samples with at most out_room
// samples of room per call, then flushes with the same room.
// Uniform integer noise in [-amplitude, amplitude], repeatable by seed.
inline std::vector<int> Noise(std::size_t length, int amplitude, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> draw(-amplitude, amplitude);
    std::vector<int> x(length);
    for (int& v : x) {
        v = draw(generator);
    }
    return x;
}

inline std::vector<int> Convert(PolyphaseResample& resampler, const std::vector<int>& input,
                                unsigned in_block, unsigned out_room) {
    std::vector<int> result;
    std::vector<int> room(out_room);
    std::size_t offset = 0;
    while (offset < input.size()) {
        unsigned in_count =
            static_cast<unsigned>(std::min<std::size_t>(in_block, input.size() - offset));
        unsigned out_count = out_room;
        resampler.Process(input.data() + offset, room.data(), in_count, out_count);
        offset += in_count;
        result.insert(result.end(), room.begin(), room.begin() + out_count);
    }
    for (;;) {
        unsigned out_count = out_room;
        resampler.Flush(room.data(), out_count);
        if (out_count == 0) {
            break;
        }
        result.insert(result.end(), room.begin(), room.begin() + out_count);
    }
    return result;
}

inline std::vector<int> Convert(int input_rate, int output_rate, const std::vector<int>& input,
                                unsigned in_block = 10240, unsigned out_room = 10240) {
    PolyphaseResample resampler(input_rate, output_rate);
    return Convert(resampler, input, in_block, out_room);
}

// The cascade computed straight from its definition over the whole signal,
// with zeros before and after it, then the latency dropped and the length
// cut to ceil(I * L / M). Uses the resampler's stage factors and filters and
// sums each dot product strictly in tap order.
inline std::vector<int> ReferenceConvert(const PolyphaseResample& shape,
                                         const std::vector<int>& input) {
    // The zeros after the signal cover the latency of every cascade tested.
    std::vector<float> x(input.size() + 4096, 0.0f);
    for (std::size_t i = 0; i < input.size(); ++i) {
        x[i] = static_cast<float>(input[i] / 65536.0);
    }
    double delay = 0.0;
    for (std::size_t s = 0; s < shape.Plan().Stages().size(); ++s) {
        const PolyphaseStage& stage = shape.Stage(s);
        const std::vector<float>& h = stage.Coefficients();
        const std::int64_t up = stage.Up();
        const std::int64_t down = stage.Down();
        const std::int64_t n = static_cast<std::int64_t>(h.size());
        const std::int64_t taps = n / up;
        std::vector<float> y(
            static_cast<std::size_t>(static_cast<std::int64_t>(x.size()) * up / down));
        for (std::size_t k = 0; k < y.size(); ++k) {
            const std::int64_t a = static_cast<std::int64_t>(k) * down;
            double sum = 0.0;
            for (std::int64_t j = 0; j < taps; ++j) {
                const std::int64_t m = a / up - j;
                const double sample = m >= 0 ? x[static_cast<std::size_t>(m)] : 0.0;
                sum += static_cast<double>(h[static_cast<std::size_t>(a % up + j * up)]) * sample;
            }
            y[k] = static_cast<float>(static_cast<double>(up) * sum);
        }
        x.swap(y);
        delay =
            (delay * static_cast<double>(up) + static_cast<double>(n)) / static_cast<double>(down);
    }
    const std::size_t skip = static_cast<std::size_t>(delay * 0.5);
    const std::uint64_t l = static_cast<std::uint64_t>(shape.Plan().UpFactor());
    const std::uint64_t m = static_cast<std::uint64_t>(shape.Plan().DownFactor());
    const std::size_t length = static_cast<std::size_t>((input.size() * l + m - 1) / m);
    std::vector<int> out(length);
    for (std::size_t i = 0; i < length; ++i) {
        const float p = x[skip + i] * 65536.0f;
        if (p >= 2147483648.0f) {
            out[i] = 2147483647;
        } else if (p < -2147483648.0f) {
            out[i] = -2147483647;
        } else {
            out[i] = static_cast<int>(p);
        }
    }
    return out;
}

inline std::vector<int> Sine(double frequency, double rate, double amplitude, std::size_t length) {
    std::vector<int> x(length);
    const double pi = 3.14159265358979323846;
    for (std::size_t n = 0; n < length; ++n) {
        x[n] = static_cast<int>(std::lround(amplitude * std::sin(2.0 * pi * frequency * n / rate)));
    }
    return x;
}

// Least-squares fit of a*sin(w n) + b*cos(w n) to x[first .. last-1].
struct SineFit {
    double sinad_db = 0.0; // fitted sine power over residual power
    double amplitude = 0.0;
    double delay = 0.0; // in samples, the fitted sine lags sin(w n) by this much
};

inline SineFit FitSine(const std::vector<int>& x, double frequency, double rate, std::size_t first,
                       std::size_t last) {
    const double pi = 3.14159265358979323846;
    const double w = 2.0 * pi * frequency / rate;
    double ss = 0, sc = 0, cc = 0, xs = 0, xc = 0;
    for (std::size_t n = first; n < last; ++n) {
        const double s = std::sin(w * n);
        const double c = std::cos(w * n);
        ss += s * s;
        sc += s * c;
        cc += c * c;
        xs += x[n] * s;
        xc += x[n] * c;
    }
    const double det = ss * cc - sc * sc;
    const double a = (xs * cc - xc * sc) / det;
    const double b = (xc * ss - xs * sc) / det;
    double signal = 0, noise = 0;
    for (std::size_t n = first; n < last; ++n) {
        const double fit = a * std::sin(w * n) + b * std::cos(w * n);
        signal += fit * fit;
        noise += (x[n] - fit) * (x[n] - fit);
    }
    SineFit result;
    result.sinad_db = 10.0 * std::log10(signal / noise);
    result.amplitude = std::hypot(a, b);
    // a sin(wn) + b cos(wn) = A sin(w (n - d)) with a = A cos(w d), b = -A sin(w d).
    result.delay = -std::atan2(b, a) / w;
    return result;
}

} // namespace resampler_test
