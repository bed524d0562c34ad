// Whole conversions with the steep filters: what folds back or images, the
// passband, the latency, exact lengths, extreme ratios; and the designed
// filters' plans left as they were.

#include "dsp/polyphase/DesignedSearch.hpp"
#include "dsp/polyphase/FilterDesign.hpp"
#include "dsp/polyphase/PolyphaseBranchCache.hpp"
#include "dsp/polyphase/PolyphaseResample.hpp"
#include "support/FilterResponse.hpp"
#include "support/ResamplerDrive.hpp"
#include "support/Signals.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr double amplitude = 0.89 * 2147483647.0; // -1 dBFS
constexpr std::size_t analysis = 1 << 15;

std::vector<int> Convert(int input_rate, int output_rate, FilterSetting setting,
                         const std::vector<int>& input) {
    PolyphaseResample resampler(ResamplePlan::For(input_rate, output_rate, setting));
    return testsupport::Resample(resampler, input, 4096, 4096);
}

// The highest level in the output's spectrum, in dB relative to the input
// sine of frequency f, more than 100 Hz away from `exclude` (negative: no
// exclusion). The analysis starts 50 ms in, past the start of the sine.
double HighestSpur(int input_rate, int output_rate, double f, double exclude) {
    const std::size_t in_length =
        static_cast<std::size_t>(static_cast<double>(analysis) * input_rate / output_rate) +
        static_cast<std::size_t>(input_rate / 10);
    const std::vector<int> x = testsupport::Sine(in_length, f, input_rate, amplitude);
    const std::vector<int> y = Convert(input_rate, output_rate, FilterSetting::Steep, x);
    const std::size_t first = static_cast<std::size_t>(output_rate / 20);
    EXPECT_GE(y.size(), first + analysis);
    const std::vector<double> db = filter_response::LevelsDb(y, first, analysis, amplitude);
    double highest = -400.0;
    for (std::size_t k = 0; k < db.size(); ++k) {
        const double g = static_cast<double>(k) * output_rate / static_cast<double>(analysis);
        if (exclude < 0 || std::abs(g - exclude) > 100.0) {
            highest = std::max(highest, db[k]);
        }
    }
    return highest;
}

// The gain, in dB, of a sine of frequency f through the conversion.
double Gain(int input_rate, int output_rate, FilterSetting setting, double f) {
    const std::size_t length = static_cast<std::size_t>(input_rate / 5);
    const std::vector<int> x = testsupport::Sine(length, f, input_rate, amplitude);
    const std::vector<int> y = Convert(input_rate, output_rate, setting, x);
    const testsupport::SineFit fit =
        testsupport::FitSine(y, f, output_rate, y.size() / 4, y.size() * 3 / 4);
    return 20.0 * std::log10(fit.amplitude / amplitude);
}

} // namespace

// Down-sampling: a sine above the lower Nyquist frequency F leaves nothing
// above -140 dB anywhere in the output, from just above F to the input's
// Nyquist frequency.
TEST(SteepResample, NothingFoldsBackWhenDownsampling) {
    const struct {
        int in_rate, out_rate;
        std::vector<double> tones;
    } cases[] = {
        {96000, 44100, {22100, 22500, 24000, 30000, 36700, 36800, 44000, 47900}},
        {48000, 44100, {22100, 22600, 23900}},
    };
    for (const auto& c : cases) {
        for (const double f : c.tones) {
            SCOPED_TRACE(testing::Message() << c.in_rate << " -> " << c.out_rate << ", " << f);
            EXPECT_LT(HighestSpur(c.in_rate, c.out_rate, f, -1.0), -140.0);
        }
    }
}

// Up-sampling: a sine below F comes out alone; its images, and those of the
// intermediate rates, stay below -140 dB.
TEST(SteepResample, NoImagesWhenUpsampling) {
    const struct {
        int in_rate, out_rate;
        std::vector<double> tones;
    } cases[] = {
        {44100, 96000, {1000, 10000, 20000, 21500, 21950}},
        {44100, 48000, {1000, 15000, 21000, 21950}},
    };
    for (const auto& c : cases) {
        for (const double f : c.tones) {
            SCOPED_TRACE(testing::Message() << c.in_rate << " -> " << c.out_rate << ", " << f);
            EXPECT_LT(HighestSpur(c.in_rate, c.out_rate, f, f), -140.0);
        }
    }
}

