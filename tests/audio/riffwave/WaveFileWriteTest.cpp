#include "audio/riffwave/WaveFile_type.hpp"
#include "support/NearLimitWriter.hpp"
#include "support/ScratchFolder.hpp"

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

using audio::riffwave::WaveFile_type;
using namespace testsupport;

namespace {

// The 46-byte header this writer must produce, built field by field.
Bytes ExpectedHeader(std::uint32_t channels, std::uint32_t rate, std::uint32_t bits,
                     std::uint32_t block_align, std::uint32_t byte_rate, std::uint32_t riff_size,
                     std::uint32_t data_size) {
    WaveBytes header;
    header.Text("RIFF").U32(riff_size).Text("WAVE");
    header.Text("fmt ").U32(18).U16(1).U16(channels).U32(rate).U32(byte_rate);
    header.U16(block_align).U16(bits).U16(0);
    header.Text("data").U32(data_size);
    return header.Get();
}

class WaveFileWrite : public ::testing::Test {
protected:
    ScratchFolder dir;
    boost::filesystem::path out = dir / "out.wav";
};

} // namespace

TEST_F(WaveFileWrite, ProvisionalThenFinalHeader) {
    WaveFile_type wave;
    ASSERT_TRUE(wave.OpenWrite(out, 2, 44100, 16));
    EXPECT_TRUE(wave.IsOpen());
    wave.WriteSamples({1, -1, 2, -2, 3, -3}, 6);
    EXPECT_EQ(wave.DataSize(), 12u);
    EXPECT_EQ(wave.TotalSamples(), 6u);
    EXPECT_EQ(wave.SamplesPerChannel(), 3u);
    wave.Close();
    EXPECT_FALSE(wave.IsOpen());
    EXPECT_FALSE(wave.Failed());

    Bytes expected = ExpectedHeader(2, 44100, 16, 4, 176400, 12 + 38, 12);
    expected.insert(expected.end(),
                    {0x01, 0x00, 0xFF, 0xFF, 0x02, 0x00, 0xFE, 0xFF, 0x03, 0x00, 0xFD, 0xFF});
    EXPECT_EQ(ReadFileBytes(out), expected);
    wave.Close(); // a second Close does nothing
    EXPECT_EQ(ReadFileBytes(out), expected);
}

TEST_F(WaveFileWrite, EmptyFileIsTheBareHeader) {
    {
        WaveFile_type wave;
        ASSERT_TRUE(wave.OpenWrite(out, 2, 44100, 16));
        wave.Close();
    }
    EXPECT_EQ(ReadFileBytes(out), ExpectedHeader(2, 44100, 16, 4, 176400, 38, 0));
    {
        WaveFile_type wave;
        ASSERT_TRUE(wave.OpenWrite(out, 1, 48000, 24));
        wave.Close();
    }
    EXPECT_EQ(ReadFileBytes(out), ExpectedHeader(1, 48000, 24, 3, 144000, 38, 0));
}

TEST_F(WaveFileWrite, HeaderFieldsTakeTheLow16Bits) {
    WaveFile_type wave;
    ASSERT_TRUE(wave.OpenWrite(out, 65536 + 2, 8000, 65536 + 8));
    EXPECT_EQ(wave.Channels(), 2);
    EXPECT_EQ(wave.BitsPerSample(), 8);
    EXPECT_EQ(wave.BlockAlign(), 2);
    EXPECT_EQ(wave.ByteRate(), 16000u);
}

TEST_F(WaveFileWrite, ProvisionalHeaderBeforeClose) {
    WaveFile_type wave;
    ASSERT_TRUE(wave.OpenWrite(out, 2, 44100, 16));
    // A block larger than the stream's buffer reaches the file at once.
    wave.WriteSamples(std::vector<std::int32_t>(20000, 5), 20000);
    WaveFile_type reader;
    // Sizes stay 0 until the writer closes; the file already reads as valid.
    const Bytes before = ReadFileBytes(out);
    ASSERT_GE(before.size(), 46u);
    EXPECT_EQ(Bytes(before.begin(), before.begin() + 46),
              ExpectedHeader(2, 44100, 16, 4, 176400, 0, 0));
    ASSERT_TRUE(reader.OpenRead(out));
    EXPECT_EQ(reader.DataSize(), 0u);
}

