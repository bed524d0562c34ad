#include "audio/riffwave/WaveFile_type.hpp"
#include "support/ScratchFolder.hpp"

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

using audio::riffwave::WaveFile_type;
using namespace testsupport;

namespace {

class WaveFileHeaderRead : public ::testing::Test {
protected:
    boost::filesystem::path Put(const Bytes& bytes, const std::string& name = "in.wav") {
        const auto path = dir / name;
        WriteFileBytes(path, bytes);
        return path;
    }

    // Reads everything after the header, in one go.
    static std::vector<std::int32_t> ReadAll(WaveFile_type& wave, unsigned limit = 64) {
        std::vector<std::int32_t> samples(limit);
        samples.resize(wave.ReadSamples(samples, limit));
        return samples;
    }

    ScratchFolder dir;
};

} // namespace

TEST_F(WaveFileHeaderRead, PlainFileReportsItsFields) {
    const Bytes data = {0x01, 0x00, 0xFF, 0xFF, 0x00, 0x80, 0xFF, 0x7F};
    WaveFile_type wave;
    ASSERT_TRUE(wave.OpenRead(Put(SimpleWave(2, 44100, 16, data))));
    EXPECT_TRUE(wave.IsOpen());
    EXPECT_EQ(wave.FormatTag(), 1);
    EXPECT_EQ(wave.Channels(), 2);
    EXPECT_EQ(wave.SampleRate(), 44100u);
    EXPECT_EQ(wave.ByteRate(), 176400u);
    EXPECT_EQ(wave.BlockAlign(), 4);
    EXPECT_EQ(wave.BitsPerSample(), 16);
    EXPECT_EQ(wave.ExtraSize(), 0);
    EXPECT_EQ(wave.SubFormat(), 0);
    EXPECT_EQ(wave.DataSize(), 8u);
    EXPECT_EQ(wave.TotalSamples(), 4u);
    EXPECT_EQ(wave.SamplesPerChannel(), 2u);
    // The stream stands at the first sample byte.
    EXPECT_EQ(ReadAll(wave), (std::vector<std::int32_t>{1, -1, -32768, 32767}));
    wave.Close();
    EXPECT_FALSE(wave.IsOpen());
    EXPECT_EQ(wave.Channels(), 2); // header values outlive Close
}

TEST_F(WaveFileHeaderRead, ExtraSizeIsZeroForPcmWhateverTheBodyHeld) {
    Bytes body = PcmFormat(1, 8000, 8);
    body.push_back(0x34);
    body.push_back(0x12);
    WaveBytes file;
    file.Head(100).Chunk("fmt ", body).Chunk("data", {0x80});
    WaveFile_type wave;
    ASSERT_TRUE(wave.OpenRead(Put(file.Get())));
    EXPECT_EQ(wave.ExtraSize(), 0);
}

TEST_F(WaveFileHeaderRead, OddListChunkIsSteppedOverWithItsPadByte) {
    WaveBytes file;
    file.Head(0)
        .Chunk("fmt ", PcmFormat(1, 8000, 16))
        .Chunk("LIST", {'a', 'b', 'c', 'd', 'e'}) // size 5, then a pad byte
        .Chunk("data", {0x02, 0x00, 0xFE, 0xFF});
    ASSERT_EQ(file.Size(), 12u + 24u + 14u + 12u);
    WaveFile_type wave;
    ASSERT_TRUE(wave.OpenRead(Put(file.Get())));
    EXPECT_EQ(wave.DataSize(), 4u);
    EXPECT_EQ(ReadAll(wave), (std::vector<std::int32_t>{2, -2}));
}

