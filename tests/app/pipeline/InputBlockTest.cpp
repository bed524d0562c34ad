#include "app/pipeline/InputBlock.hpp"

#include "audio/riffwave/WaveFile_type.hpp"
#include "support/ScratchFolder.hpp"
#include "support/Signals.hpp"

#include <gtest/gtest.h>

using audio::riffwave::WaveFile_type;
using marrowvale::InputBlock;
using namespace testsupport;

namespace {

// Channel c of the block's frames, read through DecodeChannel into a buffer
// whose slots past the frames must stay untouched.
Samples Decoded(const InputBlock& block, unsigned c, std::size_t capacity) {
    Samples out(capacity + 2, 99);
    block.DecodeChannel(c, 0, block.Frames(), out.data());
    for (std::size_t i = block.Frames(); i < out.size(); ++i) {
        EXPECT_EQ(out[i], 99) << "slot " << i << " past the frames was written";
    }
    out.resize(block.Frames());
    return out;
}

} // namespace

TEST(InputBlock, ReadsWholeFramesOfTheDataBodyOnly) {
    // 5.5 stereo frames in the body, then a chunk whose bytes would decode
    // as further samples if the reads went on past the body.
    ScratchFolder scratch;
    const Samples samples = NoiseSamples(11, 16, 1);
    WavLayout layout;
    layout.chunks_after_data = WaveBytes().Chunk("LIST", Bytes(40, 0x11)).Get();
    WriteFileBytes(scratch / "in.wav", MakeWav(layout, samples));
    WaveFile_type file;
    ASSERT_TRUE(file.OpenRead(scratch / "in.wav"));

    const Samples left = ChannelOf(samples, 2, 0);
    const Samples right = ChannelOf(samples, 2, 1);
    InputBlock block(4, file.FrameBytes(), 2);
    block.Read(file);
    EXPECT_EQ(block.Frames(), 4u);
    EXPECT_TRUE(block.Full());
    EXPECT_EQ(Decoded(block, 0, 4), Slice(left, 0, 4));
    EXPECT_EQ(Decoded(block, 1, 4), Slice(right, 0, 4));
    // A range of the frames: 1 and 2 of the right channel.
    Samples middle(3, 99);
    block.DecodeChannel(1, 1, 2, middle.data());
    EXPECT_EQ(middle, (Samples{right[1], right[2], 99}));

    block.Read(file);
    EXPECT_EQ(block.Frames(), 1u);
    EXPECT_FALSE(block.Full());
    EXPECT_EQ(Decoded(block, 0, 4), Slice(left, 4, 1));
    EXPECT_EQ(Decoded(block, 1, 4), Slice(right, 4, 1));

    block.Read(file);
    EXPECT_EQ(block.Frames(), 0u);
    EXPECT_FALSE(block.Full());
}

TEST(InputBlock, CutFileDropsThePartialTrailingFrameAtEveryWidth) {
    // The header promises far more than the file holds, and the file ends one
    // byte short of an eighth frame. Every width decodes to the values
    // encoded.
    for (const int bits : {8, 16, 24, 32}) {
        for (const int channels : {1, 2, 3}) {
            SCOPED_TRACE(testing::Message() << bits << " bits, " << channels << " channels");
            ScratchFolder scratch;
            const auto count = static_cast<std::size_t>(channels);
            const unsigned width = static_cast<unsigned>(bits / 8);
            const Samples samples =
                NoiseSamples(7 * count, bits, static_cast<std::uint32_t>(bits + channels));
            WavLayout layout;
            layout.channels = channels;
            layout.bits = bits;
            layout.data_size_override = 100000;
            Bytes file_bytes = MakeWav(layout, samples);
            file_bytes.insert(file_bytes.end(), count * width - 1, 0x5A);
            WriteFileBytes(scratch / "in.wav", file_bytes);
            WaveFile_type file;
            ASSERT_TRUE(file.OpenRead(scratch / "in.wav"));

            InputBlock block(5, file.FrameBytes(), width);
            std::vector<Samples> read(count);
            std::vector<std::size_t> sizes;
            for (block.Read(file); block.Frames() != 0; block.Read(file)) {
                sizes.push_back(block.Frames());
                for (unsigned c = 0; c < count; ++c) {
                    const Samples part = Decoded(block, c, 5);
                    read[c].insert(read[c].end(), part.begin(), part.end());
                }
            }
            EXPECT_EQ(sizes, (std::vector<std::size_t>{5, 2}));
            for (unsigned c = 0; c < count; ++c) {
                EXPECT_EQ(read[c], ChannelOf(samples, count, c)) << "channel " << c;
            }
        }
    }
}