TEST_F(WaveFileWrite, DestructionWritesTheFinalHeader) {
    {
        WaveFile_type wave;
        ASSERT_TRUE(wave.OpenWrite(out, 1, 8000, 8));
        wave.WriteSamples({0, 127, -128}, 3);
    }
    Bytes expected = ExpectedHeader(1, 8000, 8, 1, 8000, 42, 3);
    expected.insert(expected.end(), {0x80, 0xFF, 0x00, 0x00}); // odd body: a pad byte
    EXPECT_EQ(ReadFileBytes(out), expected);
}

TEST_F(WaveFileWrite, WritingNothingChangesNothing) {
    WaveFile_type wave;
    ASSERT_TRUE(wave.OpenWrite(out, 2, 44100, 16));
    wave.WriteSamples({1, 2}, 2);
    wave.WriteSamples({}, 0);
    wave.WriteSamples({3, 4}, 0);
    wave.WriteSamples({}, 5); // count clamped to the empty buffer
    EXPECT_EQ(wave.DataSize(), 4u);
    wave.Close();
    EXPECT_EQ(ReadFileBytes(out).size(), 50u);
    EXPECT_FALSE(wave.Failed());
}

TEST_F(WaveFileWrite, ReadSamplesOnAWriterReadsNothing) {
    WaveFile_type wave;
    ASSERT_TRUE(wave.OpenWrite(out, 1, 8000, 16));
    std::vector<std::int32_t> buffer(4);
    EXPECT_EQ(wave.ReadSamples(buffer, 4), 0u);
    wave.WriteSamples({1}, 1);
    wave.Close();
    EXPECT_FALSE(wave.Failed());
    EXPECT_EQ(ReadFileBytes(out).size(), 48u);
}

TEST_F(WaveFileWrite, CountIsClampedToTheBuffer) {
    WaveFile_type wave;
    ASSERT_TRUE(wave.OpenWrite(out, 1, 8000, 16));
    wave.WriteSamples({1, 2, 3}, 1000);
    EXPECT_EQ(wave.DataSize(), 6u);
}

TEST_F(WaveFileWrite, OpenWriteTruncatesAndIgnoresAnOpenObject) {
    WriteFileBytes(out, Bytes(1000, 0x42));
    WaveFile_type wave;
    ASSERT_TRUE(wave.OpenWrite(out, 1, 8000, 16));
    EXPECT_TRUE(wave.OpenWrite(dir / "other.wav", 2, 44100, 24)); // already open
    EXPECT_EQ(wave.Channels(), 1);
    wave.Close();
    EXPECT_EQ(ReadFileBytes(out).size(), 46u);
    EXPECT_FALSE(boost::filesystem::exists(dir / "other.wav"));
}

TEST_F(WaveFileWrite, SizeLimitRefusesAWriteThatWouldPassIt) {
    // 46 header bytes + kMaxDataSize = exactly 4 GiB.
    EXPECT_EQ(std::uint64_t{WaveFile_type::kMaxDataSize} + 46u, std::uint64_t{1} << 32);
    NearLimitWriter wave;
    ASSERT_TRUE(wave.OpenWrite(out, 1, 8000, 16));
    wave.SetDataSizeForTesting(WaveFile_type::kMaxDataSize - 6);
    wave.WriteSamples({1, 2, 3}, 3); // reaches the limit exactly
    EXPECT_FALSE(wave.Failed());
    EXPECT_EQ(wave.DataSize(), WaveFile_type::kMaxDataSize);
    wave.WriteSamples({4}, 1); // one sample too many
    EXPECT_TRUE(wave.Failed());
    EXPECT_EQ(wave.DataSize(), WaveFile_type::kMaxDataSize);
    wave.Close();
    const Bytes file = ReadFileBytes(out);
    ASSERT_EQ(file.size(), 46u + 6u); // the refused sample was not written
    WaveBytes sizes;
    sizes.U32(WaveFile_type::kMaxDataSize + 38u);
    EXPECT_EQ(Bytes(file.begin() + 4, file.begin() + 8), sizes.Get());
}

