#include "dsp/dither/DitherSeed.hpp"
#include "dsp/dither/UniformGenerator.hpp"
#include "dsp/dither/dummy_dither.hpp"
#include "dsp/dither/hp_tpdf_dither.hpp"
#include "dsp/dither/tpdf_dither.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <vector>

namespace {

using dsp::dither::DitherSeed;
using dsp::dither::dummy_dither;
using dsp::dither::hp_tpdf_dither;
using dsp::dither::tpdf_dither;

constexpr int draws = 200000;
// A uniform draw in -128 .. 128 has variance (257^2 - 1) / 12.
constexpr double uniform_variance = (257.0 * 257.0 - 1.0) / 12.0;

template <class Dither>
std::vector<int> Draw(Dither& dither, std::size_t n) {
    std::vector<int> values(n);
    for (int& v : values) {
        v = dither.Next();
    }
    return values;
}

double Mean(const std::vector<int>& v) {
    double sum = 0.0;
    for (int x : v) {
        sum += x;
    }
    return sum / static_cast<double>(v.size());
}

double Variance(const std::vector<int>& v) {
    const double mean = Mean(v);
    double sum = 0.0;
    for (int x : v) {
        sum += (x - mean) * (x - mean);
    }
    return sum / static_cast<double>(v.size());
}

// Seeds `dither`, sets 8-bit steps with one bit of dither (amplitude 256)
// and draws `draws` values, each checked to lie within the amplitude.
template <class Dither>
std::vector<int> SeededDraws(Dither& dither, std::uint64_t seed) {
    dither.UseFixedSeed(seed);
    dither.Init(8, 1, 0);
    EXPECT_EQ(256, dither.Amplitude());
    const std::vector<int> values = Draw(dither, draws);
    EXPECT_TRUE(
        std::all_of(values.begin(), values.end(), [](int v) { return v >= -256 && v <= 256; }));
    return values;
}

int CountEqual(const std::vector<int>& a, const std::vector<int>& b) {
    int equal = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        equal += a[i] == b[i] ? 1 : 0;
    }
    return equal;
}

TEST(DummyDither, AlwaysZero) {
    dummy_dither dither;
    dither.Init(8, 1, 0);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(0, dither.Next());
    }
    dither.Init(20, 4, 3);
    EXPECT_EQ(0, dither.Next());
}

TEST(TpdfDither, RangeMeanVarianceAndTriangularHistogram) {
    tpdf_dither dither;
    const std::vector<int> values = SeededDraws(dither, 12345);
    EXPECT_NEAR(0.0, Mean(values), 1.5);
    // Two independent draws: twice the variance of one. Identical engines would
    // give four times, a single draw of the full range about four times too.
    EXPECT_NEAR(2.0 * uniform_variance, Variance(values), 0.03 * 2.0 * uniform_variance);

    // Sixteen bins of 32 values each; the sum of two uniform draws on 257
    // values has P(k) = (257 - |k|) / 257^2.
    std::vector<double> expected(16, 0.0);
    std::vector<int> observed(16, 0);
    // k + 256 and v + 256 are never negative.
    const auto bin_of = [](int k) {
        return static_cast<std::size_t>(std::min((k + 256) / 32, 15));
    };
    for (int k = -256; k <= 256; ++k) {
        const std::size_t bin = bin_of(k);
        expected[bin] += draws * (257.0 - std::abs(k)) / (257.0 * 257.0);
    }
    for (int v : values) {
        ++observed[bin_of(v)];
    }
    for (std::size_t bin = 0; bin < 16; ++bin) {
        const double sigma = std::sqrt(expected[bin]);
        EXPECT_NEAR(expected[bin], observed[bin], 5.0 * sigma) << "bin " << bin;
    }
}

TEST(TriangularDither, SmallestAmplitudeGivesZerosInBothSpectra) {
    tpdf_dither white;
    hp_tpdf_dither high_pass;
    const auto check = [](auto& dither) {
        dither.Init(1, 0, 0);
        EXPECT_EQ(1, dither.Amplitude());
        const std::vector<int> values = Draw(dither, 1000);
        EXPECT_EQ(std::vector<int>(1000, 0), values);
    };
    check(white);
    check(high_pass);
}

