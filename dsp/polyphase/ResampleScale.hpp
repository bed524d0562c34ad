#pragma once

#include <climits>

// How samples enter and leave the resampler's cascade, whose values are
// floats (doubles for the steep filters). An integer sample x travels as
// x * 2^-16, whatever the file's width, and leaves truncated toward zero;
// so a 32-bit integer's full scale is 32768. Float samples, full scale
// +-1.0, travel as x * 32768, so that they meet the same full scale.
namespace resample_scale {

constexpr double input_scale = 1.0 / 65536.0;
constexpr float output_scale = 65536.0f;
constexpr double float_full_scale = 32768.0;

inline double FromInteger(int x) {
    return static_cast<double>(static_cast<float>(x * input_scale));
}

// A value of the cascade as it is stored between stages.
inline double ToCascade(double value) {
    return static_cast<double>(static_cast<float>(value));
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