TEST_F(WaveFileWrite, SizeLimitHoldsForLargeBlocksAndLaterWritesAreDropped) {
    NearLimitWriter wave;
    ASSERT_TRUE(wave.OpenWrite(out, 2, 8000, 32));
    wave.SetDataSizeForTesting(WaveFile_type::kMaxDataSize - 1000);
    const std::vector<std::int32_t> block(251, 7); // 1004 bytes
    wave.WriteSamples(block, 251);
    EXPECT_TRUE(wave.Failed());
    wave.WriteSamples(block, 1); // would fit, but the file already misses samples
    EXPECT_EQ(wave.DataSize(), WaveFile_type::kMaxDataSize - 1000);
    wave.Close();
    EXPECT_EQ(ReadFileBytes(out).size(), 46u);
}

TEST_F(WaveFileWrite, FailedReportsUncreatableAndUnwritableFiles) {
    {
        WaveFile_type wave;
        EXPECT_FALSE(wave.OpenWrite(dir / "missing-folder/out.wav", 1, 8000, 16));
        EXPECT_FALSE(wave.IsOpen());
        EXPECT_TRUE(wave.Failed());
        wave.WriteSamples({1}, 1);
        EXPECT_EQ(wave.DataSize(), 0u);
        wave.Close();
    }
    if (!boost::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full to write to";
    }
    {
        // Small writes stay in the stream's buffer; the failure shows at Close.
        WaveFile_type wave;
        ASSERT_TRUE(wave.OpenWrite("/dev/full", 1, 8000, 16));
        wave.WriteSamples({1, 2}, 2);
        wave.Close();
        EXPECT_TRUE(wave.Failed());
    }
    {
        // A block larger than the stream's buffer fails in WriteSamples.
        WaveFile_type wave;
        ASSERT_TRUE(wave.OpenWrite("/dev/full", 2, 8000, 16));
        wave.WriteSamples(std::vector<std::int32_t>(100000, 3), 100000);
        EXPECT_TRUE(wave.Failed());
        EXPECT_EQ(wave.DataSize(), 0u);
        wave.Close();
        EXPECT_TRUE(wave.Failed());
    }
}

TEST_F(WaveFileWrite, UnsupportedWidthWritesNothingAndFails) {
    for (const int bits : {4, 40}) {
        WaveFile_type wave;
        ASSERT_TRUE(wave.OpenWrite(out, 1, 8000, bits));
        wave.WriteSamples({1, 2}, 2);
        EXPECT_TRUE(wave.Failed()) << bits;
        EXPECT_EQ(wave.DataSize(), 0u) << bits;
    }
}

TEST_F(WaveFileWrite, ReadingObjectNeverWrites) {
    {
        WaveFile_type wave;
        ASSERT_TRUE(wave.OpenWrite(out, 1, 8000, 16));
        wave.WriteSamples({9}, 1);
    }
    const Bytes written = ReadFileBytes(out);
    WaveFile_type wave;
    ASSERT_TRUE(wave.OpenWrite(dir / "first.wav", 1, 8000, 16));
    wave.Close();
    ASSERT_TRUE(wave.OpenRead(out)); // the same object, reused for reading
    wave.WriteSamples({1, 2, 3}, 3);
    wave.Close();
    EXPECT_EQ(ReadFileBytes(out), written);
    EXPECT_FALSE(wave.Failed());
}