TEST_F(WaveFileHeaderRead, ChunksBeforeFormatAndLastFormatWins) {
    WaveBytes file;
    file.Head(0)
        .Chunk("JUNK", Bytes(7, 0xAA))
        .Chunk("fmt ", PcmFormat(1, 8000, 8))
        .Chunk("fact", Bytes(4, 0))
        .Chunk("fmt ", PcmFormat(2, 22050, 24))
        .Chunk("data", Bytes(6, 0));
    WaveFile_type wave;
    ASSERT_TRUE(wave.OpenRead(Put(file.Get())));
    EXPECT_EQ(wave.Channels(), 2);
    EXPECT_EQ(wave.SampleRate(), 22050u);
    EXPECT_EQ(wave.BitsPerSample(), 24);
    EXPECT_EQ(wave.TotalSamples(), 2u);
}

TEST_F(WaveFileHeaderRead, InvalidFilesAreRefusedAndClosed) {
    const Bytes data = {0, 0};
    const Bytes fmt = PcmFormat(1, 8000, 16);
    struct Case {
        const char* what;
        Bytes bytes;
    };
    const std::vector<Case> cases = {
        {"data before fmt", WaveBytes().Head(0).Chunk("data", data).Chunk("fmt ", fmt).Get()},
        {"big-endian RIFX", WaveBytes().Text("RIFX").U32(0).Text("WAVE").Chunk("fmt ", fmt).Get()},
        {"AVI form", WaveBytes().Head(0, "AVI ").Chunk("fmt ", fmt).Chunk("data", data).Get()},
        {"lower-case wave", WaveBytes().Head(0, "wave").Chunk("fmt ", fmt).Get()},
        {"no fmt chunk", WaveBytes().Head(0).Chunk("LIST", data).Chunk("data", data).Get()},
        {"empty file", Bytes()},
        {"text", WaveBytes().Text("hello, this is not audio at all").Get()},
    };
    for (const auto& c : cases) {
        WaveFile_type wave;
        EXPECT_FALSE(wave.OpenRead(Put(c.bytes))) << c.what;
        EXPECT_FALSE(wave.IsOpen()) << c.what;
    }
    WaveFile_type missing;
    EXPECT_FALSE(missing.OpenRead(dir / "no-such-file.wav"));
    EXPECT_FALSE(missing.IsOpen());
    WaveFile_type folder;
    boost::filesystem::create_directories(dir / "folder.wav");
    EXPECT_FALSE(folder.OpenRead(dir / "folder.wav"));
}

TEST_F(WaveFileHeaderRead, MissingDataChunkIsValidWithoutSamples) {
    WaveFile_type wave;
    ASSERT_TRUE(wave.OpenRead(
        Put(WaveBytes().Head(4).Chunk("fmt ", PcmFormat(2, 44100, 16)).Chunk("LIST", {1}).Get())));
    EXPECT_EQ(wave.DataSize(), 0u);
    EXPECT_EQ(wave.TotalSamples(), 0u);
    EXPECT_EQ(wave.Channels(), 2);
}

TEST_F(WaveFileHeaderRead, TrailingChunksAreNotCounted) {
    WaveBytes file;
    file.Head(12345) // disagrees with the length: accepted
        .Chunk("fmt ", PcmFormat(1, 8000, 16))
        .Chunk("data", {0x01, 0x00, 0x02, 0x00, 0x03})
        .Chunk("LIST", Bytes(20, 0x11));
    WaveFile_type wave;
    ASSERT_TRUE(wave.OpenRead(Put(file.Get())));
    EXPECT_EQ(wave.DataSize(), 5u);
    EXPECT_EQ(wave.TotalSamples(), 2u);
}

