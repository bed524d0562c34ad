#include "dsp/polyphase/PolyphaseStage.hpp"

#include <algorithm>
#include <utility>

PolyphaseStage::PolyphaseStage(int new_down, std::size_t new_block_length,
                               std::shared_ptr<const PolyphaseBranches> new_branches,
                               PolyphaseKernel::Path path, bool new_rounds,
                               std::shared_ptr<const FftBranches> spectra)
    : down(new_down), rounds(new_rounds), block_length(new_block_length),
      output_length(new_block_length * static_cast<std::size_t>(new_branches->Up()) /
                    static_cast<std::size_t>(new_down)),
      branches(std::move(new_branches)), kernel(PolyphaseKernel::Select(path)) {
    // The last output starts at most at the block's last sample and reads
    // up to T + lanes - 1 columns from the multiple of 8 at or below it.
    buffer.assign(BufferLength(static_cast<std::size_t>(Taps()), block_length), 0.0);
    if (spectra) {
        fft = FftConvolver(std::move(spectra), down, block_length, rounds);
    }
}

PolyphaseStage::PolyphaseStage(int up, int new_down, std::size_t new_block_length,
                               const std::vector<float>& filter, PolyphaseKernel::Path path)
    : PolyphaseStage(new_down, new_block_length,
                     std::make_shared<const PolyphaseBranches>(up, filter), path) {}

void PolyphaseStage::Reset() {
    std::fill(buffer.begin(), buffer.end(), 0.0);
}

void PolyphaseStage::Filter(double* out) {
    // Output k's newest sample x[a/up] is buffer[T + a/up], so its oldest,
    // x[a/up - T + 1], is buffer[1 + a/up].
    const PolyphaseBranches& b = *branches;
    const std::size_t t = static_cast<std::size_t>(b.Taps());
    if (fft.Active()) {
        fft.Filter(buffer.data(), output_length, out);
    } else {
        PolyphaseKernel::Job job{
            b.Rows(),      b.RowStride(), b.Phases(),    static_cast<std::size_t>(b.Taps()),
            b.Up(),        down,          buffer.data(), 1,
            output_length, out,           rounds};
        kernel(job);
    }
    std::copy(buffer.begin() + static_cast<std::ptrdiff_t>(block_length),
              buffer.begin() + static_cast<std::ptrdiff_t>(block_length + t), buffer.begin());
}
