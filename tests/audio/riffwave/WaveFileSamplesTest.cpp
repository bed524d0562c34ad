#include "audio/riffwave/WaveFile_type.hpp"
#include "support/ScratchFolder.hpp"

#include <gtest/gtest.h>
#include <limits>
#include <random>

using audio::riffwave::WaveFile_type;
using namespace testsupport;

namespace {

class WaveFileSamples : public ::testing::Test {
protected:
    // Reads the data body, bounded by the header's count as callers do (an odd
    // body is followed by a pad byte).
    Samples ReadData(unsigned bits, const Bytes& data) {
        WriteFileBytes(dir / "in.wav", SimpleWave(1, 8000, bits, data));
        WaveFile_type wave;
        EXPECT_TRUE(wave.OpenRead(dir / "in.wav"));
        const auto count = static_cast<unsigned>(wave.TotalSamples());
        Samples samples(count);
        samples.resize(wave.ReadSamples(samples, count));
        return samples;
    }

    Bytes WrittenData(unsigned bits, const Samples& values) {
        {
            WaveFile_type wave;
            EXPECT_TRUE(wave.OpenWrite(dir / "out.wav", 1, 8000, static_cast<int>(bits)));
            wave.WriteSamples(values, static_cast<unsigned>(values.size()));
        }
        // The body as the data chunk's size gives it, before any pad byte.
        const Bytes file = ReadFileBytes(dir / "out.wav");
        const std::size_t size = ParseWav(file).data_size;
        EXPECT_GE(file.size(), 46 + size);
        return Bytes(file.begin() + 46, file.begin() + 46 + static_cast<std::ptrdiff_t>(size));
    }

    ScratchFolder dir;
};

struct WidthCase {
    unsigned bits;
    Bytes bytes;
    Samples values;
};

const WidthCase kWidthCases[] = {
    {8, {0x80, 0x00, 0xFF, 0x7F, 0x81}, {0, -128, 127, -1, 1}},
    {16,
     {0xFF, 0xFF, 0x00, 0x80, 0xFF, 0x7F, 0x00, 0x00, 0x34, 0x12},
     {-1, -32768, 32767, 0, 0x1234}},
    {24,
     {0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x56, 0x34, 0x12},
     {-8388608, 8388607, 0, -1, 0x123456}},
    {32,
     {0x00, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00,
      0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x78, 0x56, 0x34, 0x12},
     {std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(), 0, -1,
      0x12345678}},
};

} // namespace

TEST_F(WaveFileSamples, StoredBytesReadAsValues) {
    for (const auto& c : kWidthCases) {
        EXPECT_EQ(ReadData(c.bits, c.bytes), c.values) << c.bits;
    }
}

TEST_F(WaveFileSamples, ValuesWriteAsStoredBytes) {
    for (const auto& c : kWidthCases) {
        EXPECT_EQ(WrittenData(c.bits, c.values), c.bytes) << c.bits;
    }
}

TEST_F(WaveFileSamples, BitsAboveTheWidthAreDropped) {
    EXPECT_EQ(WrittenData(16, {70000}), (Bytes{0x70, 0x11}));
    EXPECT_EQ(WrittenData(16, {-32769}), (Bytes{0xFF, 0x7F}));
    EXPECT_EQ(WrittenData(8, {300, -129, 128}), (Bytes{0xAC, 0xFF, 0x00}));
    EXPECT_EQ(WrittenData(24, {0x12345678, -8388609}), (Bytes{0x78, 0x56, 0x34, 0xFF, 0xFF, 0x7F}));
    EXPECT_EQ(WrittenData(8, {std::numeric_limits<std::int32_t>::max()}), (Bytes{0x7F}));
}

TEST_F(WaveFileSamples, PartialSampleAtTheEndIsDropped) {
    // 24-bit with 10 data bytes: 3 whole samples.
    const Bytes data = {0x01, 0x00, 0x00, 0x02, 0x00, 0x00, 0x03, 0x00, 0x00, 0x04};
    WriteFileBytes(dir / "in.wav", SimpleWave(1, 48000, 24, data));
    WaveFile_type wave;
    ASSERT_TRUE(wave.OpenRead(dir / "in.wav"));
    EXPECT_EQ(wave.TotalSamples(), 3u);
    Samples buffer(8, 99);
    EXPECT_EQ(wave.ReadSamples(buffer, 8), 3u);
    EXPECT_EQ(buffer, (Samples{1, 2, 3, 99, 99, 99, 99, 99}));
    // At the end of the file every later call returns 0.
    EXPECT_EQ(wave.ReadSamples(buffer, 8), 0u);
    EXPECT_EQ(wave.ReadSamples(buffer, 1), 0u);
}

