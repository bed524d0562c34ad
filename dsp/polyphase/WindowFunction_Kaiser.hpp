#pragma once

#include "dsp/polyphase/WindowFunctionBase.hpp"

#include <algorithm>
#include <boost/math/special_functions/bessel.hpp>
#include <cmath>

// Kaiser window of shape parameter beta, centred on n/2 (integer division)
// so that it sits under a sinc centred there: the filter's delay stays n/2
// samples, which the resampler compensates. Value j is
//     I0(beta * sqrt(1 - ((j - c) / c)^2)) / I0(beta),  c = n / 2,
// so the first value is 1 / I0(beta) and, for odd n, so is the last; an even
// length leaves out the edge value past the end.
template <typename T, int Variant>
class WindowFunction_Kaiser final : public WindowFunctionBase<T, Variant> {
public:
    explicit WindowFunction_Kaiser(double new_beta) : beta(new_beta) {}

    void Compute(int n) override {
        const int c = n / 2;
        if (c == 0) {
            // A single point has no shape.
            this->values[0] = T(1);
            return;
        }
        const double scale = 1.0 / boost::math::cyl_bessel_i(0, beta);
        for (int i = 0; i < n; ++i) {
            const double t = static_cast<double>(i - c) / static_cast<double>(c);
            const double x = beta * std::sqrt(std::max(0.0, 1.0 - t * t));
            this->values[static_cast<typename std::vector<T>::size_type>(i)] =
                static_cast<T>(boost::math::cyl_bessel_i(0, x) * scale);
        }
    }

    double Beta() const { return beta; }

private:
    double beta;
};
