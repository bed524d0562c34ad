// Float files through the program: float stays float and keeps every value,
// float to integer rounds and clips like integers do, integer to float is
// exact, and bad values are named.

#include "support/FloatWave.hpp"
#include "support/RunProgram.hpp"
#include "support/ScratchFolder.hpp"
#include "support/Signals.hpp"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace testsupport;

namespace {

struct FloatRun {
    ProgramResult run;
    Bytes file;
};

FloatRun Convert(const ScratchFolder& scratch, const Bytes& input,
                 std::vector<std::string> options) {
    WriteFileBytes(scratch / "in.wav", input);
    std::vector<std::string> arguments{scratch / "in.wav", "-o", scratch / "out"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    FloatRun result;
    result.run = RunMarrowvale(arguments);
    result.file = ReadFileBytes(scratch / "out/in.wav");
    return result;
}

// The data of a float output, which must be tag 3 (or the extensible form
// with the float sub-format), 32 bits, with a "fact" chunk that counts its
// frames and sizes that add up.
Values FloatOutput(const Bytes& file, int channels, bool extensible = false) {
    EXPECT_EQ(ChunkIds(file), (std::vector<std::string>{"fmt ", "fact", "data"}));
    const Bytes format = ChunkBody(file, "fmt ");
    EXPECT_EQ(format.size(), extensible ? 40u : 18u);
    EXPECT_EQ(format.at(extensible ? 24 : 0) | format.at(extensible ? 25 : 1) << 8,
              3); // IEEE float
    EXPECT_EQ(format.at(14) | format.at(15) << 8, 32);
    const Bytes data = ChunkBody(file, "data");
    EXPECT_EQ(Get32(ChunkBody(file, "fact"), 0),
              data.size() / 4 / static_cast<std::size_t>(channels));
    EXPECT_EQ(Get32(file, 4), file.size() - 8);
    return DecodeFloats(data, 4);
}

// A float turned into a 16-bit step count: rounded half away from zero,
// clipped to the width.
std::int32_t ToSixteen(double x) {
    const double r = x * 32768.0;
    const double rounded = r >= 0 ? std::floor(r + 0.5) : std::ceil(r - 0.5);
    return static_cast<std::int32_t>(std::clamp(rounded, -32768.0, 32767.0));
}

const Values awkward = {0.0,   -0.0, 1.0,        -1.0, 0.5,     1.5,      -2.0,
                        1e-30, 0.25, 0.99999994, -1.0, 1.0 / 3, -0.70001, 3.0e-8};

} // namespace

TEST(FloatConversion, FloatStaysFloatWithEveryValue) {
    ScratchFolder scratch;
    // Stereo 32-bit float at its own rate: each value comes back as it was,
    // beyond full scale too.
    FloatRun same = Convert(scratch, MakeFloatWav(2, 48000, 32, awkward), {"-s", "0"});
    ASSERT_EQ(same.run.exit_status, 0) << same.run.err;
    Values expected;
    for (const double x : awkward) {
        expected.push_back(static_cast<float>(x));
    }
    EXPECT_EQ(FloatOutput(same.file, 2), expected);
    EXPECT_NE(same.run.out.find("RIFF WAV format     = 3\nNumber of Channels  = 2"),
              std::string::npos);
    EXPECT_NE(same.run.out.find("Bits per Sample     = 32"), std::string::npos);

    // 64-bit float becomes 32-bit float, each value rounded once.
    FloatRun wide = Convert(scratch, MakeFloatWav(1, 48000, 64, awkward), {"-s", "48000"});
    ASSERT_EQ(wide.run.exit_status, 0) << wide.run.err;
    EXPECT_EQ(FloatOutput(wide.file, 1), expected);

    // The extensible form with the float sub-format reads the same, and
    // keeps its form.
    FloatRun extensible =
        Convert(scratch, MakeFloatWav(2, 48000, 32, awkward, true), {"-s", "48000"});
    ASSERT_EQ(extensible.run.exit_status, 0) << extensible.run.err;
    EXPECT_EQ(FloatOutput(extensible.file, 2, true), expected);
}

TEST(FloatConversion, FloatToIntegerRoundsClipsAndCounts) {
    ScratchFolder scratch;
    FloatRun run = Convert(scratch, MakeFloatWav(1, 44100, 32, awkward), {"-b", "16", "-t", "0"});
    ASSERT_EQ(run.run.exit_status, 0) << run.run.err;
    const ParsedWav out = ParseWav(run.file);
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(out.format_tag, 1);
    EXPECT_EQ(out.bits, 16);
    Samples expected;
    for (const double x : awkward) {
        expected.push_back(ToSixteen(static_cast<float>(x)));
    }
    EXPECT_EQ(out.samples, expected);
    // 1.0 (32768 steps), 0.99999994 (which rounds to 32768), 1.5 and -2.0
    // lie beyond 16 bits.
    EXPECT_NE(run.run.err.find("4 samples were clipped"), std::string::npos) << run.run.err;
}

TEST(FloatConversion, IntegerToFloatIsExactAndIgnoredOptionsAreNamed) {
    ScratchFolder scratch;
    const Samples samples = NoiseSamples(999, 16, 4);
    WavLayout layout;
    layout.channels = 1;
    FloatRun run = Convert(scratch, MakeWav(layout, samples), {"--float", "-b", "8", "-t", "2"});
    ASSERT_EQ(run.run.exit_status, 0) << run.run.err;
    const Values out = FloatOutput(run.file, 1);
    ASSERT_EQ(out.size(), samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        ASSERT_EQ(out[i], samples[i] / 32768.0) << i;
    }
    EXPECT_NE(run.run.err.find("--float writes 32-bit float samples; -b, -t have no effect"),
              std::string::npos)
        << run.run.err;
}

TEST(FloatConversion, NotANumberBecomesZeroAndIsCounted) {
    ScratchFolder scratch;
    Values values = awkward;
    values[2] = std::numeric_limits<double>::quiet_NaN();
    values[5] = std::numeric_limits<double>::infinity();
    values[6] = -std::numeric_limits<double>::infinity();
    FloatRun run = Convert(scratch, MakeFloatWav(1, 48000, 32, values), {"-s", "44100"});
    ASSERT_EQ(run.run.exit_status, 0) << run.run.err;
    EXPECT_NE(run.run.err.find("3 samples were not numbers (NaN or infinite) and became 0"),
              std::string::npos)
        << run.run.err;
    for (const double x : FloatOutput(run.file, 1)) {
        ASSERT_TRUE(std::isfinite(x));
    }
}

TEST(FloatConversion, ResampledFloatKeepsTheToneCleanAndFullScale) {
    // A -1 dBFS tone, 44.1 -> 48 kHz: float to float is as clean as the
    // filters allow and keeps the level; float to 24 bits too.
    ScratchFolder scratch;
    const std::size_t frames = 22050;
    const double amplitude = std::pow(10.0, -1.0 / 20.0);
    Values tone(frames);
    for (std::size_t n = 0; n < frames; ++n) {
        tone[n] = amplitude * std::sin(2.0 * 3.14159265358979323846 * 1000.0 *
                                       static_cast<double>(n) / 44100.0);
    }
    FloatRun run = Convert(scratch, MakeFloatWav(1, 44100, 32, tone), {"-s", "48000"});
    ASSERT_EQ(run.run.exit_status, 0) << run.run.err;
    const Values out = FloatOutput(run.file, 1);
    ASSERT_EQ(out.size(), ExactLength(frames, 44100, 48000));
    const SineFit fit = FitSine(out, 1000.0, 48000.0, out.size() / 8, out.size() * 7 / 8);
    EXPECT_GT(fit.sinad_db, 128.0);
    EXPECT_NEAR(fit.amplitude, amplitude, amplitude * 1e-3);

    FloatRun integer =
        Convert(scratch, MakeFloatWav(1, 44100, 32, tone), {"-s", "48000", "-b", "24"});
    ASSERT_EQ(integer.run.exit_status, 0) << integer.run.err;
    const Samples samples = ParseWav(integer.file).samples;
    const SineFit fit24 =
        FitSine(samples, 1000.0, 48000.0, samples.size() / 8, samples.size() * 7 / 8);
    EXPECT_GT(fit24.sinad_db, 128.0);
    EXPECT_NEAR(fit24.amplitude, amplitude * 8388608.0, amplitude * 8388608.0 * 1e-3);
}

TEST(FloatConversion, OtherFloatWidthsAreSkippedWithTheReason) {
    ScratchFolder scratch;
    WavLayout layout;
    layout.format_tag = 3;
    layout.bits = 16;
    FloatRun run = Convert(scratch, MakeWav(layout, NoiseSamples(20, 16, 1)), {"--float"});
    EXPECT_EQ(run.run.exit_status, 1);
    EXPECT_NE(
        run.run.err.find("float samples of 16 bits cannot be converted (32 or 64 can); skipped"),
        std::string::npos)
        << run.run.err;
    EXPECT_TRUE(run.file.empty());
}
