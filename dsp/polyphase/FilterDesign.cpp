#include "dsp/polyphase/FilterDesign.hpp"

#include "dsp/polyphase/WindowFunction_Kaiser.hpp"
#include "dsp/polyphase/WindowFunction_Nuttall.hpp"

#include <algorithm>
#include <boost/math/special_functions/sinc.hpp>
#include <cmath>
#include <complex>
#include <cstddef>
#include <limits>
#include <tuple>
#include <vector>

namespace {

// A sinc of relative cutoff fc centred on n/2 under `window`, rounded to
// float and scaled so that the stored values sum to 1.
void WindowedSinc(float* h, int n, float fc, const std::vector<double>& window) {
    const int c = n / 2;
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        const double x = 3.14159265358979 * static_cast<double>(fc) * (i - c);
        h[i] = static_cast<float>(window[static_cast<std::size_t>(i)] * boost::math::sinc_pi(x));
        sum += static_cast<double>(h[i]);
    }
    const double g = 1.0 / sum;
    for (int i = 0; i < n; ++i) {
        h[i] = static_cast<float>(static_cast<double>(h[i]) * g);
    }
}

// In-place FFT of a power-of-two size, with the twiddles w[m] = e^(-2 pi i m / size).
void Fft(std::vector<std::complex<double>>& a, const std::vector<std::complex<double>>& w) {
    const std::size_t size = a.size();
    for (std::size_t i = 1, j = 0; i < size; ++i) {
        std::size_t bit = size >> 1;
        for (; (j & bit) != 0; bit >>= 1) {
            j ^= bit;
        }
        j |= bit;
        if (i < j) {
            std::swap(a[i], a[j]);
        }
    }
    for (std::size_t len = 2; len <= size; len <<= 1) {
        const std::size_t stride = size / len;
        for (std::size_t i = 0; i < size; i += len) {
            for (std::size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = a[i + k];
                const std::complex<double> v = a[i + k + len / 2] * w[k * stride];
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
}

// Filters up to this length get their rounding chosen. Longer ones have
// narrow passbands and so small coefficients, whose rounding to nearest
// stays below the design's stopband.
constexpr std::size_t max_chosen_length = 8192;
// The coefficients whose rounding is chosen: the largest rounding steps.
constexpr std::size_t chosen_count = 32;

// Rounds exact[0 .. n-1] (a low-pass filter summing to 1) to float into h.
// Rounded to nearest, the largest coefficients' errors can add up to -145
// dB at some frequencies of the stopband, 10 dB above a 160 dB design. So,
// for filters up to max_chosen_length, the coefficients with the largest
// rounding steps may take the float on the other side of their exact value
// instead: one at a time, whichever lowers the highest level of the
// response from `stop` (a fraction of the rate) to half the rate the most,
// on a grid of 16 points per 1/n, until none does.
void RoundForStopband(const std::vector<double>& exact, double stop, float* h) {
    const std::size_t n = exact.size();
    for (std::size_t i = 0; i < n; ++i) {
        h[i] = static_cast<float>(exact[i]);
    }
    if (n > max_chosen_length || !(stop > 0.0 && stop < 0.5)) {
        return;
    }
    std::size_t size = 1;
    while (size < 16 * n) {
        size <<= 1;
    }
    std::vector<std::complex<double>> w(size);
    for (std::size_t m = 0; m < size; ++m) {
        const double angle =
            -6.283185307179586 * static_cast<double>(m) / static_cast<double>(size);
        w[m] = std::complex<double>(std::cos(angle), std::sin(angle));
    }
    std::vector<std::complex<double>> response(size);
    for (std::size_t i = 0; i < n; ++i) {
        response[i] = static_cast<double>(h[i]);
    }
    Fft(response, w);
    const std::size_t first = static_cast<std::size_t>(std::ceil(stop * static_cast<double>(size)));
    response.erase(response.begin() + static_cast<std::ptrdiff_t>(size / 2 + 1), response.end());
    response.erase(response.begin(), response.begin() + static_cast<std::ptrdiff_t>(first));

    // The other float of each candidate: the step and where it goes.
    struct Choice {
        std::size_t index;
        double step;
    };
    std::vector<Choice> choices;
    for (std::size_t i = 0; i < n; ++i) {
        const float other = std::nextafter(h[i], static_cast<double>(h[i]) < exact[i]
                                                     ? std::numeric_limits<float>::infinity()
                                                     : -std::numeric_limits<float>::infinity());
        choices.push_back({i, static_cast<double>(other) - static_cast<double>(h[i])});
    }
    const std::size_t count = std::min(chosen_count, n);
    std::partial_sort(choices.begin(), choices.begin() + static_cast<std::ptrdiff_t>(count),
                      choices.end(), [](const Choice& a, const Choice& b) {
                          return std::abs(a.step) > std::abs(b.step) ||
                                 (std::abs(a.step) == std::abs(b.step) && a.index < b.index);
                      });
    choices.resize(count);

    auto highest = [&](const Choice& choice, double bound) {
        double top = 0.0;
        for (std::size_t k = 0; k < response.size() && top < bound; ++k) {
            const std::complex<double> v =
                response[k] + choice.step * w[((first + k) * choice.index) & (size - 1)];
            top = std::max(top, std::norm(v));
        }
        return top;
    };
    double current = 0.0;
    for (const std::complex<double>& v : response) {
        current = std::max(current, std::norm(v));
    }
    // Each pass takes one step that lowers the peak, so the loop ends; the
    // bound on passes only caps the time.
    for (std::size_t pass = 0; pass < 4 * count; ++pass) {
        std::size_t best = count;
        double best_level = current * (1.0 - 1e-9);
        for (std::size_t c = 0; c < count; ++c) {
            const double level = highest(choices[c], best_level);
            if (level < best_level) {
                best_level = level;
                best = c;
            }
        }
        if (best == count) {
            break;
        }
        Choice& choice = choices[best];
        for (std::size_t k = 0; k < response.size(); ++k) {
            response[k] += choice.step * w[((first + k) * choice.index) & (size - 1)];
        }
        h[choice.index] = static_cast<float>(static_cast<double>(h[choice.index]) + choice.step);
        choice.step = -choice.step;
        current = best_level;
    }
}

} // namespace

std::int64_t StageFilterLength(std::int64_t up, std::int64_t down) {
    const std::int64_t f = std::max(up, down);
    const std::int64_t base = std::max<std::int64_t>(20 * f, 1024);
    // A multiple of up * down keeps every branch the same length; when that
    // unit is far larger than the filter, a multiple of up is enough.
    std::int64_t unit = up * down;
    if (2 * base < unit) {
        unit = up;
    }
    return (base + unit - 1) / unit * unit;
}

StageFilterShape StageFilter(int up, int down) {
    return StageFilterShape{static_cast<int>(StageFilterLength(up, down)),
                            cutoff_factor / static_cast<float>(std::max(up, down))};
}

void DesignFilter(float* h, int n, float fc) {
    WindowFunction_Nuttall<double, 0> window;
    window.Build(n);
    WindowedSinc(h, n, fc, window.values);
}

std::int64_t steep_filter::Length(std::int64_t up, double width) {
    // Kaiser: n - 1 = (A - 7.95) / (2.285 * 2 pi * width).
    const double taps = std::ceil((attenuation - 7.95) / (2.285 * 6.283185307179586 * width)) + 1;
    const std::int64_t largest = std::numeric_limits<std::int64_t>::max() / 2;
    if (!(width > 0.0) || !(taps < static_cast<double>(largest))) {
        return largest / (2 * up) * (2 * up);
    }
    // Even, so that the sinc's centre n/2 is a tap and the delay the
    // resampler compensates, n/2 samples, is the filter's own.
    const std::int64_t unit = up % 2 == 0 ? up : 2 * up;
    const std::int64_t n = static_cast<std::int64_t>(taps);
    return (n + unit - 1) / unit * unit;
}

void DesignKaiserFilter(float* h, int n, float fc, double beta, double stop) {
    WindowFunction_Kaiser<double, 0> window(beta);
    window.Build(n);
    // Scaled in double and rounded once: rounding before the scaling as well
    // would double the rounding noise, which is what limits the stopband.
    std::vector<double>& exact = window.values;
    const int c = n / 2;
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        const double x = 3.14159265358979 * static_cast<double>(fc) * (i - c);
        exact[static_cast<std::size_t>(i)] *= boost::math::sinc_pi(x);
        sum += exact[static_cast<std::size_t>(i)];
    }
    for (double& v : exact) {
        v /= sum;
    }
    RoundForStopband(exact, stop, h);
}

bool operator<(const StageFilterDesign& a, const StageFilterDesign& b) {
    return std::make_tuple(a.up, a.down, a.length, a.cutoff, a.window, a.stop) <
           std::make_tuple(b.up, b.down, b.length, b.cutoff, b.window, b.stop);
}

bool operator==(const StageFilterDesign& a, const StageFilterDesign& b) {
    return !(a < b) && !(b < a);
}

std::vector<float> DesignStageFilter(const StageFilterDesign& design) {
    const int n = static_cast<int>(design.length);
    std::vector<float> h(static_cast<std::size_t>(n));
    if (design.window == FilterWindow::Kaiser) {
        DesignKaiserFilter(h.data(), n, design.cutoff, steep_filter::beta, design.stop);
    } else {
        DesignFilter(h.data(), n, design.cutoff);
    }
    return h;
}
