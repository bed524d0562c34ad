#include "dsp/PolyphaseBranches.hpp"

#include "dsp/PolyphaseKernel.hpp"

#include <utility>

namespace {

std::size_t RoundUp8(std::size_t n) {
    return (n + 7) / 8 * 8;
}

} // namespace

PolyphaseBranches::PolyphaseBranches(int up, std::vector<float> filter)
    : up(up), taps(static_cast<int>(filter.size()) / up), coefficients(std::move(filter)) {
    const std::size_t t = static_cast<std::size_t>(taps);
    const std::size_t u = static_cast<std::size_t>(up);
    const std::size_t phased_stride = RoundUp8(t + PolyphaseKernel::lanes - 1);
    const bool phased =
        u * PolyphaseKernel::lanes * phased_stride * sizeof(double) <= max_phased_bytes;
    phases = phased ? PolyphaseKernel::lanes : 1;
    row_stride = phased ? phased_stride : RoundUp8(t);
    rows.assign(u * phases * row_stride, 0.0);
    for (std::size_t p = 0; p < u; ++p) {
        for (std::size_t f = 0; f < phases; ++f) {
            double* row = rows.data() + (p * phases + f) * row_stride + f;
            for (std::size_t i = 0; i < t; ++i) {
                row[i] = coefficients[p + (t - 1 - i) * u];
            }
        }
    }
}

std::size_t PolyphaseBranches::Bytes() const {
    return rows.size() * sizeof(double) + coefficients.size() * sizeof(float);
}
