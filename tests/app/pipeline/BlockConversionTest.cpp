// The block pipeline as a conversion runs it, with the rounds Task_Convert
// shapes for the file and its threads.

#include "app/Task_convert.hpp"
#include "support/ResamplerDrive.hpp"
#include "support/ScratchFolder.hpp"
#include "support/Signals.hpp"
#include "support/TaskProbes.hpp"

#include <gtest/gtest.h>

using marrowvale::ConversionOutcome;
using marrowvale::ConversionSettings;
using marrowvale::Task_Convert;
using namespace testsupport;

namespace {

struct Conversion {
    ConversionOutcome outcome = ConversionOutcome::Skipped;
    std::string failure;
    std::uint64_t planned_frames = 0;
};

// Converts `input` into `folder` with dither off, so that runs are
// comparable byte for byte.
Conversion Convert(const std::string& input, const std::string& folder, ConversionSettings settings,
                   std::size_t threads, RecordingProgress& progress, task::ITaskStatus& status) {
    settings.output_folder = folder;
    settings.dither_type = 0;
    Task_Convert task;
    task.Setup(settings, input);
    task.SetThreadCount(threads);
    Conversion conversion;
    conversion.failure = task.RefusalReason();
    conversion.planned_frames = task.Plan().output_frames;
    task.Run(progress, status);
    conversion.outcome = task.Outcome();
    if (conversion.failure.empty()) {
        conversion.failure = task.FailureReason();
    }
    return conversion;
}

Conversion Convert(const std::string& input, const std::string& folder,
                   const ConversionSettings& settings, std::size_t threads) {
    RecordingProgress progress;
    StopAtPoll never;
    const Conversion conversion = Convert(input, folder, settings, threads, progress, never);
    EXPECT_EQ(progress.position, progress.total) << "unfinished";
    return conversion;
}

} // namespace

TEST(BlockConversion, ThreadsGiveTheBytesOfOneThread) {
    // One channel of 24 bits to 16 with noise shaping, at a three-stage
    // ratio: two rounds of 65268 frames and a part on one thread, and one
    // round cut into two or three primed pieces on more.
    ScratchFolder scratch;
    const std::size_t frames = 70000;
    WavLayout layout;
    layout.channels = 1;
    layout.bits = 24;
    WriteFileBytes(scratch / "a.wav", MakeWav(layout, NoiseSamples(frames, 23, 5)));
    ConversionSettings settings;
    settings.new_sampling_rate = 48000;
    settings.new_bit_depth = 16;
    settings.container_bits = 16;
    settings.noise_shaping = 3;

    const Conversion one = Convert(scratch / "a.wav", scratch / "one", settings, 1);
    ASSERT_EQ(one.outcome, ConversionOutcome::Converted) << one.failure;
    const std::uint64_t expected_frames = ExactLength(frames, 44100, 48000);
    EXPECT_EQ(one.planned_frames, expected_frames);
    const Bytes bytes = ReadFileBytes(scratch / "one/a.wav");
    const ParsedWav out = ParseWav(bytes);
    EXPECT_EQ(out.bits, 16);
    EXPECT_EQ(out.samples.size(), expected_frames);
    for (const std::size_t threads : {2u, 3u}) {
        const std::string folder = scratch / ("threads" + std::to_string(threads));
        const Conversion threaded = Convert(scratch / "a.wav", folder, settings, threads);
        ASSERT_EQ(threaded.outcome, ConversionOutcome::Converted) << threaded.failure;
        EXPECT_EQ(ReadFileBytes(folder + "/a.wav"), bytes) << threads << " threads";
    }
}

