#include "dsp/polyphase/PolyphaseBranches.hpp"

#include "dsp/polyphase/PolyphaseKernel.hpp"

namespace {

std::size_t RoundUp8(std::size_t n) {
    return (n + 7) / 8 * 8;
}

} // namespace

PolyphaseBranches::Layout PolyphaseBranches::LayoutFor(std::size_t up, std::size_t taps) {
    const std::size_t lanes = PolyphaseKernel::lanes;
    const std::size_t phased_stride = RoundUp8(taps + lanes - 1);
    // Compared by division: up * taps can be near the top of size_t for
    // absurd requests that are sized before they are refused.
    if (phased_stride <= max_phased_bytes / sizeof(double) / lanes / up) {
        return Layout{lanes, phased_stride};
    }
    return Layout{1, RoundUp8(taps)};
}

double PolyphaseBranches::BytesFor(std::size_t up, std::size_t taps) {
    const Layout layout = LayoutFor(up, taps);
    return static_cast<double>(up) * static_cast<double>(layout.phases) *
           static_cast<double>(layout.row_stride) * sizeof(double);
}

PolyphaseBranches::PolyphaseBranches(int new_up, const std::vector<float>& filter)
    : PolyphaseBranches(new_up, std::vector<double>(filter.begin(), filter.end())) {}

PolyphaseBranches::PolyphaseBranches(int new_up, const std::vector<double>& filter)
    : up(new_up), taps(static_cast<int>(filter.size()) / new_up) {
    const std::size_t t = static_cast<std::size_t>(taps);
    const std::size_t u = static_cast<std::size_t>(up);
    const Layout layout = LayoutFor(u, t);
    phases = layout.phases;
    row_stride = layout.row_stride;
    rows.assign(u * phases * row_stride, 0.0);
    for (std::size_t p = 0; p < u; ++p) {
        for (std::size_t f = 0; f < phases; ++f) {
            double* row = rows.data() + (p * phases + f) * row_stride + f;
            for (std::size_t i = 0; i < t; ++i) {
                row[i] = filter[p + (t - 1 - i) * u];
            }
        }
    }
}

std::vector<float> PolyphaseBranches::Coefficients() const {
    const std::vector<double> filter = Filter();
    return std::vector<float>(filter.begin(), filter.end());
}

std::vector<double> PolyphaseBranches::Filter() const {
    const std::size_t t = static_cast<std::size_t>(taps);
    const std::size_t u = static_cast<std::size_t>(up);
    std::vector<double> filter(u * t);
    for (std::size_t p = 0; p < u; ++p) {
        const double* row = rows.data() + p * phases * row_stride;
        for (std::size_t i = 0; i < t; ++i) {
            filter[p + (t - 1 - i) * u] = row[i];
        }
    }
    return filter;
}

std::size_t PolyphaseBranches::Bytes() const {
    return rows.size() * sizeof(double);
}