TEST_F(WaveFileSamples, ReadsNothingWhenClosedOrAskedForNothing) {
    WaveFile_type closed;
    Samples buffer(4, 99);
    EXPECT_EQ(closed.ReadSamples(buffer, 4), 0u);

    WriteFileBytes(dir / "in.wav", SimpleWave(1, 8000, 16, {1, 0, 2, 0, 3, 0}));
    WaveFile_type wave;
    ASSERT_TRUE(wave.OpenRead(dir / "in.wav"));
    EXPECT_EQ(wave.ReadSamples(buffer, 0), 0u);
    Samples empty;
    EXPECT_EQ(wave.ReadSamples(empty, 10), 0u);
    // The count is clamped to the buffer; nothing was consumed before.
    Samples two(2);
    EXPECT_EQ(wave.ReadSamples(two, 1000), 2u);
    EXPECT_EQ(two, (Samples{1, 2}));
    EXPECT_EQ(wave.ReadSamples(buffer, 4), 1u);
    EXPECT_EQ(buffer[0], 3);
    wave.Close();
    EXPECT_EQ(wave.ReadSamples(buffer, 4), 0u);
}

TEST_F(WaveFileSamples, ReadingStopsAtTheEndOfTheDataBody) {
    // Neither the pad byte nor a trailing chunk comes back as samples.
    WaveBytes file;
    file.Head(0).Chunk("fmt ", PcmFormat(1, 8000, 8)).Chunk("data", {0x81}).Chunk("LIST", {});
    WriteFileBytes(dir / "in.wav", file.Get());
    WaveFile_type wave;
    ASSERT_TRUE(wave.OpenRead(dir / "in.wav"));
    EXPECT_EQ(wave.TotalSamples(), 1u);
    Samples buffer(64);
    EXPECT_EQ(wave.ReadSamples(buffer, 64), 1u);
    EXPECT_EQ(buffer[0], 1);
}

TEST_F(WaveFileSamples, ChannelsSplitAndJoin) {
    WaveFile_type wave;
    ASSERT_TRUE(wave.OpenWrite(dir / "out.wav", 3, 8000, 16));
    const Samples frames = {10, 20, 30, 11, 21, 31, 12, 22};
    Samples channel(4, -7);
    // Incomplete last frame left out.
    EXPECT_EQ(wave.Deinterleave(frames, 8, 2, channel), 2u);
    EXPECT_EQ(channel, (Samples{20, 21, -7, -7}));
    EXPECT_EQ(wave.Deinterleave(frames, 8, 3, channel), 2u);
    EXPECT_EQ(channel, (Samples{30, 31, -7, -7}));
    EXPECT_EQ(wave.Deinterleave(frames, 5, 1, channel), 1u);

    Samples joined(9, 0);
    wave.Interleave({1, 2, 3}, 3, 1, joined);
    wave.Interleave({4, 5, 6}, 2, 3, joined); // only the first count samples
    EXPECT_EQ(joined, (Samples{1, 0, 4, 2, 0, 5, 3, 0, 0}));
}

TEST_F(WaveFileSamples, ChannelOperationsStayInsideTheirBuffers) {
    const Samples frames = {1, 2, 3, 4, 5, 6};
    Samples out(2, -7);
    WaveFile_type stereo;
    ASSERT_TRUE(stereo.OpenWrite(dir / "out.wav", 2, 8000, 16));
    for (const int bad : {0, -1, 3, 1000}) {
        EXPECT_EQ(stereo.Deinterleave(frames, 6, bad, out), 0u) << bad;
        Samples joined(4, 0);
        stereo.Interleave({9, 9}, 2, bad, joined);
        EXPECT_EQ(joined, Samples(4, 0)) << bad;
    }
    // Counts beyond the buffers are clamped: 1000 claimed, 6 held, 2 fit.
    EXPECT_EQ(stereo.Deinterleave(frames, 1000, 2, out), 2u);
    EXPECT_EQ(out, (Samples{2, 4}));
    Samples small(3, 0);
    stereo.Interleave({7, 8, 9}, 1000, 2, small); // slot 1 only
    EXPECT_EQ(small, (Samples{0, 7, 0}));
    stereo.Interleave({7, 8, 9}, 1000, 1, small); // slots 0 and 2
    EXPECT_EQ(small, (Samples{7, 7, 8}));
    Samples one = {5};
    stereo.Interleave({1}, 1, 2, one); // no slot for channel 2 at all
    EXPECT_EQ(one, (Samples{5}));

    // No channels at all: nothing to divide by.
    const WaveFile_type fresh;
    EXPECT_EQ(fresh.Deinterleave(frames, 6, 1, out), 0u);
    fresh.Interleave({1}, 1, 1, out);
}