TEST(TpdfDither, LargestAmplitudeFitsAndBeyondItIsOff) {
    tpdf_dither dither;
    dither.Init(30, 1, 0);
    EXPECT_EQ(1 << 30, dither.Amplitude());
    for (int i = 0; i < 1000; ++i) {
        const int v = dither.Next();
        ASSERT_GE(v, -(1 << 30));
        ASSERT_LE(v, 1 << 30);
    }
    dither.Init(31, 1, 0);
    EXPECT_EQ(0, dither.Amplitude());
    dither.Init(8, 1, 23);
    EXPECT_EQ(0, dither.Amplitude());
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(0, dither.Next());
    }
}

TEST(HpTpdfDither, RangeVarianceBoundedSumAndNegativeLagOneCorrelation) {
    hp_tpdf_dither dither;
    const std::vector<int> values = SeededDraws(dither, 777);
    long long running = 0;
    for (int v : values) {
        running += v;
        // The sum telescopes to the newest draw minus the one made by Init.
        ASSERT_LE(std::llabs(running), 256);
    }
    EXPECT_NEAR(2.0 * uniform_variance, Variance(values), 0.03 * 2.0 * uniform_variance);

    const double mean = Mean(values);
    double lag0 = 0.0;
    double lag1 = 0.0;
    for (std::size_t i = 0; i + 1 < values.size(); ++i) {
        lag0 += (values[i] - mean) * (values[i] - mean);
        lag1 += (values[i] - mean) * (values[i + 1] - mean);
    }
    EXPECT_NEAR(-0.5, lag1 / lag0, 0.02);
}

TEST(HpTpdfDither, FirstValueIsSecondDrawMinusTheDrawOfInit) {
    hp_tpdf_dither dither;
    dither.SetSeedSalt(3);
    dither.UseFixedSeed(99);
    dither.Init(8, 1, 0);

    DitherSeed seed;
    seed.SetSalt(3);
    auto uniform = dsp::dither::MakeUniformGenerator(seed.Seed(99, 0), -128, 128);
    int previous = (*uniform)();
    for (int i = 0; i < 100; ++i) {
        const int u = (*uniform)();
        ASSERT_EQ(u - previous, dither.Next());
        previous = u;
    }
}

TEST(DitherSeeding, EqualSeedsRepeatAndSaltsSeparate) {
    tpdf_dither a;
    tpdf_dither b;
    tpdf_dither c;
    a.UseFixedSeed(2024);
    b.UseFixedSeed(2024);
    c.UseFixedSeed(2024);
    c.SetSeedSalt(1);
    a.Init(8, 1, 0);
    b.Init(8, 1, 0);
    c.Init(8, 1, 0);
    const std::vector<int> va = Draw(a, 5000);
    EXPECT_EQ(va, Draw(b, 5000));
    // Unrelated triangular values on 513 points agree about once in 260 draws.
    EXPECT_LT(CountEqual(va, Draw(c, 5000)), 100);

    hp_tpdf_dither h0;
    hp_tpdf_dither h1;
    h1.SetSeedSalt(1);
    // Clock seeding: the same second for both, so only the salt separates them.
    h0.Init(8, 1, 0);
    h1.Init(8, 1, 0);
    EXPECT_LT(CountEqual(Draw(h0, 5000), Draw(h1, 5000)), 100);
}

TEST(DitherSeeding, ChannelsAndEnginesNeverShareASeed) {
    DitherSeed seed;
    std::vector<std::uint32_t> seen;
    for (std::uint32_t salt = 0; salt < 64; ++salt) {
        seed.SetSalt(salt);
        for (std::uint32_t stream = 0; stream < 2; ++stream) {
            const std::uint32_t s = seed.Seed(1700000000ull, stream);
            for (std::uint32_t other : seen) {
                ASSERT_NE(other, s) << "salt " << salt << " stream " << stream;
            }
            seen.push_back(s);
        }
    }
    seed.SetSalt(0);
    EXPECT_NE(seed.Seed(1700000000ull, 0), seed.Seed(1700000001ull, 0));
}

} // namespace
