// The stage kernels: the AVX2/FMA path and the generic path must give the
// same samples, and both must stay within a last-bit rounding of a strict
// tap-by-tap sum.

#include "dsp/PolyphaseKernel.hpp"

#include "dsp/PolyphaseResample.hpp"
#include "tests/dsp/ResamplerTestSupport.hpp"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace {

using Path = PolyphaseKernel::Path;

std::vector<int> Noise(std::size_t length, int amplitude, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_int_distribution<int> draw(-amplitude, amplitude);
    std::vector<int> x(length);
    for (int& v : x) {
        v = draw(generator);
    }
    return x;
}

// A stage's data laid out as the kernels expect, with float values.
struct KernelData {
    std::vector<double> branches;
    std::vector<double> samples;
    std::size_t padded_taps;
};

KernelData MakeData(int up, int taps, std::size_t samples, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> draw(-1.0f, 1.0f);
    KernelData d;
    d.padded_taps = (static_cast<std::size_t>(taps) + 3) / 4 * 4;
    d.branches.assign(static_cast<std::size_t>(up) * d.padded_taps, 0.0);
    for (int p = 0; p < up; ++p) {
        for (int t = 0; t < taps; ++t) {
            d.branches[static_cast<std::size_t>(p) * d.padded_taps + t] = draw(generator);
        }
    }
    d.samples.resize(samples + d.padded_taps);
    for (double& x : d.samples) {
        x = draw(generator);
    }
    return d;
}

} // namespace

TEST(PolyphaseKernel, PathsAgreeAndMatchAStrictSum) {
    struct Shape {
        int up, down, taps;
        std::size_t outputs;
    };
    // Odd tap counts exercise the zero-padded tail; output counts that are
    // not multiples of 8 per branch exercise the 4- and 1-output loops.
    const Shape shapes[] = {{8, 7, 133, 8 * 15}, {4, 3, 258, 4 * 13}, {5, 7, 210, 5 * 7},
                            {1, 2, 1024, 29},    {2, 1, 512, 2 * 11}, {7, 8, 152, 7 * 126},
                            {3, 5, 5, 3 * 9},    {1, 1, 1, 3},        {97, 89, 20, 97 * 3}};
    for (const Shape& s : shapes) {
        SCOPED_TRACE(testing::Message() << s.up << "/" << s.down << " taps " << s.taps);
        const std::size_t reach = s.outputs * s.down / s.up + 1;
        const KernelData d = MakeData(s.up, s.taps, reach, 3);
        std::vector<double> generic(s.outputs), fast(s.outputs);
        PolyphaseKernel::Job job{d.branches.data(), d.padded_taps, s.up,          s.down,
                                 d.samples.data(),  s.outputs,     generic.data()};
        PolyphaseKernel::Generic(job);
        if (PolyphaseKernel::FastPathAvailable()) {
            job.out = fast.data();
            PolyphaseKernel::Avx2Fma(job);
            for (std::size_t k = 0; k < s.outputs; ++k) {
                ASSERT_EQ(fast[k], generic[k]) << k; // same sums in the same order
            }
        }
        for (std::size_t k = 0; k < s.outputs; ++k) {
            const std::size_t a = k * static_cast<std::size_t>(s.down);
            const double* h = d.branches.data() + (a % s.up) * d.padded_taps;
            const double* x = d.samples.data() + a / s.up;
            double strict = 0.0;
            for (int t = 0; t < s.taps; ++t) {
                strict += h[t] * x[t];
            }
            const float expected = static_cast<float>(s.up * strict);
            // One float rounding apart at most.
            EXPECT_LE(std::fabs(generic[k] - expected),
                      std::ldexp(std::fabs(expected), -23) + 1e-30)
                << k;
        }
    }
}

TEST(PolyphaseKernel, ResamplerOutputIsTheSameOnBothPaths) {
    if (!PolyphaseKernel::FastPathAvailable()) {
        GTEST_SKIP() << "no AVX2/FMA on this processor: only the generic path runs";
    }
    const int pairs[][2] = {
        {44100, 48000}, {48000, 44100}, {96000, 44100}, {44100, 22050}, {8000, 11025}};
    for (const auto& pair : pairs) {
        SCOPED_TRACE(testing::Message() << pair[0] << " -> " << pair[1]);
        for (const int amplitude : {32767, 8388607, 2147483647}) {
            const std::vector<int> input = Noise(3000, amplitude, 4);
            PolyphaseResample fast(pair[0], pair[1], Path::Automatic);
            PolyphaseResample generic(pair[0], pair[1], Path::Generic);
            EXPECT_EQ(resampler_test::Convert(fast, input, 500, 700),
                      resampler_test::Convert(generic, input, 500, 700));
        }
    }
}

TEST(PolyphaseKernel, EnvironmentForcesTheGenericPath) {
    EXPECT_EQ(PolyphaseKernel::Select(Path::Generic), &PolyphaseKernel::Generic);
    ASSERT_EQ(setenv("MARROWVALE_GENERIC_KERNEL", "1", 1), 0);
    EXPECT_EQ(PolyphaseKernel::Select(Path::Automatic), &PolyphaseKernel::Generic);
    ASSERT_EQ(setenv("MARROWVALE_GENERIC_KERNEL", "0", 1), 0);
    const PolyphaseKernel::Function automatic = PolyphaseKernel::Select(Path::Automatic);
    ASSERT_EQ(unsetenv("MARROWVALE_GENERIC_KERNEL"), 0);
    EXPECT_EQ(PolyphaseKernel::Select(Path::Automatic), automatic);
    if (PolyphaseKernel::FastPathAvailable()) {
        EXPECT_EQ(automatic, &PolyphaseKernel::Avx2Fma);
    } else {
        EXPECT_EQ(automatic, &PolyphaseKernel::Generic);
    }
}
