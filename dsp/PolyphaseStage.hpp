#pragma once

#include "dsp/PolyphaseKernel.hpp"

#include <cstddef>
#include <vector>

// One stage of the resampling cascade: interpolates by `up`, low-pass
// filters and decimates by `down`, one block at a time, computing only the
// outputs it keeps.
//
// The filter h of length n (a multiple of up) splits into `up` polyphase
// branches of T = n / up taps. Output k of a block, with a = k * down, is
//     y[k] = up * sum_{j=0}^{T-1} h[(a mod up) + j*up] * x[a/up - j]
// where x[0 ..] is the block and x[-1 .. -T] the history carried over from
// the previous block, rounded to float. Samples and taps are floats; they
// are kept widened to double so that the kernel multiplies them exactly
// without converting each time. Each branch's taps are stored contiguously
// (see PolyphaseKernel for the layout), so one output is one contiguous dot
// product.
class PolyphaseStage {
public:
    PolyphaseStage(int up, int down, std::size_t block_length, const std::vector<float>& filter,
                   PolyphaseKernel::Path path = PolyphaseKernel::Path::Automatic);

    int Up() const { return up; }
    int Down() const { return down; }
    int Length() const { return static_cast<int>(coefficients.size()); }
    int Taps() const { return taps; }
    std::size_t BlockLength() const { return block_length; }
    std::size_t OutputLength() const { return output_length; }
    const std::vector<float>& Coefficients() const { return coefficients; }

    // Where the next block's BlockLength() input samples go, each a float
    // value held in a double.
    double* Block() { return buffer.data() + taps; }

    // Filters the block into out[0 .. OutputLength()-1], then keeps the
    // block's last T samples as the history for the next one.
    void Filter(double* out);

private:
    int up;
    int down;
    int taps;
    std::size_t padded_taps; // taps rounded up to a multiple of 4
    std::size_t block_length;
    std::size_t output_length;
    std::vector<float> coefficients; // h in design order
    std::vector<double> branches;    // up rows of padded_taps, see PolyphaseKernel
    std::vector<double> buffer;      // T history samples, the block, zero padding
    PolyphaseKernel::Function kernel;
};
