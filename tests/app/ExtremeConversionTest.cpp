// Extreme but legal requests: many channels, one-frame files, far-apart and
// awkward rates, and headers that claim more than the format can hold.

#include "support/RunProgram.hpp"
#include "support/ScratchFolder.hpp"
#include "support/Signals.hpp"

#include <gtest/gtest.h>

using namespace testsupport;

TEST(ExtremeConversion, ChannelCountsAndOneFrameFiles) {
    for (int channels : {1, 2, 3, 8, 64}) {
        for (std::size_t frames : {std::size_t{1}, std::size_t{777}}) {
            ScratchFolder scratch;
            WavLayout layout;
            layout.channels = channels;
            layout.bits = 24;
            layout.rate = 48000;
            const auto samples =
                testsupport::NoiseSamples(frames * static_cast<std::size_t>(channels), 20,
                                          static_cast<std::uint32_t>(channels));
            WriteFileBytes(scratch / "a.wav", MakeWav(layout, samples));
            const auto run = RunMarrowvale(
                {scratch / "a.wav", "-o", scratch / "out", "-s", "44100", "-b", "16"});
            SCOPED_TRACE(std::to_string(channels) + " channels, " + std::to_string(frames) +
                         " frames");
            ASSERT_EQ(run.exit_status, 0) << run.err;
            const auto wav = ParseWav(ReadFileBytes(scratch / "out/a.wav"));
            EXPECT_EQ(wav.channels, channels);
            EXPECT_EQ(wav.bits, 16);
            EXPECT_EQ(wav.samples.size(),
                      ExactLength(frames, 48000, 44100) * static_cast<std::size_t>(channels));
        }
    }
}

TEST(ExtremeConversion, FarApartAndAwkwardRates) {
    struct Case {
        std::uint32_t from;
        std::uint32_t to;
        std::size_t frames;
    };
    for (const Case& c :
         {Case{8000, 768000, 50}, Case{768000, 8000, 5000}, Case{44100, 44101, 3000},
          Case{768000, 7999, 4000}, Case{1, 2, 3}, Case{7, 768000, 2}}) {
        ScratchFolder scratch;
        WavLayout layout;
        layout.channels = 2;
        layout.rate = c.from;
        const auto samples = testsupport::NoiseSamples(2 * c.frames, 14, c.from);
        WriteFileBytes(scratch / "a.wav", MakeWav(layout, samples));
        const auto run =
            RunMarrowvale({scratch / "a.wav", "-o", scratch / "out", "-s", std::to_string(c.to)});
        SCOPED_TRACE(std::to_string(c.from) + " -> " + std::to_string(c.to));
        ASSERT_EQ(run.exit_status, 0) << run.err;
        const auto wav = ParseWav(ReadFileBytes(scratch / "out/a.wav"));
        EXPECT_EQ(wav.rate, c.to);
        EXPECT_EQ(wav.samples.size(), 2 * ExactLength(c.frames, c.from, c.to));
    }
}

TEST(ExtremeConversion, HeadersClaimingFourGibibytesConvertWhatTheFileHolds) {
    ScratchFolder scratch;
    WavLayout layout;
    // The header claims almost 4 GiB of 16-bit stereo; the file is short.
    // Planned from the claim, the outputs would be RF64 files of more than
    // 4 GiB; planned from what the file holds, they are small plain files.
    layout.data_size_override = 0xFFFFFF00LL;
    WriteFileBytes(scratch / "huge.wav", MakeWav(layout, testsupport::NoiseSamples(1000, 16, 1)));
    auto run = RunMarrowvale({scratch / "huge.wav", "-o", scratch / "s48k", "-s", "48000"});
    EXPECT_EQ(run.exit_status, 0) << run.err;
    auto wav = ParseWav(ReadFileBytes(scratch / "s48k/huge.wav"));
    EXPECT_TRUE(wav.ok);
    EXPECT_EQ(wav.samples.size(), 2 * ExactLength(500, 44100, 48000));
    run = RunMarrowvale({scratch / "huge.wav", "-o", scratch / "b24", "-b", "24"});
    EXPECT_EQ(run.exit_status, 0) << run.err;
    wav = ParseWav(ReadFileBytes(scratch / "b24/huge.wav"));
    EXPECT_TRUE(wav.ok);
    EXPECT_EQ(wav.samples.size(), 1000u);
}

TEST(ExtremeConversion, RequestsBeyondTheMemoryLimitsAreRefusedWithAReason) {
    ScratchFolder scratch;
    WavLayout absurd_rate;
    absurd_rate.rate = 2147483647;
    WriteFileBytes(scratch / "rate.wav", MakeWav(absurd_rate, testsupport::NoiseSamples(4, 16, 1)));
    WavLayout many_channels;
    many_channels.channels = 65535;
    many_channels.rate = 44100;
    WriteFileBytes(scratch / "channels.wav",
                   MakeWav(many_channels, testsupport::NoiseSamples(65535, 16, 1)));

    const auto run = RunMarrowvale(
        {scratch / "rate.wav", scratch / "channels.wav", "-o", scratch / "out", "-s", "48000"});
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_NE(run.err.find("\"" + (scratch / "rate.wav") + "\": cannot resample 2147483647 Hz"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("\"" + (scratch / "channels.wav") + "\": resampling 65535 channels"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(scratch.List("out"), std::vector<std::string>{});

    // The same channels kept at their rate convert: only the resampler needs
    // memory per channel.
    const auto kept = RunMarrowvale({scratch / "channels.wav", "-o", scratch / "out", "-b", "24"});
    EXPECT_EQ(kept.exit_status, 0) << kept.err;
    const auto wav = ParseWav(ReadFileBytes(scratch / "out/channels.wav"));
    EXPECT_EQ(wav.channels, 65535);
    EXPECT_EQ(wav.samples.size(), 65535u);
}
