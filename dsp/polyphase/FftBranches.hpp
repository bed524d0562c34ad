#pragma once

#include "dsp/polyphase/AlignedAllocator.hpp"
#include "dsp/polyphase/FilterDesign.hpp"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

struct fftw_plan_s;

// One stage's filter as the spectra of its polyphase branches, for fast
// convolution (overlap-save) instead of dot products: with a transform of
// length N, branch p's taps h[p + j*up] (j < T), scaled by up / N, are
// zero-padded to N and transformed once. Read-only once built, so the stages
// of any number of channels share one.
//
// A stage that only decimates (up 1, down d, d dividing N / 2) transforms
// back at length N / d: the outputs it keeps are every d-th of the
// convolution, whose spectrum is the full one folded d times.
//
// The transforms are real-to-complex and back in double precision. Their
// plans come from measurements made once and kept in the source
// (FftWisdom.cpp, made by tools/make_fft_wisdom): the same plan, so the same
// rounding, in every run and on every processor with AVX, and faster than
// the plans the library picks without measuring (the transforms took about
// a sixth less time in a conversion). A processor without AVX, or a length
// not measured, gets an unmeasured plan.
class FftBranches {
public:
    FftBranches(int up, int down, const std::vector<double>& filter, std::size_t length);
    ~FftBranches();
    FftBranches(const FftBranches&) = delete;
    FftBranches& operator=(const FftBranches&) = delete;

    // The spectra of a stage's design at transform length `length`, from a
    // cache that keeps them for the files after (bounded like the branch
    // tables'). Safe to call from several threads.
    static std::shared_ptr<const FftBranches> For(const StageFilterDesign& design,
                                                  std::size_t length);

    int Up() const { return up; }
    std::size_t Taps() const { return taps; }
    std::size_t Length() const { return length; }
    // d when the inverse transform is folded (see above), else 1.
    std::size_t Fold() const { return fold; }
    static std::size_t FoldFor(int up, int down, std::size_t length) {
        const std::size_t d = static_cast<std::size_t>(down);
        return up == 1 && d > 1 && length % (2 * d) == 0 ? d : 1;
    }
    // Complex values of a spectrum: N / 2 + 1, stored as (re, im) pairs.
    std::size_t Bins() const { return length / 2 + 1; }
    // Doubles from one spectrum to the next: 2 * Bins() rounded up to keep
    // every spectrum 64-byte aligned, as the transforms were planned.
    std::size_t Stride() const { return StrideFor(length); }
    static std::size_t StrideFor(std::size_t length) { return (length + 2 + 7) / 8 * 8; }
    const double* Spectrum(int p) const {
        return spectra.data() + static_cast<std::size_t>(p) * Stride();
    }
    std::size_t Bytes() const { return spectra.size() * sizeof(double); }
    // Whether the plans came from the kept measurements.
    bool Measured() const { return measured; }
    static std::size_t BytesFor(int up, std::size_t length) {
        return static_cast<std::size_t>(up) * StrideFor(length) * sizeof(double);
    }

    // in[0 .. N-1] to spectrum[0 .. 2 * Bins() - 1], and back at length
    // N / Fold() (the inverse overwrites its input). Buffers 64-byte
    // aligned; safe from several threads at once.
    void Forward(double* in, double* spectrum) const;
    void Inverse(double* spectrum, double* out) const;

    // Input samples one transform of length N takes for T taps at most (less
    // the room a folded transform needs to start its parts on a multiple of
    // d and its outputs on a multiple of d in the transform).
    static std::size_t Step(std::size_t length, std::size_t taps, std::size_t fold) {
        const std::size_t room = taps - 1 + 2 * (fold - 1);
        return length > room ? length - room : 0;
    }
    // The transform length for blocks of `block` input samples that makes
    // the least work, with that work in the units of the direct kernel's
    // taps (one tap of one output): the forward transform, and per branch
    // a product and an inverse transform, for every part of the block.
    struct Choice {
        std::size_t length;
        double work; // per block
    };
    static Choice Choose(std::size_t taps, int up, int down, std::size_t block);

    // The transform lengths Choose considers, ascending.
    static std::vector<std::size_t> Lengths();
    // Measures the plans of length `length` folded `fold` times, adding
    // them to the library's wisdom, and returns all wisdom gathered so far:
    // for tools/make_fft_wisdom only (it overwrites nothing but its own
    // buffers, but takes seconds).
    static std::string Measure(std::size_t length, std::size_t fold);

private:
    int up;
    std::size_t taps;
    std::size_t length;
    std::size_t fold;
    std::vector<double, AlignedAllocator<double, 64>> spectra;
    fftw_plan_s* forward = nullptr;
    fftw_plan_s* inverse = nullptr;
    bool measured = false;
};