TEST_F(WaveFileHeaderRead, ExtensibleFormatKeepsRecordAndSubFormat) {
    // 40-byte extensible body: 16 PCM bytes, extra size 22, valid bits,
    // channel mask, then the 16-byte sub-format GUID.
    const auto extensible = [](std::uint32_t sub_format) {
        return ExtensibleFormat(2, 96000, 24, sub_format, 3);
    };
    ASSERT_EQ(extensible(1).size(), 40u);
    for (const std::uint32_t sub_format : {1u, 3u}) {
        WaveBytes file;
        file.Head(0)
            .Chunk("fmt ", extensible(sub_format))
            .Chunk("data", {0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F});
        WaveFile_type wave;
        ASSERT_TRUE(wave.OpenRead(Put(file.Get())));
        EXPECT_EQ(wave.FormatTag(), 65534);
        EXPECT_EQ(wave.SubFormat(), static_cast<int>(sub_format));
        EXPECT_EQ(wave.Channels(), 2);
        EXPECT_EQ(wave.SampleRate(), 96000u);
        EXPECT_EQ(wave.BlockAlign(), 6);
        EXPECT_EQ(wave.BitsPerSample(), 24);
        EXPECT_EQ(wave.ExtraSize(), 22);
        EXPECT_EQ(wave.DataSize(), 6u);
        EXPECT_EQ(ReadAll(wave), (std::vector<std::int32_t>{-8388608, 8388607}));
    }
}

TEST_F(WaveFileHeaderRead, ExtensibleTagWithoutRoomForSubFormat) {
    WaveBytes body;
    body.Raw(PcmFormat(1, 8000, 16, 65534)).U16(6).U16(16).U32(4).U16(1); // 26 bytes
    const Bytes full = body.Get();
    for (const std::size_t size : {16u, 24u, 25u, 26u}) {
        WaveBytes file;
        file.Head(0)
            .Chunk("fmt ", Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(size)))
            .Chunk("data", {});
        WaveFile_type wave;
        ASSERT_TRUE(wave.OpenRead(Put(file.Get())));
        EXPECT_EQ(wave.FormatTag(), 65534);
        EXPECT_EQ(wave.SubFormat(), size == 26 ? 1 : 0) << size;
    }
}

TEST_F(WaveFileHeaderRead, OddLongFormatBodyIsSteppedOverWithPad) {
    Bytes body = PcmFormat(1, 8000, 16);
    body.insert(body.end(), {0x00, 0x00, 0x77}); // 19 bytes, pad follows
    WaveFile_type wave;
    ASSERT_TRUE(wave.OpenRead(
        Put(WaveBytes().Head(0).Chunk("fmt ", body).Chunk("data", {0x05, 0x00}).Get())));
    EXPECT_EQ(wave.BitsPerSample(), 16);
    EXPECT_EQ(ReadAll(wave), (std::vector<std::int32_t>{5}));
}

TEST_F(WaveFileHeaderRead, ShortFormatBodyLeavesTheRestZero) {
    // Only the format tag and the channel count: nothing divides by zero.
    WaveFile_type wave;
    ASSERT_TRUE(wave.OpenRead(Put(WaveBytes()
                                      .Head(0)
                                      .Chunk("fmt ", {0x01, 0x00, 0x02, 0x00})
                                      .Chunk("data", Bytes(8))
                                      .Get())));
    EXPECT_EQ(wave.Channels(), 2);
    EXPECT_EQ(wave.SampleRate(), 0u);
    EXPECT_EQ(wave.BitsPerSample(), 0);
    EXPECT_EQ(wave.TotalSamples(), 0u);
    EXPECT_EQ(wave.SamplesPerChannel(), 0u);
    EXPECT_EQ(wave.DurationMs(), 0.0);
    std::vector<std::int32_t> buffer(4, 99);
    EXPECT_EQ(wave.ReadSamples(buffer, 4), 0u);
}

