#pragma once

#include "dsp/polyphase/AlignedAllocator.hpp"

#include <cstddef>
#include <vector>

// One stage's filter split into its polyphase branches and laid out for
// PolyphaseKernel. Read-only once built, so the stages of any number of
// channels can share one.
//
// The filter h of length n (a multiple of up) gives `up` branches of
// T = n / up taps; branch p holds h[p + j*up], j = 0 .. T-1, stored oldest
// sample first (tap j in column T-1-j). Rows are 64-byte aligned and padded
// with zeros.
//
// With 8 phases every branch is stored 8 times, copy f shifted right by f
// zero columns: an output whose oldest sample sits at a buffer index that is
// f past a multiple of 8 then reads its samples from that multiple on, so
// that every load of samples and taps is aligned. With 1 phase (filters too
// large for eight copies) each branch is stored once and the sample loads are
// unaligned.
class PolyphaseBranches {
public:
    // `filter` in design order, its length a multiple of up.
    PolyphaseBranches(int up, const std::vector<double>& filter);
    PolyphaseBranches(int up, const std::vector<float>& filter);

    int Up() const { return up; }
    int Taps() const { return taps; }
    std::size_t Phases() const { return phases; }
    std::size_t RowStride() const { return row_stride; }
    // Branch p, phase f starts at Rows() + (p * Phases() + f) * RowStride().
    const double* Rows() const { return rows.data(); }

    // The filter in design order, read back from the rows (only the rows
    // are kept: the largest filters have millions of taps), rounded to float.
    std::vector<float> Coefficients() const;
    // The same as stored, in double precision.
    std::vector<double> Filter() const;

    // Memory held.
    std::size_t Bytes() const;
    // Memory a table of `up` branches of `taps` taps would hold, before
    // building it (in double: absurd sizes must not wrap).
    static double BytesFor(std::size_t up, std::size_t taps);

    // Phases a table of `up` branches of `taps` taps gets: `lanes`, or 1 when
    // the eight-fold table would be too large.
    static std::size_t PhasesFor(std::size_t up, std::size_t taps) {
        return LayoutFor(up, taps).phases;
    }

    // Above this size of the eight-fold table a filter is stored once.
    static constexpr std::size_t max_phased_bytes = std::size_t(1) << 20;

private:
    struct Layout {
        std::size_t phases;
        std::size_t row_stride;
    };
    static Layout LayoutFor(std::size_t up, std::size_t taps);

    int up;
    int taps;
    std::size_t phases;
    std::size_t row_stride;
    std::vector<double, AlignedAllocator<double, 64>> rows;
};
