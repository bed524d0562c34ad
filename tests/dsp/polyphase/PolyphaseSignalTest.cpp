// Converted tones scored against the ideal tone at the new rate: a wrong
// filter, a misaligned stream or a lost latency shows as noise, distortion
// or a phase error.

#include "dsp/polyphase/PolyphaseResample.hpp"
#include "support/ResamplerDrive.hpp"
#include "support/Signals.hpp"

#include <cmath>
#include <gtest/gtest.h>

using testsupport::ExactLength;
using testsupport::FitSine;
using testsupport::Resample;
using testsupport::Sine;

namespace {

struct ToneCase {
    int input_rate;
    int output_rate;
};

// The delay the whole-sample latency removal leaves: each stage's sinc
// peaks at index n/2 (integer division) at its interpolated rate, and the
// resampler drops the first Skip() outputs.
double ExpectedResidual(const PolyphaseResample& r) {
    double delay = 0.0;
    for (const ResamplePlan::Stage& stage : r.Plan().Stages()) {
        delay = (delay * stage.up + static_cast<double>(stage.length / 2)) / stage.down;
    }
    return delay - static_cast<double>(r.Skip());
}

void CheckTone(const ToneCase& c, int bits, double min_sinad_db) {
    SCOPED_TRACE(testing::Message()
                 << c.input_rate << " -> " << c.output_rate << ", " << bits << "-bit");
    const double full_scale = std::ldexp(1.0, bits - 1);
    const double amplitude = full_scale * std::pow(10.0, -1.0 / 20.0);
    const std::size_t length = 4096;
    const std::vector<int> input = Sine(length, 1000.0, c.input_rate, amplitude);

    PolyphaseResample resampler(c.input_rate, c.output_rate);
    const double residual = ExpectedResidual(resampler);
    const std::vector<int> output = Resample(resampler, input, 10240, 10240);
    ASSERT_EQ(output.size(), ExactLength(length, static_cast<std::uint64_t>(c.input_rate),
                                         static_cast<std::uint64_t>(c.output_rate)));

    // Away from the edges, where the filters see zeros before and after.
    const std::size_t margin = output.size() / 8;
    const auto fit = FitSine(output, 1000.0, c.output_rate, margin, output.size() - margin);
    EXPECT_GE(fit.sinad_db, min_sinad_db);
    EXPECT_NEAR(fit.amplitude, amplitude, amplitude * 1e-3);
    EXPECT_GT(fit.delay, -0.01);
    EXPECT_LT(fit.delay, 1.0);
    EXPECT_NEAR(fit.delay, residual, 0.02);
}

const ToneCase tone_cases[] = {{44100, 48000}, {48000, 44100}, {96000, 44100}, {22050, 44100}};

} // namespace

TEST(PolyphaseSignal, SineKeepsItsShapeAt16Bits) {
    for (const ToneCase& c : tone_cases) {
        CheckTone(c, 16, 90.0);
    }
}

TEST(PolyphaseSignal, SineKeepsItsShapeAt24Bits) {
    for (const ToneCase& c : tone_cases) {
        CheckTone(c, 24, 130.0);
    }
}

TEST(PolyphaseSignal, ToneAboveTheNewNyquistIsRemoved) {
    // 24 kHz at 96 kHz has no place below 22.05 kHz; whatever folds back is
    // leakage through the stop band.
    const double full_scale = std::ldexp(1.0, 23);
    const std::vector<int> input = Sine(8192, 24000.0, 96000, full_scale * 0.999);
    const std::vector<int> output = Resample(96000, 44100, input);
    const std::size_t margin = output.size() / 8;
    double power = 0;
    for (std::size_t i = margin; i < output.size() - margin; ++i) {
        power += double(output[i]) * output[i];
    }
    power /= double(output.size() - 2 * margin);
    const double level_db = 10.0 * std::log10(power / (full_scale * full_scale / 2));
    EXPECT_LE(level_db, -100.0);
}
