#pragma once

#include <algorithm>

// How samples enter and leave the resampler's cascade, whose values are
// floats (doubles for the steep filters). An integer sample x travels as
// x * 2^-16, whatever the file's width, and leaves truncated toward zero;
// so a 32-bit integer's full scale is 32768.
namespace resample_scale {

constexpr double input_scale = 1.0 / 65536.0;
constexpr float output_scale = 65536.0f;

inline double FromInteger(int x) {
    return static_cast<double>(static_cast<float>(x * input_scale));
}

// A value of the cascade as it is stored between stages.
inline double ToCascade(double value) {
    return static_cast<double>(static_cast<float>(value));
}

// Truncates toward zero and saturates; below -2^31, and NaN, give
// -2147483647. A float gives the same as its double: the scaling is exact.
// Written without branches, so that loops of it vectorise.
inline int ToInteger(double value) {
    const double p = value * output_scale;
    const double low = p >= -2147483648.0 ? p : -2147483647.0; // NaN fails the test
    return static_cast<int>(std::min(low, 2147483647.0));
}

} // namespace resample_scale
