#pragma once

#include <cstddef>

// The dot products of one polyphase stage: the resampler's hot loop.
//
// Layout the kernels expect (set up by PolyphaseStage):
// - `branches`: `up` rows of `padded_taps` doubles, row p holding branch p's
//   taps newest-last (h[p + (T-1-t)*up] at column t) followed by zeros up to
//   padded_taps, a multiple of 4;
// - `samples`: the stage buffer from the oldest sample a block can reach,
//   readable up to block + padded_taps entries (the padding finite);
// - output k (0 <= k < outputs) uses branch (k*down) mod up and samples
//   [k*down/up, k*down/up + padded_taps), and is stored as
//   double(float(up * sum)).
//
// Every kernel forms each sum the same way: four partial sums over the taps
// t = 0, 4, 8 .. (t = 1, 5, .. and so on), each product exact in double,
// then (s0 + s1) + (s2 + s3). The fast and the generic path therefore give
// identical results; against a strict tap-by-tap sum they can differ by the
// rounding of the last bit.
class PolyphaseKernel {
public:
    enum class Path {
        Automatic, // the fastest the processor supports, unless overridden
        Generic,   // plain C++ only
    };

    struct Job {
        const double* branches;
        std::size_t padded_taps;
        int up;
        int down;
        const double* samples;
        std::size_t outputs;
        double* out;
    };

    using Function = void (*)(const Job&);

    // The kernel for `path`. Automatic gives the AVX2/FMA kernel when the
    // processor has both and the environment variable
    // MARROWVALE_GENERIC_KERNEL is unset, empty or "0"; else the generic one.
    static Function Select(Path path);

    static void Generic(const Job& job);
    // Needs AVX2 and FMA: call it only if FastPathAvailable(). Builds for
    // other processors make it the generic kernel.
    static void Avx2Fma(const Job& job);

    static bool FastPathAvailable();
    static bool FastPathCompiled();
};
