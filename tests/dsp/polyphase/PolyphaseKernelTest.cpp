// The stage kernels: the AVX-512, AVX2/FMA and generic paths must give the
// same samples, and all must stay within a last-bit rounding of a strict
// tap-by-tap sum.

#include "dsp/polyphase/PolyphaseKernel.hpp"

#include "dsp/polyphase/AlignedAllocator.hpp"
#include "dsp/polyphase/PolyphaseBranches.hpp"
#include "dsp/polyphase/PolyphaseResample.hpp"
#include "support/ResamplerDrive.hpp"
#include "support/Signals.hpp"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <vector>

namespace {

using Path = PolyphaseKernel::Path;

// A random float filter laid out as branches, and random float samples in
// an aligned buffer long enough for every read the outputs make.
struct KernelData {
    std::shared_ptr<const PolyphaseBranches> branches;
    std::vector<double, AlignedAllocator<double, 64>> samples;
};

KernelData MakeData(int up, int taps, std::size_t samples, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> draw(-1.0f, 1.0f);
    std::vector<float> filter(static_cast<std::size_t>(up) * static_cast<std::size_t>(taps));
    for (float& h : filter) {
        h = draw(generator);
    }
    KernelData d;
    d.branches = std::make_shared<const PolyphaseBranches>(up, filter);
    d.samples.resize(samples + static_cast<std::size_t>(taps) + 16);
    for (double& x : d.samples) {
        x = draw(generator);
    }
    return d;
}

using Kernel = void (*)(const PolyphaseKernel::Job&);

// The kernels this processor can run, generic first.
std::vector<Kernel> Kernels() {
    std::vector<Kernel> kernels = {&PolyphaseKernel::Generic};
    if (PolyphaseKernel::Avx2FmaAvailable()) {
        kernels.push_back(&PolyphaseKernel::Avx2Fma);
    }
    if (PolyphaseKernel::Avx512Available()) {
        kernels.push_back(&PolyphaseKernel::Avx512);
    }
    return kernels;
}

} // namespace

TEST(PolyphaseKernel, BranchRowsHoldTheTapsShiftedByTheirPhase) {
    // 4 branches of 5 taps: h[p + j*4] = 100 p + j, so each value says where
    // it came from.
    std::vector<float> filter(20);
    for (int p = 0; p < 4; ++p) {
        for (int j = 0; j < 5; ++j) {
            filter[static_cast<std::size_t>(p + j * 4)] = static_cast<float>(100 * p + j);
        }
    }
    const PolyphaseBranches b(4, filter);
    ASSERT_EQ(b.Phases(), 8u);
    EXPECT_EQ(b.Taps(), 5);
    EXPECT_EQ(b.RowStride(), 16u); // 5 taps behind up to 7 zeros, rounded to 8
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(b.Rows()) % 64, 0u);
    for (std::size_t p = 0; p < 4; ++p) {
        for (std::size_t f = 0; f < 8; ++f) {
            const double* row = b.Rows() + (p * 8 + f) * b.RowStride();
            for (std::size_t c = 0; c < b.RowStride(); ++c) {
                // Oldest sample first: column f + i holds tap 4 - i.
                const double expected = c >= f && c < f + 5
                                            ? 100.0 * static_cast<double>(p) + double(4 - (c - f))
                                            : 0.0;
                EXPECT_EQ(row[c], expected) << p << " " << f << " " << c;
            }
        }
    }
    EXPECT_EQ(b.Coefficients(), filter);

    // Eight copies of a big filter would be too much: one copy, no shift.
    const std::vector<float> large(1009 * 20, 0.5f);
    const PolyphaseBranches single(1009, large);
    EXPECT_EQ(single.Phases(), 1u);
    EXPECT_EQ(single.RowStride(), 24u);
    EXPECT_EQ(single.Bytes(), 1009u * 24 * 8);
    EXPECT_EQ(PolyphaseBranches::BytesFor(1009, 20), 1009.0 * 24 * 8);
    EXPECT_EQ(PolyphaseBranches::BytesFor(4, 5), double(b.Bytes()));
    EXPECT_EQ(single.Coefficients(), large);
}

