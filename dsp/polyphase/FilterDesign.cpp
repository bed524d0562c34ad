#include "dsp/polyphase/FilterDesign.hpp"

#include "dsp/polyphase/WindowFunction_Kaiser.hpp"
#include "dsp/polyphase/WindowFunction_Nuttall.hpp"

#include <algorithm>
#include <boost/math/special_functions/sinc.hpp>
#include <cmath>
#include <cstddef>
#include <limits>
#include <numeric>
#include <tuple>
#include <vector>

namespace {

// A sinc of relative cutoff fc centred `shift` samples past n/2 under
// `window`, not yet scaled.
void WindowedSinc(double* h, int n, float fc, const std::vector<double>& window, double shift) {
    const int c = n / 2;
    for (int i = 0; i < n; ++i) {
        const double x =
            3.14159265358979 * static_cast<double>(fc) * (static_cast<double>(i - c) - shift);
        h[i] = window[static_cast<std::size_t>(i)] * boost::math::sinc_pi(x);
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

float StageFilterCutoff(int up, int down) {
    return cutoff_factor / static_cast<float>(std::max(up, down));
}

StageFilterShape StageFilter(int up, int down) {
    return StageFilterShape{static_cast<int>(StageFilterLength(up, down)),
                            StageFilterCutoff(up, down)};
}

void DesignFilter(float* h, int n, float fc) {
    WindowFunction_Nuttall<double, 0> window;
    window.Build(n);
    std::vector<double> exact(static_cast<std::size_t>(n));
    WindowedSinc(exact.data(), n, fc, window.values, 0.0);
    // Scaled so that the values as stored, rounded to float, sum to 1.
    std::copy(exact.begin(), exact.end(), h);
    const double g = 1.0 / std::accumulate(h, h + n, 0.0);
    for (int i = 0; i < n; ++i) {
        h[i] = static_cast<float>(static_cast<double>(h[i]) * g);
    }
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

steep_filter::Role steep_filter::RoleOf(std::size_t stage, std::size_t steep) {
    return stage < steep ? Role::Before : (stage == steep ? Role::Steep : Role::After);
}

steep_filter::Stage steep_filter::StageFilter(std::int64_t rate, int up, int down,
                                              double lower_nyquist, Role role) {
    const double in_rate = static_cast<double>(rate);
    const double big_rate = in_rate * up;
    const double out_rate = big_rate / down;
    double stop = lower_nyquist;
    if (role == Role::Before) {
        stop = out_rate - lower_nyquist;
    } else if (role == Role::After) {
        stop = in_rate - lower_nyquist;
    }
    stop = std::min(stop, 0.5 * big_rate);
    const double pass = pass_edge * lower_nyquist / big_rate;
    stop /= big_rate;
    return {Length(up, stop - pass), static_cast<float>(pass + stop), pass, stop};
}

void DesignKaiserFilter(double* h, int n, float fc, double beta, double shift) {
    WindowFunction_Kaiser<double, 0> window(beta, shift);
    window.Build(n);
    WindowedSinc(h, n, fc, window.values, shift);
    const double sum = std::accumulate(h, h + n, 0.0);
    for (int i = 0; i < n; ++i) {
        h[i] /= sum;
    }
}

bool operator<(const StageFilterDesign& a, const StageFilterDesign& b) {
    return std::make_tuple(a.up, a.down, a.length, a.cutoff, a.window, a.stop, a.shift) <
           std::make_tuple(b.up, b.down, b.length, b.cutoff, b.window, b.stop, b.shift);
}

bool operator==(const StageFilterDesign& a, const StageFilterDesign& b) {
    return !(a < b) && !(b < a);
}

std::vector<double> DesignStageFilter(const StageFilterDesign& design) {
    const int n = static_cast<int>(design.length);
    std::vector<double> h(static_cast<std::size_t>(n));
    if (design.window == FilterWindow::Kaiser) {
        DesignKaiserFilter(h.data(), n, design.cutoff, steep_filter::beta, design.shift);
    } else {
        std::vector<float> rounded(h.size());
        DesignFilter(rounded.data(), n, design.cutoff);
        h.assign(rounded.begin(), rounded.end());
    }
    return h;
}