// Flat to 0.93 F, where the stages' passbands end; the -0.1 dB edge of the
// cascade therefore lies above 0.90 F. Well into the transition it is far
// down.
TEST(SteepResample, PassbandReachesNinetyPercentOfTheLowerNyquistFrequency) {
    const int pairs[][2] = {{44100, 48000}, {96000, 44100}};
    for (const auto& pair : pairs) {
        const double nyquist = 0.5 * std::min(pair[0], pair[1]);
        for (const double ratio : {0.02, 0.5, 0.9, 0.93}) {
            SCOPED_TRACE(testing::Message() << pair[0] << " -> " << pair[1] << ", " << ratio);
            EXPECT_NEAR(Gain(pair[0], pair[1], FilterSetting::Steep, ratio * nyquist), 0.0, 0.01);
        }
        EXPECT_LT(Gain(pair[0], pair[1], FilterSetting::Steep, 0.99 * nyquist), -60.0);
    }
}

// A band-limited pulse, a Gaussian 3 samples of the lower rate wide (its
// spectrum is below -300 dB at the passband's edge), peaks where it went in
// to within 0.01 of an output sample: the steep filters add no delay. It
// lies near the start, where a sample dropped or added would move it by a
// whole one; the peak is the vertex of the parabola through the logarithms
// of the three largest samples, exact for a Gaussian.
TEST(SteepResample, PulseComesOutWhereItWentIn) {
    const std::uint32_t pairs[][2] = {{44100, 48000},  {48000, 44100}, {96000, 44100},
                                      {192000, 44100}, {8000, 44100},  {44100, 88200}};
    for (const auto& pair : pairs) {
        SCOPED_TRACE(testing::Message() << pair[0] << " -> " << pair[1]);
        const double in_rate = pair[0];
        const double out_rate = pair[1];
        const double width = 3.0 / std::min(in_rate, out_rate); // seconds
        const double at = 0.0123456;
        std::vector<double> x(static_cast<std::size_t>(0.03 * in_rate) + 7);
        for (std::size_t n = 0; n < x.size(); ++n) {
            const double t = (static_cast<double>(n) / in_rate - at) / width;
            x[n] = 1000.0 * std::exp(-0.5 * t * t);
        }
        PolyphaseResample r(ResamplePlan::For(static_cast<int>(pair[0]), static_cast<int>(pair[1]),
                                              FilterSetting::Steep));
        const std::vector<double> y = testsupport::Resample(r, x, 4096, 4096);
        EXPECT_EQ(y.size(), testsupport::ExactLength(x.size(), pair[0], pair[1]));
        const std::size_t k =
            static_cast<std::size_t>(std::max_element(y.begin(), y.end()) - y.begin());
        const double a = std::log(y[k - 1]);
        const double b = std::log(y[k]);
        const double c = std::log(y[k + 1]);
        const double peak = static_cast<double>(k) + 0.5 * (a - c) / (a - 2.0 * b + c);
        EXPECT_NEAR(peak, at * out_rate, 0.01);
    }
}

TEST(SteepResample, ExactOutputLengths) {
    const int pairs[][2] = {{44100, 48000}, {96000, 44100}, {44100, 96000}, {8000, 44100}};
    for (const auto& pair : pairs) {
        for (const std::size_t length : {0u, 1u, 7u, 1001u, 44101u}) {
            SCOPED_TRACE(testing::Message() << pair[0] << " -> " << pair[1] << ", " << length);
            const std::vector<int> x = testsupport::NoiseSamples(length, 29, 5);
            const std::uint64_t expected = (length * static_cast<std::uint64_t>(pair[1]) +
                                            static_cast<std::uint64_t>(pair[0]) - 1) /
                                           static_cast<std::uint64_t>(pair[0]);
            EXPECT_EQ(Convert(pair[0], pair[1], FilterSetting::Steep, x).size(), expected);
            EXPECT_EQ(
                ResamplePlan::For(pair[0], pair[1], FilterSetting::Steep)->OutputLength(length),
                expected);
        }
    }
}