TEST(PolyphaseKernel, PathsAgreeAndMatchAStrictSum) {
    struct Shape {
        int up, down, taps;
        std::size_t outputs;
    };
    // Odd tap counts exercise the zero padding; output counts that are not
    // multiples of the groups (nor of up) exercise the smaller groups; 1009
    // taps-per-branch tables are stored unshifted.
    const Shape shapes[] = {{8, 7, 133, 8 * 15},
                            {4, 3, 258, 4 * 13},
                            {5, 7, 210, 5 * 7},
                            {1, 2, 1024, 29},
                            {2, 1, 512, 2 * 11},
                            {7, 8, 152, 7 * 126},
                            {3, 5, 5, 3 * 9},
                            {1, 1, 1, 3},
                            {97, 89, 20, 97 * 3},
                            {8, 7, 133, 8 * 15 + 5},
                            {1009, 1000, 20, 1009 * 2 + 17}};
    for (const Shape& s : shapes) {
        // Every other shape keeps the sums in double.
        const bool rounds = (&s - shapes) % 2 == 0;
        const auto up = static_cast<std::size_t>(s.up);
        const auto down = static_cast<std::size_t>(s.down);
        for (const std::size_t first : {std::size_t(0), std::size_t(1), std::size_t(7)}) {
            SCOPED_TRACE(testing::Message()
                         << s.up << "/" << s.down << " taps " << s.taps << " first " << first);
            const std::size_t reach = first + s.outputs * down / up + 1;
            const KernelData d = MakeData(s.up, s.taps, reach, 3);
            const PolyphaseBranches& b = *d.branches;
            std::vector<std::vector<double>> results;
            for (const Kernel kernel : Kernels()) {
                results.emplace_back(s.outputs);
                const PolyphaseKernel::Job job{b.Rows(),
                                               b.RowStride(),
                                               b.Phases(),
                                               static_cast<std::size_t>(s.taps),
                                               s.up,
                                               s.down,
                                               d.samples.data(),
                                               first,
                                               s.outputs,
                                               results.back().data(),
                                               rounds};
                kernel(job);
                // Same sums in the same order.
                ASSERT_EQ(results.back(), results.front()) << results.size() - 1;
            }
            const std::vector<float>& h = b.Coefficients();
            for (std::size_t k = 0; k < s.outputs; ++k) {
                const std::size_t a = k * down;
                const std::size_t p = a % up;
                const double* x = d.samples.data() + first + a / up;
                double strict = 0.0;
                for (int i = 0; i < s.taps; ++i) {
                    strict += double(h[p + std::size_t(s.taps - 1 - i) * up]) * x[i];
                }
                const double expected =
                    rounds ? static_cast<double>(static_cast<float>(s.up * strict)) : s.up * strict;
                // One float rounding apart at most, or a few double roundings.
                ASSERT_LE(std::fabs(results.front()[k] - expected),
                          std::ldexp(std::fabs(expected), rounds ? -23 : -40) + 1e-30)
                    << k;
            }
        }
    }
}

TEST(PolyphaseKernel, ResamplerOutputIsTheSameOnBothPaths) {
    if (!PolyphaseKernel::Avx2FmaAvailable()) {
        GTEST_SKIP() << "no AVX2/FMA on this processor: only the generic path runs";
    }
    const int pairs[][2] = {
        {44100, 48000}, {48000, 44100}, {96000, 44100}, {44100, 22050}, {8000, 11025}};
    for (const auto& pair : pairs) {
        SCOPED_TRACE(testing::Message() << pair[0] << " -> " << pair[1]);
        for (const int bits : {16, 24, 32}) {
            const std::vector<int> input = testsupport::NoiseSamples(3000, bits, 4);
            PolyphaseResample fast(pair[0], pair[1], Path::Automatic);
            PolyphaseResample avx2(pair[0], pair[1], Path::Avx2Fma);
            PolyphaseResample generic(pair[0], pair[1], Path::Generic);
            const std::vector<int> expected = testsupport::Resample(generic, input, 500, 700);
            EXPECT_EQ(testsupport::Resample(fast, input, 500, 700), expected);
            EXPECT_EQ(testsupport::Resample(avx2, input, 500, 700), expected);
        }
        // The steep stages keep double precision: the two fused paths agree
        // to the last bit.
        const auto steep = ResamplePlan::For(pair[0], pair[1], FilterSetting::Steep);
        const std::vector<int> noise = testsupport::NoiseSamples(3000, 24, 4);
        const std::vector<double> values(noise.begin(), noise.end());
        PolyphaseResample fast(steep, Path::Automatic);
        PolyphaseResample avx2(steep, Path::Avx2Fma);
        EXPECT_EQ(testsupport::Resample(fast, values, 500, 700),
                  testsupport::Resample(avx2, values, 500, 700));
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
    if (PolyphaseKernel::Avx512Available()) {
        EXPECT_EQ(automatic, &PolyphaseKernel::Avx512);
    } else if (PolyphaseKernel::Avx2FmaAvailable()) {
        EXPECT_EQ(automatic, &PolyphaseKernel::Avx2Fma);
    } else {
        EXPECT_EQ(automatic, &PolyphaseKernel::Generic);
    }
    ASSERT_EQ(setenv("MARROWVALE_GENERIC_KERNEL", "1", 1), 0);
    EXPECT_EQ(PolyphaseKernel::Select(Path::Avx2Fma), &PolyphaseKernel::Generic);
    ASSERT_EQ(unsetenv("MARROWVALE_GENERIC_KERNEL"), 0);
}