TEST_F(WaveFileHeaderRead, HugeAndOddSizesNeitherHangNorOverrun) {
    const Bytes fmt = PcmFormat(1, 8000, 16);
    {
        // A "fmt " size far past the end of the file: the record takes 18
        // bytes at most, the walk then ends at the end of the file.
        WaveBytes file;
        file.Head(0).Text("fmt ").U32(0xFFFFFFFF).Raw(fmt).U16(0).Raw(Bytes(30, 0x55));
        WaveFile_type wave;
        ASSERT_TRUE(wave.OpenRead(Put(file.Get())));
        EXPECT_EQ(wave.BitsPerSample(), 16);
        EXPECT_EQ(wave.DataSize(), 0u);
    }
    for (const std::uint32_t size : {0xFFFFFFFFu, 0xFFFFFFFEu, 0x7FFFFFFFu, 0x80000000u}) {
        // An unknown chunk whose size jumps past the end hides a later "data".
        WaveBytes file;
        file.Head(0).Chunk("fmt ", fmt).Text("junk").U32(size).Chunk("data", {1, 0});
        WaveFile_type wave;
        ASSERT_TRUE(wave.OpenRead(Put(file.Get()))) << size;
        EXPECT_EQ(wave.DataSize(), 0u) << size;
    }
    {
        // Many empty chunks are walked one by one.
        WaveBytes file;
        file.Head(0).Chunk("fmt ", fmt);
        for (int i = 0; i < 1000; ++i) {
            file.Chunk("zero", {});
        }
        file.Chunk("data", {7, 0});
        WaveFile_type wave;
        ASSERT_TRUE(wave.OpenRead(Put(file.Get())));
        EXPECT_EQ(ReadAll(wave), (std::vector<std::int32_t>{7}));
    }
}

TEST_F(WaveFileHeaderRead, FileCutAtEveryOffsetNeverCrashes) {
    WaveBytes file;
    file.Head(0)
        .Chunk("LIST", {'x', 'y', 'z'})
        .Chunk("fmt ", PcmFormat(1, 8000, 16))
        .Chunk("data", {0x01, 0x00, 0x02, 0x00, 0x03, 0x00});
    const Bytes whole = file.Get();
    const std::size_t list_end = 12 + 11;     // without its pad byte
    const std::size_t fmt_end = 12 + 12 + 24; // of the "fmt " body
    const std::size_t data_start = whole.size() - 6;
    for (std::size_t length = 0; length <= whole.size(); ++length) {
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
        WaveFile_type wave;
        const bool valid = wave.OpenRead(Put(cut));
        // Cut inside a chunk, the file is open and refused with a reason;
        // cut where the list ends (with or without its pad byte), it holds no
        // "fmt " and is no wave file.
        EXPECT_EQ(valid, length > 12 && length != list_end && length != list_end + 1) << length;
        if (!valid) {
            continue;
        }
        EXPECT_EQ(wave.UnreadableReason().empty(), length == fmt_end || length >= data_start)
            << length;
        EXPECT_EQ(wave.DataSize(), length >= data_start ? 6u : 0u) << length;
        const std::size_t expected = length >= data_start ? (length - data_start) / 2 : 0;
        EXPECT_EQ(ReadAll(wave).size(), expected) << length;
    }
}

TEST_F(WaveFileHeaderRead, OpenReadOnAnOpenObjectReadsNothing) {
    WaveFile_type wave;
    ASSERT_TRUE(wave.OpenRead(Put(SimpleWave(2, 44100, 16, Bytes(8)), "a.wav")));
    EXPECT_TRUE(wave.OpenRead(Put(SimpleWave(1, 8000, 8, Bytes(3)), "b.wav")));
    EXPECT_EQ(wave.Channels(), 2);
    EXPECT_EQ(wave.DataSize(), 8u);

    // After Close the same object reads another file, with nothing left over.
    wave.Close();
    ASSERT_TRUE(wave.OpenRead(Put(WaveBytes().Head(0).Chunk("fmt ", {0x01, 0x00}).Get(), "c.wav")));
    EXPECT_EQ(wave.Channels(), 0);
    EXPECT_EQ(wave.DataSize(), 0u);
}

