#include "dsp/PolyphaseStage.hpp"

#include <algorithm>

PolyphaseStage::PolyphaseStage(int up, int down, std::size_t block_length,
                               const std::vector<float>& filter, PolyphaseKernel::Path path)
    : up(up), down(down), taps(static_cast<int>(filter.size()) / up),
      padded_taps((static_cast<std::size_t>(taps) + 3) / 4 * 4), block_length(block_length),
      output_length(block_length * static_cast<std::size_t>(up) / static_cast<std::size_t>(down)),
      coefficients(filter), branches(static_cast<std::size_t>(up) * padded_taps, 0.0),
      // The kernel reads up to padded_taps - 1 samples past the block's end;
      // they meet zero taps, but must be finite.
      buffer(static_cast<std::size_t>(taps) + block_length + padded_taps, 0.0),
      kernel(PolyphaseKernel::Select(path)) {
    const std::size_t t = static_cast<std::size_t>(taps);
    const std::size_t u = static_cast<std::size_t>(up);
    for (std::size_t p = 0; p < u; ++p) {
        // Oldest sample first: column i holds tap j = T - 1 - i.
        for (std::size_t i = 0; i < t; ++i) {
            branches[p * padded_taps + i] = filter[p + (t - 1 - i) * u];
        }
    }
}

void PolyphaseStage::Filter(double* out) {
    // Output k's newest sample x[a/up] is buffer[T + a/up], so its oldest,
    // x[a/up - T + 1], is buffer[1 + a/up].
    PolyphaseKernel::Job job{branches.data(),   padded_taps,   up, down,
                             buffer.data() + 1, output_length, out};
    kernel(job);
    const std::size_t t = static_cast<std::size_t>(taps);
    std::copy(buffer.begin() + static_cast<std::ptrdiff_t>(block_length),
              buffer.begin() + static_cast<std::ptrdiff_t>(block_length + t), buffer.begin());
}
