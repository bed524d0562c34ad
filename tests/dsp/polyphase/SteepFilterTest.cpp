// The steep family's stage filters: the Kaiser window, the length rule, and
// the response of the coefficients as stored, stage by stage.

#include "dsp/polyphase/FilterDesign.hpp"
#include "dsp/polyphase/PolyphaseBranchCache.hpp"
#include "dsp/polyphase/ResamplePlan.hpp"
#include "dsp/polyphase/WindowFunction_Kaiser.hpp"
#include "support/FilterResponse.hpp"

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

using filter_response::BesselI0;

TEST(WindowFunction_Kaiser, ValuesFromTheBesselSeriesCentredOnHalfTheLength) {
    const double beta = steep_filter::beta;
    for (const int n : {9, 10, 1001}) {
        SCOPED_TRACE(n);
        WindowFunction_Kaiser<double, 0> window(beta);
        window.Build(n);
        ASSERT_EQ(window.values.size(), static_cast<std::size_t>(n));
        const int c = n / 2;
        for (int j = 0; j < n; ++j) {
            const double t = static_cast<double>(j - c) / c;
            const double expected = BesselI0(beta * std::sqrt(1.0 - t * t)) / BesselI0(beta);
            EXPECT_NEAR(window.values[static_cast<std::size_t>(j)], expected, 1e-13 * expected)
                << j;
        }
        EXPECT_DOUBLE_EQ(window.values[static_cast<std::size_t>(c)], 1.0);
    }
    WindowFunction_Kaiser<double, 0> one(beta);
    one.Build(1);
    EXPECT_EQ(one.values, std::vector<double>{1.0});
}

TEST(SteepFilter, LengthIsAnEvenNumberOfBranchesAndSaturates) {
    std::int64_t previous = 0;
    for (const double width : {0.2, 0.05, 0.01, 0.002}) {
        const std::int64_t n = steep_filter::Length(7, width);
        EXPECT_EQ(n % 14, 0) << width;   // whole branches, and even: the centre n/2 is a tap
        EXPECT_GT(n, previous) << width; // narrower transitions need more taps
        // About (160 - 7.95) / (2.285 * 2 pi) / width taps.
        EXPECT_NEAR(static_cast<double>(n) * width, 10.59, 10.59 * 0.02 + 14 * width) << width;
        previous = n;
    }
    EXPECT_GT(steep_filter::Length(3, 1e-30), std::numeric_limits<int>::max());
    EXPECT_GT(steep_filter::Length(3, 0.0), std::numeric_limits<int>::max());
    EXPECT_GT(steep_filter::Length(3, -1.0), std::numeric_limits<int>::max());
    EXPECT_EQ(steep_filter::Length(3, 0.0) % 6, 0);
    EXPECT_EQ(steep_filter::Length(4, 0.01) % 4, 0);
}

// The coefficients are the windowed sinc, computed here independently, in
// double precision: rounded to float, a short filter's few large ones would
// raise its stopband. The stopband holds.
TEST(SteepFilter, ShortFiltersAreTheExactDesign) {
    // Stages of 8 -> 32 kHz (2/1 after the steep one), 48 -> 8 kHz (1/3),
    // 8 -> 176.4 kHz (7/1) and 44.1 -> 88.2 kHz (2/1, steep).
    const struct {
        int up;
        double pass, stop; // fractions of the interpolated rate
    } cases[] = {{2, 0.11625, 0.375}, {1, 0.0775, 0.25}, {7, 0.02114, 0.12019}, {2, 0.2325, 0.25}};
    for (const auto& c : cases) {
        const int n = static_cast<int>(steep_filter::Length(c.up, c.stop - c.pass));
        SCOPED_TRACE(n);
        const float fc = static_cast<float>(c.pass + c.stop);
        std::vector<double> h(static_cast<std::size_t>(n));
        DesignKaiserFilter(h.data(), n, fc, steep_filter::beta);

        const int centre = n / 2;
        std::vector<double> exact(h.size());
        double sum = 0.0;
        for (int j = 0; j < n; ++j) {
            const double t = static_cast<double>(j - centre) / centre;
            const double x = filter_response::pi * static_cast<double>(fc) * (j - centre);
            const double window = BesselI0(steep_filter::beta * std::sqrt(1.0 - t * t)) /
                                  BesselI0(steep_filter::beta);
            exact[static_cast<std::size_t>(j)] = window * (j == centre ? 1.0 : std::sin(x) / x);
            sum += exact[static_cast<std::size_t>(j)];
        }
        for (std::size_t j = 0; j < h.size(); ++j) {
            EXPECT_NEAR(h[j], exact[j] / sum, 1e-15) << j;
        }

        const filter_response::Response r = filter_response::ResponseOf(h);
        double stopband = -400.0;
        for (std::size_t k = 0; k < r.db.size(); ++k) {
            if (r.Frequency(k) >= c.stop) {
                stopband = std::max(stopband, r.db[k]);
            }
        }
        EXPECT_LT(stopband, -150.0);
    }
}