TEST(WaveFileDuration, SplitsByTruncation) {
    struct Case {
        std::uint32_t channels, rate, bits, data_size;
        std::uint32_t total, per_channel;
        double ms;
        std::uint16_t h, m, s, milli;
    };
    const Case cases[] = {
        {2, 44100, 16, 176400, 88200, 44100, 1000.0, 0, 0, 1, 0},
        {1, 8000, 16, 57600000, 28800000, 28800000, 3600000.0, 1, 0, 0, 0},
        {1, 2000, 8, 180123, 180123, 180123, 90061.5, 0, 1, 30, 61},
        {1, 1000, 8, 3723004, 3723004, 3723004, 3723004.0, 1, 2, 3, 4},
        {1, 48000, 24, 10, 3, 3, 0.0625, 0, 0, 0, 0},
        {3, 48000, 32, 35, 8, 2, 2.0 / 48.0, 0, 0, 0, 0},
    };
    ScratchFolder dir;
    for (const auto& c : cases) {
        // The data size is taken from the header; the body itself is absent.
        WaveBytes file;
        file.Head(0)
            .Chunk("fmt ", PcmFormat(c.channels, c.rate, c.bits))
            .Text("data")
            .U32(c.data_size);
        WriteFileBytes(dir / "d.wav", file.Get());
        WaveFile_type wave;
        ASSERT_TRUE(wave.OpenRead(dir / "d.wav"));
        EXPECT_EQ(wave.TotalSamples(), c.total) << c.data_size;
        EXPECT_EQ(wave.SamplesPerChannel(), c.per_channel) << c.data_size;
        EXPECT_DOUBLE_EQ(wave.DurationMs(), c.ms) << c.data_size;
        std::uint16_t h = 9, m = 9, s = 9, milli = 9;
        wave.SplitDuration(h, m, s, milli);
        EXPECT_EQ(h, c.h) << c.data_size;
        EXPECT_EQ(m, c.m) << c.data_size;
        EXPECT_EQ(s, c.s) << c.data_size;
        EXPECT_EQ(milli, c.milli) << c.data_size;
    }
}

TEST(WaveFileDuration, DegenerateHeadersAnswerZero) {
    struct Case {
        std::uint32_t channels, rate, bits;
    };
    const Case cases[] = {{0, 44100, 16}, {2, 0, 16}, {2, 44100, 0}, {2, 44100, 7}, {0, 0, 0}};
    ScratchFolder dir;
    for (const auto& c : cases) {
        WaveBytes file;
        file.Head(0).Chunk("fmt ", PcmFormat(c.channels, c.rate, c.bits)).Text("data").U32(1000);
        WriteFileBytes(dir / "z.wav", file.Get());
        WaveFile_type wave;
        ASSERT_TRUE(wave.OpenRead(dir / "z.wav"));
        EXPECT_EQ(wave.DurationMs(), 0.0);
        std::uint16_t h = 9, m = 9, s = 9, milli = 9;
        wave.SplitDuration(h, m, s, milli);
        EXPECT_EQ(h + m + s + milli, 0);
        if (c.bits < 8) {
            EXPECT_EQ(wave.TotalSamples(), 0u);
        }
        if (c.channels == 0) {
            EXPECT_EQ(wave.SamplesPerChannel(), 0u);
        }
    }
    // A new object divides nothing either.
    const WaveFile_type fresh;
    EXPECT_EQ(fresh.TotalSamples(), 0u);
    EXPECT_EQ(fresh.SamplesPerChannel(), 0u);
    EXPECT_EQ(fresh.DurationMs(), 0.0);
}

TEST(WaveFileDuration, VeryLongDurationsSaturateHours) {
    // 2^32 - 1 one-byte samples at 1 Hz: about 1.19 million hours.
    ScratchFolder dir;
    WaveBytes file;
    file.Head(0).Chunk("fmt ", PcmFormat(1, 1, 8)).Text("data").U32(0xFFFFFFFF);
    WriteFileBytes(dir / "long.wav", file.Get());
    WaveFile_type wave;
    ASSERT_TRUE(wave.OpenRead(dir / "long.wav"));
    std::uint16_t h = 0, m = 0, s = 0, milli = 0;
    wave.SplitDuration(h, m, s, milli);
    EXPECT_EQ(h, 65535);
    // 4294967295 s = 1193046 h 28 min 15 s.
    EXPECT_EQ(m, 28);
    EXPECT_EQ(s, 15);
    EXPECT_EQ(milli, 0);
}
