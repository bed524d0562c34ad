#pragma once

#include "dsp/polyphase/AlignedAllocator.hpp"
#include "dsp/polyphase/FftBranches.hpp"

#include <cstddef>
#include <memory>
#include <vector>

// A stage's dot products by fast convolution: the same outputs as the direct
// kernel (PolyphaseKernel), within the rounding of the transforms (about
// 1e-16 of the signal), and stored as the kernel stores them: rounded to
// float, or kept in double precision for the stages that keep it.
//
// A block is cut into parts of equal length at fixed places, each part
// transformed with the T - 1 samples before it (overlap-save), so that an
// output depends only on the block and its history, never on where a stream
// was cut into pieces. Per part, only the branches some output of it uses are
// transformed back. Holds its own work buffers; shares the spectra.
class FftConvolver {
public:
    FftConvolver() = default;
    FftConvolver(std::shared_ptr<const FftBranches> spectra, int down, std::size_t block_length,
                 bool rounds);

    bool Active() const { return spectra != nullptr; }
    std::size_t Bytes() const { return work.size() * sizeof(double); }
    // The doubles of work buffers a stage with these parameters holds.
    static std::size_t WorkLength(std::size_t length, int up) {
        return length * (static_cast<std::size_t>(up) + 1) + 2 * (length + 8);
    }

    // `buffer` as the stage holds it: T history samples, then the block.
    // Writes `outputs` outputs.
    void Filter(const double* buffer, std::size_t outputs, double* out);

private:
    // Up 1, down d: one transform back at N / d.
    void FilterFolded(const double* buffer, std::size_t outputs, double* out);

    std::shared_ptr<const FftBranches> spectra;
    std::size_t down = 1;
    bool rounds = true;
    std::size_t block_length = 0;
    std::size_t part = 0; // input samples of a part
    std::vector<double, AlignedAllocator<double, 64>> work;
    std::vector<char> used;
};
