// --filter: parsed like the other numeric options, and it reaches the
// resampler.

#include "app/CommandLine.hpp"
#include "support/FloatWave.hpp"
#include "support/RunProgram.hpp"
#include "support/ScratchFolder.hpp"
#include "support/Signals.hpp"

#include <algorithm>
#include <boost/program_options/errors.hpp>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

std::int32_t FilterOf(std::vector<std::string> extra) {
    std::vector<std::string> arguments{"-i", "a.wav", "-o", "out", "-s", "44100"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return marrowvale::ParseCommandLine(arguments).settings.filter;
}

} // namespace

TEST(FilterOption, ZeroByDefaultAndOutOfRangeValuesBecomeZeroWithAWarning) {
    EXPECT_EQ(FilterOf({}), 0);
    EXPECT_EQ(FilterOf({"--filter", "0"}), 0);
    EXPECT_EQ(FilterOf({"--filter", "1"}), 1);
    EXPECT_EQ(FilterOf({"--filter=1"}), 1);
    EXPECT_EQ(FilterOf({"--filter", "2"}), 0);
    EXPECT_EQ(FilterOf({"--filter", "4294967295"}), 0);
    // Out of range, it is said on standard error, as for the other options.
    const auto two =
        marrowvale::ParseCommandLine({"-i", "a.wav", "-o", "out", "-s", "44100", "--filter", "2"});
    ASSERT_EQ(two.warnings.size(), 1u);
    EXPECT_NE(two.warnings[0].find("--filter 2"), std::string::npos) << two.warnings[0];
    EXPECT_TRUE(
        marrowvale::ParseCommandLine({"-i", "a.wav", "-o", "out", "-s", "44100", "--filter", "1"})
            .warnings.empty());
    EXPECT_THROW(FilterOf({"--filter", "-1"}), boost::program_options::error);
    EXPECT_THROW(FilterOf({"--filter", "steep"}), boost::program_options::error);
    EXPECT_THROW(FilterOf({"--filter"}), boost::program_options::error);
}

