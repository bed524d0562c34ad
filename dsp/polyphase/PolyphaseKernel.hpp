#pragma once

#include <cstddef>

// The dot products of one polyphase stage: the resampler's hot loop.
//
// Layout the kernels expect (set up by PolyphaseBranches and PolyphaseStage):
// - `rows`: branch p (0 <= p < up), phase f (0 <= f < phases) at
//   rows + (p * phases + f) * row_stride, holding the branch's `taps` taps
//   oldest sample first in columns f .. f + taps - 1 and zeros elsewhere;
//   rows 64-byte aligned; `phases` is 1 or `lanes`;
// - output k (0 <= k < outputs), with a = k * down, uses branch a mod up and
//   the samples from b = first + a / up on. With f = b mod phases it reads
//   the row of phase f against samples[b - f ..], `Width(taps, f)` columns, so
//   `samples` must be readable (and finite) that far; with `lanes` phases and
//   `samples` 64-byte aligned every load is aligned;
// - output k is stored as double(float(up * sum)), or as up * sum when
//   `rounds` is false (the stages of the steep filters keep double
//   precision).
//
// Every kernel forms each sum the same way: eight partial sums s0 .. s7, s_l
// over the columns c = l, l + 8, l + 16 .. in that order, each product of
// two floats exact in double, then ((s0 + s4) + (s2 + s6)) +
// ((s1 + s5) + (s3 + s7)). For float samples all paths therefore give
// identical results; against a strict tap-by-tap sum they can differ by the
// rounding of the last bit. Samples in double precision (the steep stages)
// make the products inexact: the AVX2 and AVX-512 paths, both fusing each
// multiply with its add, still agree, and the generic one may differ from
// them in the last bit.
class PolyphaseKernel {
public:
    enum class Path {
        Automatic, // the fastest the processor supports, unless overridden
        Generic,   // plain C++ only
        Avx2Fma,   // AVX2/FMA even where AVX-512 is there (generic without AVX2)
    };

    struct Job {
        const double* rows;
        std::size_t row_stride;
        std::size_t phases;
        std::size_t taps;
        int up;
        int down;
        const double* samples;
        std::size_t first;
        std::size_t outputs;
        double* out;
        bool rounds;
    };

    using Function = void (*)(const Job&);

    // Partial sums per output, and the most phases a table has.
    static constexpr std::size_t lanes = 8;

    // Columns an output of phase f reads: taps + f rounded up to `lanes`.
    static std::size_t Width(std::size_t taps, std::size_t f) {
        return (taps + f + lanes - 1) / lanes * lanes;
    }

    // The kernel for `path`. Automatic gives the AVX-512 kernel when the
    // processor has it (unless the environment variable MARROWVALE_KERNEL is
    // "avx2"), else the AVX2/FMA kernel when it has both, unless the
    // environment variable MARROWVALE_GENERIC_KERNEL is set to something
    // other than empty or "0"; else the generic one.
    static Function Select(Path path);

    static void Generic(const Job& job);
    // Need AVX2 and FMA, or AVX-512F: call them only if the matching
    // ...Available() says so. Builds for other processors make them the
    // generic kernel.
    static void Avx2Fma(const Job& job);
    static void Avx512(const Job& job);

    static bool Avx2FmaAvailable();
    static bool Avx512Available();
};
