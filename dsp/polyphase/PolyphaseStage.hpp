#pragma once

#include "dsp/polyphase/AlignedAllocator.hpp"
#include "dsp/polyphase/FftConvolver.hpp"
#include "dsp/polyphase/PolyphaseBranches.hpp"
#include "dsp/polyphase/PolyphaseKernel.hpp"

#include <cstddef>
#include <memory>
#include <vector>

// One stage of the resampling cascade: interpolates by `up`, low-pass
// filters and decimates by `down`, one block at a time, computing only the
// outputs it keeps.
//
// The filter h of length n (a multiple of up) splits into `up` polyphase
// branches of T = n / up taps. Output k of a block, with a = k * down, is
//     y[k] = up * sum_{j=0}^{T-1} h[(a mod up) + j*up] * x[a/up - j]
// where x[0 ..] is the block and x[-1 .. -T] the history carried over from
// the previous block, rounded to float unless the stage keeps double
// precision. Taps are floats, and so are samples of a rounding stage; they
// are kept widened to double so that the kernel multiplies them exactly
// without converting each time. The branches (see PolyphaseBranches) may be
// shared with other stages; the buffer is the stage's own. Given the
// branches' spectra too, the stage computes the same sums by fast
// convolution (FftConvolver), which is cheaper for long filters.
class PolyphaseStage {
public:
    PolyphaseStage(int down, std::size_t block_length,
                   std::shared_ptr<const PolyphaseBranches> branches,
                   PolyphaseKernel::Path path = PolyphaseKernel::Path::Automatic,
                   bool rounds = true, std::shared_ptr<const FftBranches> spectra = nullptr);
    // Lays out its own branches from `filter`.
    PolyphaseStage(int up, int down, std::size_t block_length, const std::vector<float>& filter,
                   PolyphaseKernel::Path path = PolyphaseKernel::Path::Automatic);

    int Up() const { return branches->Up(); }
    int Down() const { return down; }
    int Length() const { return Up() * Taps(); }
    int Taps() const { return branches->Taps(); }
    std::size_t BlockLength() const { return block_length; }
    std::size_t OutputLength() const { return output_length; }
    std::vector<float> Coefficients() const { return branches->Coefficients(); }
    const PolyphaseBranches& Branches() const { return *branches; }

    // Memory of this stage's own, not counting the branches.
    std::size_t StateBytes() const { return buffer.size() * sizeof(double) + fft.Bytes(); }
    bool Fast() const { return fft.Active(); }
    // The samples a stage's buffer holds: history, block and the zeros the
    // kernel reads past the block.
    static std::size_t BufferLength(std::size_t taps, std::size_t block_length) {
        return taps + block_length + taps + PolyphaseKernel::lanes;
    }

    // Where the next block's BlockLength() input samples go, each a float
    // value held in a double.
    double* Block() { return buffer.data() + Taps(); }

    // Filters the block into out[0 .. OutputLength()-1], then keeps the
    // block's last T samples as the history for the next one.
    void Filter(double* out);
    // Forgets the history, as before the first block.
    void Reset();

private:
    int down;
    bool rounds; // outputs rounded to float
    std::size_t block_length;
    std::size_t output_length;
    std::shared_ptr<const PolyphaseBranches> branches;
    // T history samples, the block, then zeros for the kernel to read past
    // the block's end; 64-byte aligned to match the branch rows' phases.
    std::vector<double, AlignedAllocator<double, 64>> buffer;
    PolyphaseKernel::Function kernel;
    FftConvolver fft;
};
