#include "dsp/filters/fir/FIR_DirectForm.hpp"

#include "dsp/Noise_shaping.hpp"

#include <gtest/gtest.h>
#include <vector>

namespace {

using dsp::filters::fir::FIR_DirectForm;
namespace ns = dsp::noise_shaping;

// Steps the filter as the requantiser does: Filter, then Push of one error.
template <class Filter>
std::vector<double> Respond(Filter& filter, const std::vector<double>& errors) {
    std::vector<double> out;
    for (double e : errors) {
        out.push_back(filter.Filter());
        filter.Push(e);
    }
    out.push_back(filter.Filter());
    return out;
}

TEST(NoiseShapingTables, SignsAndValues) {
    EXPECT_EQ(0.0, ns::table_0[0]);
    EXPECT_EQ(-2.0, ns::table_1[0]);
    EXPECT_EQ(1.0, ns::table_1[1]);
    EXPECT_EQ((std::array<double, 3>{1.623, -0.982, 0.109}), ns::table_2);
    EXPECT_EQ(
        (std::array<double, 9>{2.412, -3.370, 3.937, -4.174, 3.353, -2.205, 1.281, -0.569, 0.0847}),
        ns::table_3);
}

TEST(FIR_DirectForm, ZeroTableAlwaysGivesZero) {
    FIR_DirectForm<1, double> filter;
    filter.SetCoefficients(ns::table_0.begin(), ns::table_0.end());
    for (double v : Respond(filter, {1.0, -5.0, 1e9, 3.5})) {
        EXPECT_EQ(0.0, v);
    }
}

TEST(FIR_DirectForm, TwoTapTableWeighsThePreviousErrorsAsWritten) {
    FIR_DirectForm<2, double> filter;
    filter.SetCoefficients(ns::table_1.begin(), ns::table_1.end());
    // After pushes of 1.0 then 0.0: -2.0 * 0.0 + 1.0 * 1.0.
    const std::vector<double> out = Respond(filter, {1.0, 0.0});
    EXPECT_EQ(0.0, out[0]);
    EXPECT_EQ(-2.0, out[1]);
    EXPECT_EQ(1.0, out[2]);
}

TEST(FIR_DirectForm, ThreeTapImpulseResponse) {
    FIR_DirectForm<3, double> filter;
    filter.SetCoefficients(ns::table_2.begin(), ns::table_2.end());
    const std::vector<double> out = Respond(filter, {1.0, 0.0, 0.0, 0.0});
    const std::vector<double> expected = {0.0, 1.623, -0.982, 0.109, 0.0};
    EXPECT_EQ(expected, out);
}

TEST(FIR_DirectForm, NineTapsAgainstDirectConvolution) {
    FIR_DirectForm<9, double> filter;
    filter.SetCoefficients(ns::table_3.begin(), ns::table_3.end());
    std::vector<double> errors;
    for (int n = 0; n < 40; ++n) {
        errors.push_back(((n * 37) % 11) - 5.0 + 0.25 * n);
    }
    const std::vector<double> out = Respond(filter, errors);
    for (std::size_t n = 0; n < out.size(); ++n) {
        double expected = 0.0;
        for (std::size_t k = 0; k < 9 && k < n; ++k) {
            expected += ns::table_3[k] * errors[n - 1 - k];
        }
        EXPECT_NEAR(expected, out[n], 1e-12) << "sample " << n;
    }
}

TEST(FIR_DirectForm, StartsClearAfterConstructionCoefficientsAndReset) {
    FIR_DirectForm<3, double> filter;
    EXPECT_EQ(0.0, filter.Filter());
    filter.Push(4.0);
    // Fresh coefficients are all 1.0.
    EXPECT_EQ(4.0, filter.Filter());
    filter.Push(2.0);
    filter.Reset();
    EXPECT_EQ(0.0, filter.Filter());
    filter.Push(1.0);
    filter.SetCoefficients(ns::table_2.begin(), ns::table_2.end());
    EXPECT_EQ(0.0, filter.Filter());
}

TEST(FIR_DirectForm, ShortTableKeepsTheRemainingCoefficients) {
    FIR_DirectForm<3, double> filter;
    const std::vector<double> table = {0.5};
    filter.SetCoefficients(table.begin(), table.end());
    const std::vector<double> out = Respond(filter, {1.0, 0.0, 0.0, 0.0});
    const std::vector<double> expected = {0.0, 0.5, 1.0, 1.0, 0.0};
    EXPECT_EQ(expected, out);
}

} // namespace