TEST_F(WaveFileSamples, RoundTripsOverWidthsChannelsAndLengths) {
    std::mt19937 random(20240611u);
    for (const unsigned bits : {8u, 16u, 24u, 32u}) {
        const unsigned width = bits / 8;
        const std::int64_t low = -(std::int64_t{1} << (bits - 1));
        const std::int64_t high = (std::int64_t{1} << (bits - 1)) - 1;
        std::uniform_int_distribution<std::int64_t> value(low, high);
        for (const unsigned channels : {1u, 2u, 3u, 6u}) {
            for (const unsigned frames : {0u, 1u, 7u, 1000u, 4099u}) {
                SCOPED_TRACE(::testing::Message() << bits << " bits, " << channels << " channels, "
                                                  << frames << " frames");
                // Per-channel signals with the rails and 0 at the start.
                std::vector<Samples> source(channels);
                Samples interleaved;
                for (unsigned i = 0; i < frames; ++i) {
                    for (unsigned c = 0; c < channels; ++c) {
                        const std::int64_t v = i == 0   ? low
                                               : i == 1 ? high
                                               : i == 2 ? 0
                                                        : value(random);
                        source[c].push_back(static_cast<std::int32_t>(v));
                        interleaved.push_back(static_cast<std::int32_t>(v));
                    }
                }

                // Write in blocks of 37 frames through Interleave.
                const auto path = dir / "rt.wav";
                {
                    WaveFile_type out;
                    ASSERT_TRUE(out.OpenWrite(path, static_cast<int>(channels), 44100,
                                              static_cast<int>(bits)));
                    const unsigned block = 37;
                    Samples channel_block(block), frame_block(block * channels);
                    for (unsigned start = 0; start < frames; start += block) {
                        const unsigned n = std::min(block, frames - start);
                        for (unsigned c = 0; c < channels; ++c) {
                            std::copy(source[c].begin() + start, source[c].begin() + start + n,
                                      channel_block.begin());
                            out.Interleave(channel_block, n, static_cast<int>(c + 1), frame_block);
                        }
                        out.WriteSamples(frame_block, n * channels);
                    }
                    out.Close();
                    ASSERT_FALSE(out.Failed());
                }
                const Bytes file = ReadFileBytes(path);
                const std::size_t body = std::size_t{frames} * channels * width;
                ASSERT_EQ(file.size(), 46u + body + body % 2);
                const Bytes data(file.begin() + 46,
                                 file.begin() + 46 + static_cast<std::ptrdiff_t>(body));
                EXPECT_EQ(data, EncodeSamples(interleaved, width));
                EXPECT_EQ(DecodeSamples(data, width), interleaved);

                // Read back in blocks of 1000 samples, split with Deinterleave.
                WaveFile_type in;
                ASSERT_TRUE(in.OpenRead(path));
                EXPECT_EQ(in.SamplesPerChannel(), frames);
                std::vector<Samples> back(channels);
                Samples block(1000 / channels * channels), channel_block(block.size());
                unsigned n = 0;
                do {
                    n = in.ReadSamples(block, static_cast<unsigned>(block.size()));
                    for (unsigned c = 0; c < channels; ++c) {
                        const unsigned got =
                            in.Deinterleave(block, n, static_cast<int>(c + 1), channel_block);
                        back[c].insert(back[c].end(), channel_block.begin(),
                                       channel_block.begin() + got);
                    }
                } while (n == block.size());
                EXPECT_EQ(back, source);
            }
        }
    }
}
