#pragma once

#include "dsp/polyphase/WindowFunctionBase.hpp"

#include <algorithm>
#include <boost/math/special_functions/bessel.hpp>
#include <cmath>

// Kaiser window of shape parameter beta, centred on n/2 (integer division)
// plus `shift` so that it sits under a sinc centred there: the filter's
// delay is n/2 + shift samples, which the resampler compensates. Value j is
//     I0(beta * sqrt(1 - ((j - m) / w)^2)) / I0(beta),  m = c + shift, w = c - |shift|,
// with c = n / 2, and 0 where |j - m| > w. Unshifted, the first value is
// 1 / I0(beta) and, for odd n, so is the last; an even length leaves out the
// edge value past the end. A shift narrows the window so that it still fits.
template <typename T, int Variant>
class WindowFunction_Kaiser final : public WindowFunctionBase<T, Variant> {
public:
    explicit WindowFunction_Kaiser(double new_beta, double new_shift = 0.0)
        : beta(new_beta), shift(new_shift) {}

    void Compute(int n) override {
        const int c = n / 2;
        if (c == 0) {
            // A single point has no shape.
            this->values[0] = T(1);
            return;
        }
        const double scale = 1.0 / boost::math::cyl_bessel_i(0, beta);
        const double centre = static_cast<double>(c) + shift;
        const double half = static_cast<double>(c) - std::abs(shift);
        for (int i = 0; i < n; ++i) {
            const double t = (static_cast<double>(i) - centre) / half;
            if (!(std::abs(t) <= 1.0)) {
                this->values[static_cast<typename std::vector<T>::size_type>(i)] = T(0);
                continue;
            }
            const double x = beta * std::sqrt(std::max(0.0, 1.0 - t * t));
            this->values[static_cast<typename std::vector<T>::size_type>(i)] =
                static_cast<T>(boost::math::cyl_bessel_i(0, x) * scale);
        }
    }

    double Beta() const { return beta; }

private:
    double beta;
    double shift;
};
