#pragma once

#include <climits>

// How integer samples enter and leave the resampler's cascade: a 32-bit
// sample x travels as the float x * 2^-16, whatever the file's width, and
// leaves truncated toward zero.
namespace resample_scale {

constexpr double input_scale = 1.0 / 65536.0;
constexpr float output_scale = 65536.0f;

inline double FromInteger(int x) {
    return static_cast<double>(static_cast<float>(x * input_scale));
}

// Truncates toward zero and saturates; -2^31 is never produced, and NaN
// gives -2147483647.
inline int ToInteger(float value) {
    const float p = value * output_scale;
    if (p >= 2147483648.0f) {
        return INT_MAX;
    }
    if (p >= -2147483648.0f) {
        return static_cast<int>(p);
    }
    return -INT_MAX;
}

} // namespace resample_scale
