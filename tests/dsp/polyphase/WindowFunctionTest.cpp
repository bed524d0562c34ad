#include "dsp/polyphase/WindowFunction_Nuttall.hpp"

#include <cmath>
#include <gtest/gtest.h>

TEST(WindowFunction_Nuttall, ValuesOfTheLength1024Window) {
    WindowFunction_Nuttall<double, 0> window;
    window.Build(1024);
    ASSERT_EQ(window.values.size(), 1024u);
    // a0 - a1 + a2 - a3 with a0 = 0.36335819.
    EXPECT_NEAR(window.values[0], 0.00013909, 1e-12);
    EXPECT_NEAR(window.values[1023], 0.00013909, 1e-12);
    for (std::size_t i = 0; i < 1024; ++i) {
        EXPECT_NEAR(window.values[i], window.values[1023 - i], 1e-12) << i;
    }
    // Rises to the middle and falls after it.
    for (std::size_t i = 1; i < 512; ++i) {
        ASSERT_GT(window.values[i], window.values[i - 1]) << i;
    }
    // A value computed by hand: i = 256 puts the angles at pi/2 * 1024/1023 etc.
    const double pi = 3.14159265358979323846;
    const double t = 2 * pi * 256 / 1023;
    EXPECT_NEAR(window.values[256],
                0.36335819 - 0.4891775 * std::cos(t) + 0.1365995 * std::cos(2 * t) -
                    0.0106411 * std::cos(3 * t),
                1e-12);
}

TEST(WindowFunction_Nuttall, OddLengthPeaksAtTheSumOfTheConstants) {
    WindowFunction_Nuttall<double, 0> window;
    window.Build(1025);
    EXPECT_NEAR(window.values[512], 0.36335819 + 0.4891775 + 0.1365995 + 0.0106411, 1e-12);
}

TEST(WindowFunction_Nuttall, DegenerateLengthsStayFinite) {
    WindowFunction_Nuttall<double, 0> window;
    window.Build(1);
    ASSERT_EQ(window.values.size(), 1u);
    EXPECT_TRUE(std::isfinite(window.values[0]));
    window.Build(0);
    EXPECT_TRUE(window.values.empty());
    window.Build(-5);
    EXPECT_TRUE(window.values.empty());
}
