#include "dsp/polyphase/FilterDesign.hpp"

#include "dsp/polyphase/WindowFunction_Nuttall.hpp"

#include <algorithm>
#include <boost/math/special_functions/sinc.hpp>
#include <cstddef>

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
    const int c = n / 2;
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        const double x = 3.14159265358979 * static_cast<double>(fc) * (i - c);
        h[i] = static_cast<float>(window.values[static_cast<std::size_t>(i)] *
                                  boost::math::sinc_pi(x));
        sum += static_cast<double>(h[i]);
    }
    const double g = 1.0 / sum;
    for (int i = 0; i < n; ++i) {
        h[i] = static_cast<float>(static_cast<double>(h[i]) * g);
    }
}
