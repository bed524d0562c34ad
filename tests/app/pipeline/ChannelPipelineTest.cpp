// The block pipeline driven directly, with rounds far shorter than a
// conversion uses and cut into pieces by hand, so that short signals cross
// many round and piece boundaries.

#include "app/pipeline/ChannelPipeline.hpp"

#include "app/ConversionPlan.hpp"
#include "app/ConversionSettings.hpp"
#include "audio/riffwave/WaveFile_type.hpp"
#include "dsp/polyphase/ResamplePlan.hpp"
#include "support/ResamplerDrive.hpp"
#include "support/ScratchFolder.hpp"
#include "support/Signals.hpp"
#include "support/TaskProbes.hpp"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

using audio::riffwave::WaveFile_type;
using marrowvale::ChannelChain;
using marrowvale::ChannelPipeline;
using namespace testsupport;

namespace {

struct Shape {
    int output_rate = 0;
    int output_bits = 16;
    int noise_shaping = 0;
    std::size_t segments = 1;           // pieces a channel's part of a round is cut into
    std::size_t blocks_per_segment = 1; // of the resampler's first stage
    unsigned threads = 1;
};

struct PipelineRun {
    ChannelPipeline::Result result = ChannelPipeline::Result::Failed;
    std::string failure;
    std::size_t round_frames = 0;
    std::size_t polls = 0;
    std::int64_t position = 0; // samples reported as written
    Bytes file;
};

// Converts in.wav of the folder into out.wav through a pipeline of the
// given shape, asking for a stop from poll `stop_at` on (0: never). Dither
// stays off, so that runs are comparable byte for byte.
PipelineRun Convert(const ScratchFolder& scratch, const Shape& shape, std::size_t stop_at = 0) {
    WaveFile_type input;
    EXPECT_TRUE(input.OpenRead(scratch / "in.wav"));
    WaveFile_type output;
    EXPECT_TRUE(output.OpenWrite(scratch / "out.wav", input.Channels(), shape.output_rate,
                                 shape.output_bits));
    const auto plan = ResamplePlan::For(static_cast<int>(input.SampleRate()), shape.output_rate);
    marrowvale::RoundShape round;
    round.segments = shape.segments;
    round.priming_frames = shape.segments > 1 ? plan->PrimingLength() : 0;
    // A piece is never shorter than its priming, which comes from the same
    // round's input. Tied stage plans of a ratio prime differently.
    round.segment_frames =
        std::max(shape.blocks_per_segment * plan->InputBlockLength(), round.priming_frames);
    // Room for a round's output and the tail, with plenty to spare.
    round.output_room =
        static_cast<std::size_t>(2 * ExactLength(round.Frames(), input.SampleRate(),
                                                 static_cast<std::uint64_t>(shape.output_rate)) +
                                 8 * plan->OutputBlockLength());
    marrowvale::ConversionPlan conversion;
    conversion.channels = static_cast<unsigned>(input.Channels());
    conversion.input.bits = input.BitsPerSample();
    conversion.output.bits = shape.output_bits;
    conversion.resampling = plan;
    marrowvale::ConversionSettings settings;
    settings.noise_shaping = shape.noise_shaping;
    std::vector<ChannelChain> chains;
    chains.reserve(conversion.channels);
    for (unsigned c = 0; c < conversion.channels; ++c) {
        chains.emplace_back(c, conversion, settings, round);
    }
    ChannelPipeline pipeline(input, output, chains, conversion, round, shape.threads);
    RecordingProgress progress;
    StopAtPoll status(stop_at);
    PipelineRun run;
    run.result = pipeline.Run(progress, status);
    run.failure = pipeline.FailureReason();
    run.round_frames = round.Frames();
    run.polls = status.polls;
    run.position = progress.position;
    output.Close();
    run.file = ReadFileBytes(scratch / "out.wav");
    return run;
}

} // namespace