// The designed filters keep their plans and tables: the default setting is
// the designed one, its stages are StageFilter's Nuttall sincs, and their
// tables hold what DesignFilter gives. The steep plan is another plan.
TEST(SteepResample, DesignedFiltersStayAsTheyWere) {
    const int pairs[][2] = {{44100, 48000}, {96000, 44100}, {22050, 44100}, {48000, 32000}};
    for (const auto& pair : pairs) {
        SCOPED_TRACE(testing::Message() << pair[0] << " -> " << pair[1]);
        const auto plan = ResamplePlan::For(pair[0], pair[1]);
        EXPECT_EQ(plan, ResamplePlan::For(pair[0], pair[1], FilterSetting::Designed));
        EXPECT_EQ(plan->Setting(), FilterSetting::Designed);
        EXPECT_NE(plan, ResamplePlan::For(pair[0], pair[1], FilterSetting::Steep));
        std::vector<int> ups;
        std::vector<int> downs;
        for (const ResamplePlan::Stage& stage : plan->Stages()) {
            ups.push_back(stage.up);
            downs.push_back(stage.down);
        }
        EXPECT_EQ(plan->Cost(),
                  DesignedSearch::Cost(ups, downs, plan->UpFactor(), plan->DownFactor()));
        PolyphaseResample r(plan);
        for (std::size_t i = 0; i < plan->Stages().size(); ++i) {
            const ResamplePlan::Stage& stage = plan->Stages()[i];
            const StageFilterShape shape = StageFilter(stage.up, stage.down);
            EXPECT_EQ(stage.window, FilterWindow::Nuttall);
            EXPECT_EQ(stage.length, shape.length);
            EXPECT_EQ(stage.cutoff, shape.cutoff);
            std::vector<float> h(static_cast<std::size_t>(shape.length));
            DesignFilter(h.data(), shape.length, shape.cutoff);
            EXPECT_EQ(r.Stage(i).Coefficients(), h);
            EXPECT_EQ(&r.Stage(i).Branches(),
                      PolyphaseBranchCache::For(stage.up, stage.down).get());
        }
    }
    // Equal rates copy, whatever the setting.
    EXPECT_FALSE(ResamplePlan::For(44100, 44100, FilterSetting::Steep)->Resamples());
}

// Extreme but legal rate pairs: a steep plan within the memory limits, with
// the exact output length, that streams.
TEST(SteepResample, ExtremeRatiosStayWithinTheLimits) {
    const struct {
        int in_rate, out_rate;
        bool stream; // cheap enough to run here
    } cases[] = {{44100, 44101, false}, {1, 768000, false},   {768000, 1, false},
                 {768000, 7999, true},  {8000, 768000, true}, {767999, 768000, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.in_rate << " -> " << c.out_rate);
        std::string reason;
        const auto plan = ResamplePlan::Find(c.in_rate, c.out_rate, reason, FilterSetting::Steep);
        ASSERT_TRUE(plan) << reason;
        EXPECT_EQ(plan->Setting(), FilterSetting::Steep);
        EXPECT_LE(plan->StateBytes(), ResamplePlan::max_state_bytes);
        EXPECT_LE(plan->TableBytes(), ResamplePlan::max_table_bytes);
        EXPECT_TRUE(plan->UnfitReason().empty());
        const std::uint64_t expected = (300 * static_cast<std::uint64_t>(c.out_rate) +
                                        static_cast<std::uint64_t>(c.in_rate) - 1) /
                                       static_cast<std::uint64_t>(c.in_rate);
        EXPECT_EQ(plan->OutputLength(300), expected);
        if (c.stream) {
            PolyphaseResample r(plan);
            const std::vector<int> x(300, 1 << 24);
            EXPECT_EQ(testsupport::Resample(r, x, 4096, 65536).size(), expected);
        }
    }
    // What nothing can hold is refused as the designed filters refuse it.
    for (const auto& pair :
         {std::make_pair(2147483646, 2147483647), std::make_pair(1, 2147483647)}) {
        std::string designed;
        std::string steep;
        EXPECT_FALSE(ResamplePlan::Find(pair.first, pair.second, designed));
        EXPECT_FALSE(ResamplePlan::Find(pair.first, pair.second, steep, FilterSetting::Steep));
        EXPECT_EQ(steep, designed);
        EXPECT_THROW(ResamplePlan::For(pair.first, pair.second, FilterSetting::Steep),
                     std::length_error);
    }
}
