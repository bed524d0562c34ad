// Stage filter shapes and coefficients, and the output conversion.

#include "dsp/polyphase/FilterDesign.hpp"
#include "dsp/polyphase/ResampleScale.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <gtest/gtest.h>
#include <vector>

TEST(PolyphaseDesign, StageLengthsTapsAndCutoffs) {
    struct Row {
        int up, down, length, taps;
    };
    const Row rows[] = {
        {8, 7, 1064, 133},  {4, 3, 1032, 258},  {5, 7, 1050, 210},
        {3, 5, 1035, 345},  {7, 8, 1064, 152},  {2, 1, 1024, 512},
        {1, 2, 1024, 1024}, {97, 89, 1940, 20}, // 97 * 89 > 2 * 1940: rounded to 97 only
        {1, 1, 1024, 1024}, {64, 1, 1280, 20},
    };
    for (const Row& row : rows) {
        const auto shape = StageFilter(row.up, row.down);
        EXPECT_EQ(shape.length, row.length) << row.up << "/" << row.down;
        EXPECT_EQ(shape.length / row.up, row.taps) << row.up << "/" << row.down;
        EXPECT_EQ(shape.cutoff, 0.977f / static_cast<float>(std::max(row.up, row.down)));
    }
    EXPECT_EQ(StageFilter(2, 1).cutoff, 0.4885f);
}

TEST(PolyphaseDesign, CoefficientsMatchAWindowedSincAndSumToOne) {
    const double pi = 3.14159265358979323846;
    struct Case {
        int n;
        float fc;
    };
    const Case cases[] = {
        {1064, 0.977f / 8}, {1024, 0.4885f}, {1035, 0.977f / 5}, {1940, 0.977f / 97}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        std::vector<float> h(static_cast<std::size_t>(c.n));
        DesignFilter(h.data(), c.n, c.fc);

        // Written from the definition: window times sin(x)/x centred on n/2,
        // rounded to float, then scaled by the sum of the rounded values.
        std::vector<float> reference(h.size());
        double sum = 0.0;
        for (std::size_t i = 0; i < h.size(); ++i) {
            const double at = static_cast<double>(i);
            const double t = 2 * pi * at / (c.n - 1);
            const double w = 0.36335819 - 0.4891775 * std::cos(t) + 0.1365995 * std::cos(2 * t) -
                             0.0106411 * std::cos(3 * t);
            const double x = pi * c.fc * (at - c.n / 2);
            reference[i] = static_cast<float>(w * (x == 0 ? 1.0 : std::sin(x) / x));
            sum += reference[i];
        }
        double stored_sum = 0.0;
        for (std::size_t i = 0; i < h.size(); ++i) {
            const float expected = static_cast<float>(reference[i] / sum);
            EXPECT_NEAR(h[i], expected, 2e-7 * std::fabs(expected) + 1e-12) << i;
            stored_sum += h[i];
        }
        EXPECT_NEAR(stored_sum, 1.0, 1e-6);
        // The peak sits at n/2, where the sinc is exactly 1.
        EXPECT_EQ(std::max_element(h.begin(), h.end()) - h.begin(), c.n / 2);
    }
}

TEST(PolyphaseDesign, OutputConversionTruncatesAndSaturates) {
    EXPECT_EQ(resample_scale::ToInteger(32768.0f), INT_MAX); // full scale
    EXPECT_EQ(resample_scale::ToInteger(40000.0f), INT_MAX);
    EXPECT_EQ(resample_scale::ToInteger(-32768.0f), INT_MIN);
    EXPECT_EQ(resample_scale::ToInteger(-40000.0f), -INT_MAX);
    EXPECT_EQ(resample_scale::ToInteger(1.5f / 65536), 1);
    EXPECT_EQ(resample_scale::ToInteger(-1.5f / 65536), -1);
    EXPECT_EQ(resample_scale::ToInteger(0.99f / 65536), 0);
    EXPECT_EQ(resample_scale::ToInteger(-0.99f / 65536), 0);
    EXPECT_EQ(resample_scale::ToInteger(1234.0f / 65536), 1234);
    EXPECT_EQ(resample_scale::ToInteger(std::nanf("")), -INT_MAX);
}