TEST(ChannelPipeline, RoundsCutIntoPiecesGiveThePlainResamplersOutput) {
    // 8000 -> 192000 Hz: rounds of three pieces of four blocks of 85 frames
    // (or as long as the priming), each piece after the first primed afresh;
    // 2500 frames make full rounds and a last one that also delivers the
    // tail.
    ScratchFolder scratch;
    const std::size_t frames = 2500;
    const ToneAndNoise input = ToneAndNoiseWav(frames, 7);
    WriteFileBytes(scratch / "in.wav", input.wav);
    // 16 bits stay 16 bits: the plain resampler's output, clipped.
    const Samples expected_left = Clip(Resample(8000, 192000, input.tone), 16);
    const Samples expected_right = Clip(Resample(8000, 192000, input.noise), 16);
    const std::size_t expected_frames = ExactLength(frames, 8000, 192000);
    ASSERT_EQ(expected_left.size(), expected_frames);

    Shape shape;
    shape.output_rate = 192000;
    shape.blocks_per_segment = 4;
    for (const std::size_t segments : {1u, 3u}) {
        SCOPED_TRACE(testing::Message() << segments << " pieces a round");
        shape.segments = segments;
        shape.threads = static_cast<unsigned>(2 * segments);
        const PipelineRun run = Convert(scratch, shape);
        ASSERT_EQ(run.result, ChannelPipeline::Result::Finished) << run.failure;
        const ParsedWav out = ParseWav(run.file);
        ASSERT_EQ(out.samples.size(), 2 * expected_frames);
        EXPECT_EQ(run.position, static_cast<int>(2 * expected_frames));
        const Samples left = ChannelOf(out.samples, 2, 0);
        EXPECT_EQ(left, expected_left);
        EXPECT_EQ(ChannelOf(out.samples, 2, 1), expected_right);

        // And the tone is still the tone, away from the edges.
        const SineFit fit = FitSine(left, 1000.0, 192000.0, expected_frames / 8,
                                    expected_frames - expected_frames / 8);
        EXPECT_GT(fit.sinad_db, 88.0);
        EXPECT_NEAR(fit.amplitude, 16000.0, 16.0);
        EXPECT_LT(std::abs(fit.delay), 1.0);
    }
}

TEST(ChannelPipeline, ThreadsAndPiecesGiveTheBytesOfOneThread) {
    // Three channels of 24 bits to 16 with noise shaping, whose error
    // feedback must run through every channel's samples in order, however
    // the rounds are cut and shared out.
    ScratchFolder scratch;
    WavLayout layout;
    layout.channels = 3;
    layout.bits = 24;
    WriteFileBytes(scratch / "in.wav", MakeWav(layout, NoiseSamples(3 * 9000, 23, 3)));
    Shape shape;
    shape.output_rate = 48000;
    shape.noise_shaping = 3;
    shape.blocks_per_segment = 2;
    const PipelineRun alone = Convert(scratch, shape);
    ASSERT_EQ(alone.result, ChannelPipeline::Result::Finished) << alone.failure;
    EXPECT_EQ(ParseWav(alone.file).samples.size(), 3 * ExactLength(9000, 44100, 48000));
    const struct {
        std::size_t segments;
        unsigned threads;
    } cuts[] = {{1, 2}, {1, 3}, {1, 4}, {2, 3}, {3, 5}};
    for (const auto& cut : cuts) {
        shape.segments = cut.segments;
        shape.threads = cut.threads;
        const PipelineRun threaded = Convert(scratch, shape);
        ASSERT_EQ(threaded.result, ChannelPipeline::Result::Finished) << threaded.failure;
        EXPECT_EQ(threaded.file, alone.file)
            << cut.segments << " pieces a round on " << cut.threads << " threads";
    }
}

TEST(ChannelPipeline, StopIsHeardAfterEveryRoundAndDuringTheTail) {
    // 2500 frames in rounds of two pieces of 340 frames or more: full
    // rounds, each followed by a poll, the last one, then the tail in rounds
    // of its own, polled between them until it is drained. Every stop leaves
    // whole frames that agree with the complete output.
    ScratchFolder scratch;
    const std::size_t frames = 2500;
    WriteFileBytes(scratch / "in.wav",
                   MakeWav(PcmLayout(2, 8000, 16), NoiseSamples(2 * frames, 16, 9)));
    Shape shape;
    shape.output_rate = 192000;
    shape.segments = 2;
    shape.blocks_per_segment = 4;
    shape.threads = 2;
    const PipelineRun whole = Convert(scratch, shape);
    ASSERT_EQ(whole.result, ChannelPipeline::Result::Finished) << whole.failure;
    const Samples complete = ParseWav(whole.file).samples;
    ASSERT_EQ(complete.size(), 2 * ExactLength(frames, 8000, 192000));
    // Every full round of input and at least one round of the tail.
    EXPECT_GE(whole.polls, frames / whole.round_frames + 1);

    std::int64_t written_before = -1;
    for (std::size_t stop_at = 1; stop_at <= whole.polls; ++stop_at) {
        SCOPED_TRACE(testing::Message() << "stop at poll " << stop_at << " of " << whole.polls);
        const PipelineRun stopped = Convert(scratch, shape, stop_at);
        EXPECT_EQ(stopped.result, ChannelPipeline::Result::Stopped) << stopped.failure;
        EXPECT_EQ(stopped.polls, stop_at);
        const Samples part = ParseWav(stopped.file).samples;
        EXPECT_EQ(part.size(), static_cast<std::size_t>(stopped.position));
        EXPECT_EQ(part.size() % 2, 0u);
        EXPECT_GT(stopped.position, written_before);
        ASSERT_LT(part.size(), complete.size());
        EXPECT_TRUE(std::equal(part.begin(), part.end(), complete.begin()));
        written_before = stopped.position;
    }
}
