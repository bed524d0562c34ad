// The requantiser's path for values that are not integers (float samples
// in input units): the integer path's rounding, dither, shaping and clipping,
// also when no bits are removed.

#include "dsp/requantisation/IntegerRequantiser.hpp"
#include "support/Signals.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

using dsp::requantisation::IntegerRequantiser;
using testsupport::NoiseSamples;
using testsupport::Samples;

namespace {

void Prepare(IntegerRequantiser<int>& r, unsigned removed, int out_bits, int dither, int shaping) {
    r.bits_removed = removed;
    r.output_bits = out_bits;
    r.dither_bits = 1;
    r.dither_type = dither;
    r.noise_shaping = shaping;
    r.UseFixedSeed(77);
    r.Prepare();
}

} // namespace

TEST(RequantiseValues, IntegerValuesFollowTheIntegerPath) {
    // 24 to 16 bits with high-pass dither and nine-tap shaping, loud enough
    // to clip now and then: both paths give the same samples and counts.
    Samples input = NoiseSamples(20000, 24, 5);
    std::vector<double> values(input.begin(), input.end());
    IntegerRequantiser<int> integers;
    IntegerRequantiser<int> doubles;
    Prepare(integers, 8, 16, 2, 3);
    Prepare(doubles, 8, 16, 2, 3);
    Samples from_values(values.size());
    doubles.Process(values.data(), from_values.data(), 7000);
    doubles.Process(values.data() + 7000, from_values.data() + 7000, 13000);
    integers.Process(input.data(), static_cast<unsigned>(input.size()));
    EXPECT_EQ(from_values, input);
    EXPECT_EQ(doubles.ClippedCount(), integers.ClippedCount());
    EXPECT_GT(integers.ClippedCount(), 0u);
}

TEST(RequantiseValues, RoundsWithNoBitsRemovedAndSurvivesAbsurdValues) {
    // 32-bit values to 32 bits: no dither, no shaping, but every value is
    // rounded half away from zero and clipped.
    IntegerRequantiser<int> r;
    Prepare(r, 0, 32, 2, 3);
    const std::vector<double> values = {
        1.4,           1.5,           -1.5,  -0.49,  2147483647.4, 2147483648.0,
        -2147483648.4, -2147483649.0, 1e300, -1e300, 5.5};
    Samples out(values.size());
    r.Process(values.data(), out.data(), static_cast<unsigned>(values.size()));
    const Samples expected = {1, 2, -2, 0, INT_MAX, INT_MAX, INT_MIN, INT_MIN, INT_MAX, INT_MIN, 6};
    EXPECT_EQ(out, expected);
    EXPECT_EQ(r.ClippedCount(), 4u); // 2^31, -2^31 - 1 and the two absurd ones

    // With shaping on, clipping is not fed back: after absurd values the
    // next ones stay within the shaped noise of a clean run, no burst.
    IntegerRequantiser<int> shaped;
    IntegerRequantiser<int> clean;
    Prepare(shaped, 8, 24, 0, 3);
    Prepare(clean, 8, 24, 0, 3);
    std::vector<double> with_spikes(400, 1000.25);
    with_spikes[100] = 1e300;
    with_spikes[101] = -1e300;
    Samples spiked(400);
    shaped.Process(with_spikes.data(), spiked.data(), 400);
    std::vector<double> steady(400, 1000.25);
    Samples plain(400);
    clean.Process(steady.data(), plain.data(), 400);
    const double level = 1000.25 / 256;
    double clean_swing = 0;
    double spiked_swing = 0;
    for (std::size_t i = 110; i < 400; ++i) {
        clean_swing = std::max(clean_swing, std::abs(plain[i] - level));
        spiked_swing = std::max(spiked_swing, std::abs(spiked[i] - level));
    }
    EXPECT_LE(spiked_swing, clean_swing + 1.0);
}

TEST(RequantiseValues, UnshapedNarrowRangeRoundsAndClipsAtItsEdges) {
    // 16 bits, no dither, no shaping: values within a step of either end
    // round half away from zero; those beyond it, the absurd and NaN clip.
    IntegerRequantiser<int> r;
    Prepare(r, 0, 16, 0, 0);
    const std::vector<double> values = {32767.4, 32767.5, 32768.49, -32768.4,     -32768.5, 2.5,
                                        -2.5,    1e300,   -1e300,   std::nan(""), -0.4};
    Samples out(values.size());
    r.Process(values.data(), out.data(), static_cast<unsigned>(values.size()));
    const Samples expected = {32767, 32767, 32767, -32768, -32768, 3, -3, 32767, -32768, -32768, 0};
    EXPECT_EQ(out, expected);
    EXPECT_EQ(r.ClippedCount(), 6u);
}
