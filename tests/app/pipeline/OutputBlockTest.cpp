#include "app/pipeline/OutputBlock.hpp"

#include "audio/riffwave/WaveFile_type.hpp"
#include "support/NearLimitWriter.hpp"
#include "support/ScratchFolder.hpp"
#include "support/Signals.hpp"
#include "support/TaskProbes.hpp"

#include <gtest/gtest.h>

using audio::riffwave::WaveFile_type;
using marrowvale::OutputBlock;
using namespace testsupport;

TEST(OutputBlock, WritesAgreedFramesInterleavedAndEmptiesItself) {
    ScratchFolder scratch;
    const std::vector<Samples> channels = {NoiseSamples(10, 24, 1), NoiseSamples(10, 24, 2),
                                           NoiseSamples(10, 24, 3)};
    WaveFile_type file;
    ASSERT_TRUE(file.OpenWrite(scratch / "out.wav", 3, 48000, 24));
    RecordingProgress progress;
    std::string failure;
    OutputBlock block(6, 3, 3);
    EXPECT_EQ(block.Capacity(), 6u);

    // The channels deliver in any order; the frames count once all agree.
    for (const unsigned c : {2u, 0u, 1u}) {
        EXPECT_EQ(block.Frames(), 0u) << "before channel " << c;
        block.Put(c, channels[c].data(), 4);
    }
    EXPECT_EQ(block.Frames(), 4u);
    ASSERT_TRUE(block.Write(file, progress, failure)) << failure;
    EXPECT_EQ(progress.position, 12); // one unit a sample
    EXPECT_EQ(block.Frames(), 0u);
    // An emptied block writes and reports nothing.
    ASSERT_TRUE(block.Write(file, progress, failure)) << failure;
    EXPECT_EQ(progress.position, 12);

    // More than the capacity is cut to it.
    for (unsigned c = 0; c < 3; ++c) {
        block.Put(c, channels[c].data() + 4, 10);
    }
    EXPECT_EQ(block.Frames(), 6u);
    ASSERT_TRUE(block.Write(file, progress, failure)) << failure;
    EXPECT_EQ(progress.position, 30);
    file.Close();
    ASSERT_FALSE(file.Failed());

    std::vector<Samples> expected;
    for (const Samples& channel : channels) {
        expected.push_back(Slice(channel, 0, 10));
    }
    const ParsedWav written = ParseWav(ReadFileBytes(scratch / "out.wav"));
    ASSERT_TRUE(written.ok);
    EXPECT_EQ(written.samples, Interleave(expected));
    EXPECT_TRUE(failure.empty());
}

TEST(OutputBlock, ChannelsOutOfStepFailWithAReasonAndWriteNothing) {
    ScratchFolder scratch;
    const Samples samples = NoiseSamples(8, 16, 4);
    WaveFile_type file;
    ASSERT_TRUE(file.OpenWrite(scratch / "out.wav", 2, 44100, 16));
    RecordingProgress progress;
    {
        OutputBlock block(8, 2, 2);
        block.Put(0, samples.data(), 5);
        block.Put(1, samples.data(), 3);
        EXPECT_EQ(block.Frames(), 0u);
        std::string failure;
        EXPECT_FALSE(block.Write(file, progress, failure));
        EXPECT_FALSE(failure.empty());
    }
    {
        // One channel delivered, the other not at all.
        OutputBlock block(8, 2, 2);
        block.Put(1, samples.data(), 8);
        EXPECT_EQ(block.Frames(), 0u);
        std::string failure;
        EXPECT_FALSE(block.Write(file, progress, failure));
        EXPECT_FALSE(failure.empty());
    }
    EXPECT_EQ(file.DataSize(), 0u);
    EXPECT_EQ(progress.position, 0);
    file.Close();
    EXPECT_EQ(ReadFileBytes(scratch / "out.wav").size(), WaveFile_type::kHeaderSize);
}

TEST(OutputBlock, FileThatRefusesTheFramesFailsWithAReason) {
    ScratchFolder scratch;
    NearLimitWriter file;
    ASSERT_TRUE(file.OpenWrite(scratch / "out.wav", 1, 8000, 16));
    file.SetDataSizeForTesting(WaveFile_type::kMaxDataSize - 2); // room for one sample
    const Samples samples = {1, 2};
    RecordingProgress progress;
    std::string failure;
    OutputBlock block(4, 1, 2);
    block.Put(0, samples.data(), 2);
    EXPECT_FALSE(block.Write(file, progress, failure));
    EXPECT_NE(failure.find("failed"), std::string::npos) << failure;
    EXPECT_EQ(progress.position, 0);
}
