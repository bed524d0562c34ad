// IEEE float samples in WAVE files: the codecs, the check of what can be
// read, and the header written for float output.

#include "audio/riffwave/SampleBytes.hpp"
#include "audio/riffwave/WaveFile_type.hpp"
#include "audio/riffwave/WaveFormat_type.hpp"
#include "support/FloatWave.hpp"
#include "support/ScratchFolder.hpp"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using audio::riffwave::WaveFile_type;
using audio::riffwave::WaveFormat_type;
using namespace testsupport;

namespace {

const Values special = {0.0,
                        -0.0,
                        1.0,
                        -1.0,
                        2.5,
                        1.0 / 3,
                        std::numeric_limits<float>::denorm_min(),
                        -std::numeric_limits<float>::max(),
                        std::numeric_limits<double>::infinity(),
                        1e-300};

WaveFormat_type Format(std::uint16_t tag, std::uint16_t bits, std::uint16_t sub_format = 0) {
    WaveFormat_type format;
    format.format_tag = tag;
    format.sub_format = sub_format;
    format.channels = 2;
    format.sample_rate = 48000;
    format.bits_per_sample = bits;
    format.block_align = static_cast<std::uint16_t>(2 * bits / 8);
    return format;
}

} // namespace

TEST(FloatSamples, CodecsMoveEveryValueExactly) {
    for (const unsigned width : {4u, 8u}) {
        SCOPED_TRACE(width);
        // As one channel of three: sample i at i * 3 * width.
        const Bytes single = EncodeFloats(special, width);
        Bytes frames(single.size() * 3, 0xAB);
        for (std::size_t i = 0; i < special.size(); ++i) {
            std::copy_n(single.begin() + static_cast<std::ptrdiff_t>(i * width), width,
                        frames.begin() + static_cast<std::ptrdiff_t>(i * 3 * width));
        }
        Values decoded(special.size());
        audio::riffwave::DecodeChannel(frames.data(), special.size(), width, 3 * width,
                                       decoded.data());
        const Values expected = DecodeFloats(single, width);
        for (std::size_t i = 0; i < special.size(); ++i) {
            EXPECT_EQ(std::signbit(decoded[i]), std::signbit(expected[i])) << i;
            EXPECT_EQ(decoded[i], expected[i]) << i;
        }
    }
    // Writing 4-byte floats, strided between other bytes left alone.
    std::vector<float> values;
    for (const double x : special) {
        values.push_back(static_cast<float>(x));
    }
    Bytes out(values.size() * 6, 0xCD);
    audio::riffwave::EncodeChannel(values.data(), values.size(), 6, out.data() + 2);
    const Bytes expected = EncodeFloats(special, 4);
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(out[6 * i], 0xCD);
        EXPECT_EQ(out[6 * i + 1], 0xCD);
        for (std::size_t k = 0; k < 4; ++k) {
            EXPECT_EQ(out[6 * i + 2 + k], expected[4 * i + k]) << i;
        }
    }
}

TEST(FloatSamples, WhatCanBeRead) {
    EXPECT_EQ(Format(3, 32).UnreadableReason(), "");
    EXPECT_EQ(Format(3, 64).UnreadableReason(), "");
    EXPECT_EQ(Format(65534, 32, 3).UnreadableReason(), "");
    EXPECT_EQ(Format(65534, 24, 1).UnreadableReason(), "");
    EXPECT_TRUE(Format(3, 64).IsFloat());
    EXPECT_FALSE(Format(65534, 24, 1).IsFloat());
    EXPECT_EQ(Format(3, 16).UnreadableReason(),
              "float samples of 16 bits cannot be converted (32 or 64 can)");
    EXPECT_EQ(Format(65534, 24, 3).UnreadableReason(),
              "float samples of 24 bits cannot be converted (32 or 64 can)");
    EXPECT_EQ(Format(2, 16).UnreadableReason(),
              "format tag 2 is neither integer PCM nor IEEE float");
    EXPECT_EQ(Format(65534, 16, 2).UnreadableReason(),
              "extensible format with sub-format 2 is neither integer PCM nor IEEE float");
}

TEST(FloatSamples, FloatOutputHasAFactChunkAndSizesThatAddUp) {
    ScratchFolder scratch;
    // 0, 1 and 3 frames of stereo: the header is right for any length.
    for (const std::size_t frames : {0u, 1u, 3u}) {
        SCOPED_TRACE(frames);
        const std::string path = scratch / ("f" + std::to_string(frames) + ".wav");
        {
            WaveFile_type file;
            ASSERT_TRUE(file.OpenWrite(path, Format(3, 32)));
            const Bytes data = EncodeFloats(Values(2 * frames, 0.25), 4);
            file.WriteFrames(data.data(), frames);
            file.Close();
            EXPECT_FALSE(file.Failed());
        }
        const Bytes bytes = ReadFileBytes(path);
        ASSERT_EQ(bytes.size(), 58 + 8 * frames);
        EXPECT_EQ(ChunkIds(bytes), (std::vector<std::string>{"fmt ", "fact", "data"}));
        WaveBytes expected_format;
        expected_format.U16(3).U16(2).U32(48000).U32(384000).U16(8).U16(32).U16(0);
        EXPECT_EQ(ChunkBody(bytes, "fmt "), expected_format.Get());
        WaveBytes expected_fact;
        expected_fact.U32(static_cast<std::uint32_t>(frames));
        EXPECT_EQ(ChunkBody(bytes, "fact"), expected_fact.Get());
        EXPECT_EQ(DecodeFloats(ChunkBody(bytes, "data"), 4), Values(2 * frames, 0.25));

        WaveFile_type again;
        ASSERT_TRUE(again.OpenRead(path));
        EXPECT_EQ(again.FormatTag(), 3);
        EXPECT_EQ(again.SamplesPerChannel(), frames);
    }
    // The "fact" chunk's 12 bytes come off the largest data body.
    EXPECT_EQ(std::uint64_t{WaveFile_type::MaxDataSize(Format(3, 32))} + 58,
              std::uint64_t{1} << 32);
}