// A 22.6 kHz tone taken from 96 to 44.1 kHz folds to 21.5 kHz. The designed
// filter is only some 60 dB down there; the steep one leaves the 24-bit
// output at its rounding, and both give the same number of frames. Without
// the option, or with --filter 0, the bytes are the designed filter's.
TEST(FilterOption, SteepFilterRemovesWhatTheDesignedOneFoldsBack) {
    testsupport::ScratchFolder scratch;
    const testsupport::WavLayout layout = testsupport::PcmLayout(2, 96000, 24);
    const std::size_t frames = 19200;
    std::vector<std::int32_t> samples;
    for (std::size_t n = 0; n < frames; ++n) {
        const double v =
            0.5 * 8388607.0 *
            std::sin(2.0 * 3.14159265358979 * 22600.0 * static_cast<double>(n) / 96000.0);
        samples.push_back(static_cast<std::int32_t>(std::lround(v)));
        samples.push_back(static_cast<std::int32_t>(std::lround(-v)));
    }
    testsupport::WriteFileBytes(scratch / "tone.wav", testsupport::MakeWav(layout, samples));

    auto convert = [&](const std::string& folder, std::vector<std::string> extra) {
        std::vector<std::string> arguments{scratch / "tone.wav", "-o", scratch / folder, "-s",
                                           "44100"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        const auto result = testsupport::RunMarrowvale(arguments);
        EXPECT_EQ(result.exit_status, 0) << result.err;
        return testsupport::ReadFileBytes(scratch / folder + "/tone.wav");
    };
    const testsupport::Bytes by_default = convert("default", {});
    const testsupport::Bytes designed = convert("designed", {"--filter", "0"});
    const testsupport::Bytes steep = convert("steep", {"--filter", "1"});
    EXPECT_EQ(designed, by_default);

    const testsupport::ParsedWav d = testsupport::ParseWav(designed);
    const testsupport::ParsedWav s = testsupport::ParseWav(steep);
    ASSERT_TRUE(d.ok);
    ASSERT_TRUE(s.ok);
    EXPECT_EQ(s.rate, 44100u);
    EXPECT_EQ(s.bits, 24);
    ASSERT_EQ(s.samples.size(), d.samples.size());
    EXPECT_EQ(s.samples.size(), 2u * 8820u);

    // Away from both ends, where the tone starts and stops abruptly.
    auto largest = [](const std::vector<std::int32_t>& x) {
        std::int32_t top = 0;
        for (std::size_t i = x.size() / 5; i < x.size() * 4 / 5; ++i) {
            top = std::max(top, std::abs(x[i]));
        }
        return top;
    };
    EXPECT_GT(largest(d.samples), 1000); // -60 dB of 2^22 is about 4000
    EXPECT_LE(largest(s.samples), 1);
}

// The steep plan is the same on every run, and a file resampled in pieces by
// several threads, each piece primed with the input before it, comes out as
// from one thread, whatever the kernel: also where long stages run by fast
// convolution, whose parts are placed by the stage's blocks, not by the
// pieces.
TEST(FilterOption, SteepBytesDoNotDependOnThreadsOrKernel) {
    struct Run {
        const char* jobs;
        const char* environment;
    };
    const Run runs[] = {{"1", "MARROWVALE_GENERIC_KERNEL=1; export MARROWVALE_GENERIC_KERNEL;"},
                        {"2", "unset MARROWVALE_GENERIC_KERNEL;"},
                        {"4", "MARROWVALE_KERNEL=avx2; export MARROWVALE_KERNEL;"}};
    for (const auto& [from, to] :
         {std::pair{96000, "44100"}, std::pair{96000, "48000"}, std::pair{44100, "48000"}}) {
        SCOPED_TRACE(testing::Message() << from << " -> " << to);
        testsupport::ScratchFolder scratch;
        const testsupport::WavLayout layout =
            testsupport::PcmLayout(1, static_cast<std::uint32_t>(from), 24);
        testsupport::WriteFileBytes(
            scratch / "a.wav",
            testsupport::MakeWav(layout, testsupport::NoiseSamples(200000, 22, 3)));
        testsupport::Bytes first;
        for (const Run& run : runs) {
            const std::string folder = std::string("j") + run.jobs;
            const auto result =
                testsupport::RunMarrowvale({scratch / "a.wav", "-o", scratch / folder, "-s", to,
                                            "--filter", "1", "-j", run.jobs},
                                           run.environment);
            EXPECT_EQ(result.exit_status, 0) << result.err;
            const testsupport::Bytes bytes =
                testsupport::ReadFileBytes(scratch / (folder + "/a.wav"));
            EXPECT_GT(bytes.size(), 46u);
            if (first.empty()) {
                first = bytes;
            }
            // Compared whole, without printing a megabyte when they differ.
            EXPECT_TRUE(bytes == first) << run.jobs;
        }
    }
}

// With the steep filters a 16-bit input resampled to 24 bits is quantised
// once, at 24 bits: it is the --float output of the same conversion rounded
// to 24-bit steps, within one step (the float output is itself rounded to
// float), and a -6 dBFS sine keeps every harmonic below -125 dB of
// the sine. Truncated at the input's 16 bits on the way, H3 stood at -97 dB.
TEST(FilterOption, SteepIntegerOutputIsTheFloatOutputQuantisedOnce) {
    testsupport::ScratchFolder scratch;
    const testsupport::WavLayout layout = testsupport::PcmLayout(1, 44100, 16);
    const double tone = 997.0;
    // Dithered, so that the input's own rounding leaves no harmonics.
    std::mt19937 random(7);
    testsupport::Samples input(110250);
    for (std::size_t n = 0; n < input.size(); ++n) {
        const double dither = (double(random()) + double(random())) / 4294967296.0 - 1.0;
        input[n] = static_cast<std::int32_t>(std::lround(
            16384.0 * std::sin(2.0 * 3.14159265358979 * tone * double(n) / 44100.0) + dither));
    }
    testsupport::WriteFileBytes(scratch / "sine.wav", testsupport::MakeWav(layout, input));
    auto convert = [&](const std::string& folder, std::vector<std::string> extra) {
        std::vector<std::string> arguments{
            scratch / "sine.wav", "-o", scratch / folder, "-s", "48000", "--filter", "1"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        const auto result = testsupport::RunMarrowvale(arguments);
        EXPECT_EQ(result.exit_status, 0) << result.err;
        return testsupport::ReadFileBytes(scratch / folder + "/sine.wav");
    };
    const testsupport::ParsedWav wide = testsupport::ParseWav(convert("wide", {"-b", "24"}));
    const testsupport::Values floats =
        testsupport::DecodeFloats(testsupport::ChunkBody(convert("float", {"--float"}), "data"), 4);
    ASSERT_EQ(wide.bits, 24);
    ASSERT_EQ(wide.samples.size(), 120000u);
    ASSERT_EQ(floats.size(), wide.samples.size());
    double largest = 0.0;
    for (std::size_t i = 0; i < floats.size(); ++i) {
        largest = std::max(largest, std::abs(wide.samples[i] - floats[i] * 8388608.0));
    }
    EXPECT_LE(largest, 1.0);

    // 96000 samples hold 1994 whole periods: each harmonic is one bin, its
    // amplitude relative to the sine's.
    auto amplitude = [&](int h) {
        double re = 0.0;
        double im = 0.0;
        for (std::size_t n = 0; n < 96000; ++n) {
            const double phase =
                2.0 * 3.14159265358979 * h * tone * static_cast<double>(n) / 48000.0;
            re += wide.samples[12000 + n] * std::cos(phase);
            im += wide.samples[12000 + n] * std::sin(phase);
        }
        return std::hypot(re, im);
    };
    const double sine = amplitude(1);
    for (int h = 2; h < 10; ++h) {
        const double level = amplitude(h) / sine;
        EXPECT_LT(20.0 * std::log10(level + 1e-30), -125.0) << "H" << h;
    }
}