// Every stage of the steep plans of common conversions, as stored in its
// branch table: flat to its pass edge and at least 150 dB down from its stop
// edge to half its interpolated rate. The designed filter of the same stages
// is nowhere near that, so the test also tells which family was built.
TEST(SteepFilter, StoredStagesStopBeyondTheirStopEdges) {
    const int pairs[][2] = {{44100, 48000}, {48000, 44100}, {96000, 44100},
                            {44100, 96000}, {44100, 88200}, {192000, 44100}};
    for (const auto& pair : pairs) {
        const auto plan = ResamplePlan::For(pair[0], pair[1], FilterSetting::Steep);
        ASSERT_EQ(plan->Setting(), FilterSetting::Steep);
        for (const ResamplePlan::Stage& stage : plan->Stages()) {
            SCOPED_TRACE(testing::Message() << pair[0] << " -> " << pair[1] << ", stage "
                                            << stage.up << "/" << stage.down);
            EXPECT_EQ(stage.window, FilterWindow::Kaiser);
            const std::vector<double> h = PolyphaseBranchCache::For(stage.Design())->Filter();
            ASSERT_EQ(h.size(), static_cast<std::size_t>(stage.length));
            const filter_response::Response r = filter_response::ResponseOf(h);
            double ripple = 0.0;
            double stopband = -400.0;
            for (std::size_t k = 0; k < r.db.size(); ++k) {
                const double f = r.Frequency(k);
                if (f <= stage.pass) {
                    ripple = std::max(ripple, std::abs(r.db[k]));
                } else if (f >= stage.stop) {
                    stopband = std::max(stopband, r.db[k]);
                }
            }
            EXPECT_LT(ripple, 1e-5);
            EXPECT_LT(stopband, -150.0);
            // The cutoff sits in the middle of the transition, where a
            // windowed sinc is down 6 dB.
            const std::size_t mid = static_cast<std::size_t>(
                std::lround(0.5 * (stage.pass + stage.stop) * static_cast<double>(r.size)));
            EXPECT_NEAR(r.db[mid], -6.02, 0.15);
        }
    }
}

TEST(SteepFilter, DesignsOfDifferentFamiliesNeverShareATable) {
    const ResamplePlan steep(4, 3, {4}, {3}, FilterSetting::Steep, 0);
    const ResamplePlan designed(4, 3, {4}, {3});
    const StageFilterDesign a = steep.Stages()[0].Design();
    const StageFilterDesign b = designed.Stages()[0].Design();
    EXPECT_FALSE(a == b);
    EXPECT_NE(PolyphaseBranchCache::For(a), PolyphaseBranchCache::For(b));
    EXPECT_EQ(PolyphaseBranchCache::For(b), PolyphaseBranchCache::For(4, 3));
    EXPECT_EQ(PolyphaseBranchCache::For(a), PolyphaseBranchCache::For(a));
    // The designed stage is the one StageFilter describes.
    const StageFilterShape shape = StageFilter(4, 3);
    EXPECT_EQ(b.length, shape.length);
    EXPECT_EQ(b.cutoff, shape.cutoff);
    EXPECT_EQ(b.window, FilterWindow::Nuttall);
}
