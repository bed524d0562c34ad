#pragma once

#include "dsp/polyphase/WindowFunctionBase.hpp"

#include <cmath>

// Four-term cosine-sum window, symmetric over its length (the angle steps
// divide by n - 1). The constants are the ones the resampler's filters were
// tuned with; a0 is 0.36335819, which leaves the first and last value at
// 0.00013909 rather than at the textbook minimum.
template <typename T, int Variant>
class WindowFunction_Nuttall final : public WindowFunctionBase<T, Variant> {
public:
    void Compute(int n) override {
        if (n == 1) {
            // A single point has no shape; the angle steps would divide by zero.
            this->values[0] = T(1);
            return;
        }
        const double d1 = 6.28318530717959 / (n - 1);
        const double d2 = 12.5663706143592 / (n - 1);
        const double d3 = 18.8495559215388 / (n - 1);
        for (int i = 0; i < n; ++i) {
            this->values[static_cast<typename std::vector<T>::size_type>(i)] = static_cast<T>(
                a0 - a1 * std::cos(i * d1) + a2 * std::cos(i * d2) - a3 * std::cos(i * d3));
        }
    }

private:
    static constexpr double a0 = 0.36335819;
    static constexpr double a1 = 0.4891775;
    static constexpr double a2 = 0.1365995;
    static constexpr double a3 = 0.0106411;
};
