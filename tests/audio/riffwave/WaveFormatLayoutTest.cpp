// How a header lays samples out: block_align against channels and container,
// valid bits below the container, and the extensible form read and written.

#include "audio/riffwave/WaveFile_type.hpp"
#include "support/ScratchFolder.hpp"

#include <gtest/gtest.h>

using audio::riffwave::WaveFile_type;
using namespace testsupport;

namespace {

// The reader's verdict on a file made from the layout, with the reader.
std::string Verdict(WaveFile_type& wave, const WavLayout& layout, const Samples& samples = {}) {
    ScratchFolder dir;
    WriteFileBytes(dir / "in.wav", MakeWav(layout, samples));
    EXPECT_TRUE(wave.OpenRead(dir / "in.wav"));
    return wave.UnreadableReason();
}

} // namespace

TEST(WaveFormatLayout, BlockAlignMustBeChannelsTimesContainerBytes) {
    WavLayout slots;
    slots.bits = 24;
    slots.block_align_override = 8; // stereo 24-bit samples in 4-byte slots
    WaveFile_type wave;
    EXPECT_EQ(Verdict(wave, slots),
              "block_align is 8 bytes, but 2 channels of 24-bit samples take 6; the header does "
              "not add up");
    for (const int align : {0, 3, 12}) {
        WavLayout wrong;
        wrong.block_align_override = align;
        WaveFile_type other;
        EXPECT_NE(Verdict(other, wrong).find("block_align"), std::string::npos) << align;
    }
    // A frame too large for the 16-bit field leaves its low 16 bits there.
    WavLayout wide;
    wide.channels = 65535;
    WaveFile_type wide_wave;
    EXPECT_EQ(Verdict(wide_wave, wide), "");
}

TEST(WaveFormatLayout, FewerValidBitsReadAsTheContainer) {
    ScratchFolder dir;
    // Plain headers of 20 bits in 3 bytes and 12 in 2.
    for (const auto& [bits, bytes] : {std::pair<std::uint32_t, unsigned>{20, 3}, {12, 2}}) {
        Bytes fmt = PcmFormat(1, 48000, 8 * bytes);
        fmt[14] = static_cast<std::uint8_t>(bits);
        WriteFileBytes(dir / "in.wav", WaveBytes()
                                           .Head(0)
                                           .Chunk("fmt ", fmt)
                                           .Chunk("data", EncodeSamples({16, -4096}, bytes))
                                           .Get());
        WaveFile_type wave;
        ASSERT_TRUE(wave.OpenRead(dir / "in.wav"));
        EXPECT_EQ(wave.UnreadableReason(), "") << bits;
        EXPECT_EQ(wave.BitsPerSample(), static_cast<int>(8 * bytes));
        EXPECT_EQ(wave.Format().valid_bits, bits);
        std::vector<std::int32_t> read(2);
        EXPECT_EQ(wave.ReadSamples(read, 2), 2u);
        EXPECT_EQ(read, (std::vector<std::int32_t>{16, -4096}));
    }
    // ...but not when block_align does not follow: 12 bits in 1 byte.
    WavLayout twelve;
    twelve.bits = 12;
    WaveFile_type wave;
    EXPECT_NE(Verdict(wave, twelve).find("block_align is 2"), std::string::npos);
    // Extensible: 24 valid bits in 32, a mask; 0 valid bits is the whole
    // container, more than it is refused.
    WavLayout extensible;
    extensible.format_tag = 65534;
    extensible.channels = 6;
    extensible.bits = 32;
    extensible.valid_bits = 24;
    extensible.channel_mask = 0x60F;
    WaveFile_type ext;
    EXPECT_EQ(Verdict(ext, extensible, Samples(12, 5)), "");
    EXPECT_EQ(ext.BitsPerSample(), 32);
    EXPECT_EQ(ext.Format().valid_bits, 24);
    EXPECT_EQ(ext.Format().channel_mask, 0x60Fu);
    extensible.valid_bits = 33;
    WaveFile_type too_many;
    EXPECT_EQ(Verdict(too_many, extensible), "the header gives 33 valid bits for 32-bit samples");
}

TEST(WaveFormatLayout, ExtensibleFormWrittenWithMaskValidBitsAndGuid) {
    ScratchFolder dir;
    audio::riffwave::WaveFormat_type asked{65534, 6, 44100, 0, 0, 24};
    asked.sub_format = 1;
    asked.valid_bits = 20;
    asked.channel_mask = 0x60F;
    {
        WaveFile_type out;
        ASSERT_TRUE(out.OpenWrite(dir / "ext.wav", asked));
        out.WriteSamples(Samples(6, 1), 6);
    }
    WaveBytes expected;
    expected.Text("RIFF").U32(4 + 48 + 8 + 18).Text("WAVE");
    expected.Text("fmt ").U32(40).U16(65534).U16(6).U32(44100).U32(44100 * 18).U16(18).U16(24);
    expected.U16(22).U16(20).U32(0x60F).U16(1).Raw(
        {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71});
    expected.Text("data").U32(18).Raw(EncodeSamples(Samples(6, 1), 3));
    EXPECT_EQ(ReadFileBytes(dir / "ext.wav"), expected.Get());
    // A GUID of another family keeps its tail, also for float samples.
    asked.sub_format = 3;
    asked.bits_per_sample = 32;
    asked.guid_tail = {0x21, 0x07, 0xD3, 0x11, 0x86, 0x44, 0xC8, 0xC1, 0xCA, 0, 0, 0, 0, 0};
    {
        WaveFile_type out;
        ASSERT_TRUE(out.OpenWrite(dir / "extf.wav", asked));
    }
    WaveFile_type back;
    ASSERT_TRUE(back.OpenRead(dir / "extf.wav"));
    EXPECT_TRUE(back.Format().IsFloat());
    EXPECT_EQ(back.Format().guid_tail, asked.guid_tail);
}
