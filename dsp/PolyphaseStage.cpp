#include "dsp/PolyphaseStage.hpp"

#include <algorithm>

PolyphaseStage::PolyphaseStage(int up, int down, std::size_t block_length,
                               const std::vector<float>& filter)
    : up(up), down(down), taps(static_cast<int>(filter.size()) / up), block_length(block_length),
      output_length(block_length * static_cast<std::size_t>(up) / static_cast<std::size_t>(down)),
      coefficients(filter), branches(filter.size()),
      buffer(static_cast<std::size_t>(taps) + block_length, 0.0f) {
    const std::size_t t = static_cast<std::size_t>(taps);
    for (std::size_t p = 0; p < static_cast<std::size_t>(up); ++p) {
        for (std::size_t j = 0; j < t; ++j) {
            branches[p * t + j] = filter[p + j * static_cast<std::size_t>(up)];
        }
    }
}

void PolyphaseStage::Filter(float* out) {
    const std::size_t t = static_cast<std::size_t>(taps);
    const std::size_t u = static_cast<std::size_t>(up);
    const std::size_t d = static_cast<std::size_t>(down);
    const double gain = up;
    for (std::size_t k = 0; k < output_length; ++k) {
        const std::size_t a = k * d;
        const float* h = branches.data() + (a % u) * t;
        // x[a/up - j] lives at buffer[T + a/up - j].
        const float* x = buffer.data() + t + a / u;
        double sum = 0.0;
        for (std::size_t j = 0; j < t; ++j) {
            sum += static_cast<double>(h[j]) * static_cast<double>(*(x - j));
        }
        out[k] = static_cast<float>(gain * sum);
    }
    std::copy(buffer.begin() + static_cast<std::ptrdiff_t>(block_length), buffer.end(),
              buffer.begin());
}