TEST(BlockConversion, LargeUpsamplingKeepsExactLengthAndSignal) {
    // 8000 -> 192000 Hz in stereo on three threads: 6000 frames make 144000.
    ScratchFolder scratch;
    const std::size_t frames = 6000;
    const ToneAndNoise input = ToneAndNoiseWav(frames, 8);
    WriteFileBytes(scratch / "a.wav", input.wav);
    ConversionSettings settings;
    settings.new_sampling_rate = 192000;

    RecordingProgress progress;
    StopAtPoll never;
    const Conversion conversion =
        Convert(scratch / "a.wav", scratch / "out", settings, 3, progress, never);
    ASSERT_EQ(conversion.outcome, ConversionOutcome::Converted) << conversion.failure;
    const std::uint64_t expected_frames = ExactLength(frames, 8000, 192000);
    EXPECT_EQ(conversion.planned_frames, expected_frames);
    EXPECT_EQ(progress.total, static_cast<int>(2 * expected_frames));
    EXPECT_EQ(progress.position, progress.total);

    const ParsedWav out = ParseWav(ReadFileBytes(scratch / "out/a.wav"));
    EXPECT_EQ(out.rate, 192000u);
    ASSERT_EQ(out.samples.size(), 2 * expected_frames);
    // 16 bits stay 16 bits: each channel is the plain resampler's output,
    // clipped to the width.
    const Samples left = ChannelOf(out.samples, 2, 0);
    EXPECT_EQ(left, Clip(Resample(8000, 192000, input.tone), 16));
    EXPECT_EQ(ChannelOf(out.samples, 2, 1), Clip(Resample(8000, 192000, input.noise), 16));
    const std::size_t margin = static_cast<std::size_t>(expected_frames / 8);
    const SineFit fit = FitSine(left, 1000.0, 192000.0, margin, left.size() - margin);
    EXPECT_GT(fit.sinad_db, 88.0);
    EXPECT_NEAR(fit.amplitude, 16000.0, 16.0);
}

TEST(BlockConversion, StopAfterTheLastReadLeavesNoOutputAndNoTemporaryFile) {
    // 66000 frames at 44100 -> 48000 Hz on one thread: a round of 65268
    // frames, then the status is asked, with the last round (and the tail it
    // delivers) read but not yet converted.
    ScratchFolder scratch;
    const std::size_t frames = 66000;
    WavLayout layout;
    layout.channels = 1;
    WriteFileBytes(scratch / "a.wav", MakeWav(layout, NoiseSamples(frames, 16, 6)));
    ConversionSettings settings;
    settings.new_sampling_rate = 48000;
    const int total = static_cast<int>(ExactLength(frames, 44100, 48000));

    {
        RecordingProgress progress;
        StopAtPoll never;
        const Conversion whole =
            Convert(scratch / "a.wav", scratch / "whole", settings, 1, progress, never);
        ASSERT_EQ(whole.outcome, ConversionOutcome::Converted) << whole.failure;
        EXPECT_EQ(progress.position, total);
        EXPECT_EQ(scratch.List("whole"), std::vector<std::string>{"a.wav"});
        ASSERT_GE(never.polls, 1u) << "the input should take more than one round";
    }
    for (const bool file_in_place : {false, true}) {
        SCOPED_TRACE(file_in_place ? "a file in place" : "no file in place");
        if (file_in_place) {
            WriteFileBytes(scratch / "out/a.wav", TextBytes("precious"));
        }
        RecordingProgress progress;
        StopAtPoll last_poll(1);
        const Conversion stopped =
            Convert(scratch / "a.wav", scratch / "out", settings, 1, progress, last_poll);
        EXPECT_EQ(stopped.outcome, ConversionOutcome::Interrupted) << stopped.failure;
        EXPECT_NE(stopped.failure.find("interrupted"), std::string::npos) << stopped.failure;
        EXPECT_EQ(last_poll.polls, 1u);
        EXPECT_EQ(progress.total, total);
        EXPECT_LT(progress.position, total);
        if (file_in_place) {
            EXPECT_EQ(scratch.List("out"), std::vector<std::string>{"a.wav"});
            EXPECT_EQ(ReadFileBytes(scratch / "out/a.wav"), TextBytes("precious"));
        } else {
            EXPECT_EQ(scratch.List("out"), std::vector<std::string>{});
        }
    }
}
