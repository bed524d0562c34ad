// RF64 files: read through their ds64 chunk, written small (the caller
// chooses the form) and stood past 4 GiB with the near-limit writer, so that
// no test writes gigabytes.

#include "audio/riffwave/WaveFile_type.hpp"
#include "support/NearLimitWriter.hpp"
#include "support/ScratchFolder.hpp"

#include <gtest/gtest.h>

using audio::riffwave::WaveFile_type;
using audio::riffwave::WaveFormat_type;
using namespace testsupport;

namespace {

// "RF64" (or `head`), a ds64 chunk with the sizes and table given, then `rest`.
Bytes Rf64File(std::uint64_t data_size, const Bytes& rest, const std::string& head = "RF64",
               const Bytes& table = {}) {
    WaveBytes ds64;
    ds64.U64(0).U64(data_size).U64(0).U32(static_cast<std::uint32_t>(table.size() / 12));
    return WaveBytes()
        .Text(head)
        .U32(0xFFFFFFFFu)
        .Text("WAVE")
        .Chunk("ds64", ds64.Raw(table).Get())
        .Raw(rest)
        .Get();
}

} // namespace

TEST(WaveFileRf64, ReadsItsSizesFromDs64) {
    ScratchFolder dir;
    const Bytes fmt = WaveBytes().Chunk("fmt ", PcmFormat(2, 48000, 16)).Get();
    const Bytes samples = EncodeSamples({1, -1, 300, -300}, 2);
    for (const char* head : {"RF64", "BW64"}) {
        // A chunk before the data is sized by the ds64 table.
        const Bytes rest = WaveBytes()
                               .Raw(fmt)
                               .Text("blob")
                               .U32(0xFFFFFFFFu)
                               .Raw({1, 2, 3, 0})
                               .Text("data")
                               .U32(0xFFFFFFFFu)
                               .Raw(samples)
                               .Get();
        WriteFileBytes(dir / "in.wav",
                       Rf64File(8, rest, head, WaveBytes().Text("blob").U64(3).Get()));
        WaveFile_type wave;
        ASSERT_TRUE(wave.OpenRead(dir / "in.wav")) << head;
        EXPECT_TRUE(wave.IsRf64());
        EXPECT_EQ(wave.UnreadableReason(), "");
        EXPECT_EQ(wave.DataSize(), 8u);
        ASSERT_EQ(wave.Chunks().size(), 1u);
        EXPECT_EQ(wave.Chunks()[0].size, 3u);
        std::vector<std::int32_t> read(8);
        read.resize(wave.ReadSamples(read, 8));
        EXPECT_EQ(read, (std::vector<std::int32_t>{1, -1, 300, -300}));
    }
    // 6 GiB claimed, 2 frames present: the claim is the size, the frames
    // present are what converts.
    const std::uint64_t claimed = std::uint64_t{6} << 30;
    WriteFileBytes(
        dir / "in.wav",
        Rf64File(claimed, WaveBytes().Raw(fmt).Text("data").U32(~0u).Raw(samples).Get()));
    WaveFile_type wave;
    ASSERT_TRUE(wave.OpenRead(dir / "in.wav"));
    EXPECT_EQ(wave.SamplesPerChannel(), claimed / 4);
    EXPECT_EQ(wave.FramesInFile(), 2u);
    // Without ds64 the size of the data is unknown, and said to be.
    WriteFileBytes(dir / "in.wav", WaveBytes()
                                       .Text("RF64")
                                       .U32(~0u)
                                       .Text("WAVE")
                                       .Raw(fmt)
                                       .Text("data")
                                       .U32(~0u)
                                       .Raw(samples)
                                       .Get());
    WaveFile_type no_ds64;
    ASSERT_TRUE(no_ds64.OpenRead(dir / "in.wav"));
    EXPECT_NE(no_ds64.UnreadableReason().find("no ds64 chunk"), std::string::npos);
}

TEST(WaveFileRf64, WrittenWithDs64FirstAndMaximalThirtyTwoBitSizes) {
    ScratchFolder dir;
    auto chunks = std::make_shared<audio::riffwave::ChunkBlocks>();
    chunks->before = WaveBytes().Chunk("iXML", TextBytes("<a/>")).Get();
    chunks->after = WaveBytes().Chunk("cue ", Bytes(4, 0)).Get();
    {
        WaveFile_type wave;
        ASSERT_TRUE(
            wave.OpenWrite(dir / "out.wav", WaveFormat_type{1, 2, 44100, 0, 0, 16}, true, chunks));
        wave.WriteSamples({1, -1, 2, -2, 3, -3}, 6);
    }
    // 12 + 36 (ds64) + 26 + 12 (iXML) + 8 + 12 (data) + 12 (cue) = 118 bytes.
    WaveBytes expected;
    expected.Text("RF64").U32(0xFFFFFFFFu).Text("WAVE");
    expected.Text("ds64").U32(28).U64(110).U64(12).U64(3).U32(0);
    expected.Text("fmt ").U32(18).U16(1).U16(2).U32(44100).U32(176400).U16(4).U16(16).U16(0);
    expected.Chunk("iXML", TextBytes("<a/>"));
    expected.Text("data").U32(0xFFFFFFFFu).Raw(EncodeSamples({1, -1, 2, -2, 3, -3}, 2));
    expected.Chunk("cue ", Bytes(4, 0));
    EXPECT_EQ(ReadFileBytes(dir / "out.wav"), expected.Get());
    WaveFile_type back;
    ASSERT_TRUE(back.OpenRead(dir / "out.wav"));
    EXPECT_TRUE(back.IsRf64());
    EXPECT_EQ(back.SamplesPerChannel(), 3u);
    ASSERT_EQ(back.Chunks().size(), 2u);
    EXPECT_TRUE(back.Chunks()[1].after_data);
}

TEST(WaveFileRf64, WriterGoesOnPastFourGibibytesWhereAPlainOneStops) {
    ScratchFolder dir;
    const std::uint64_t start = 0xFFFFFFFFu - 1;
    for (const bool rf64 : {true, false}) {
        NearLimitWriter wave;
        ASSERT_TRUE(
            wave.OpenWrite(dir / "big.wav", WaveFormat_type{1, 1, 8000, 0, 0, 16}, rf64, nullptr));
        wave.SetDataSizeForTesting(start);
        wave.WriteSamples({1, 2, 3}, 3);
        EXPECT_EQ(wave.Failed(), !rf64);
        wave.Close();
        if (rf64) {
            const ParsedWav wav = ParseWav(ReadFileBytes(dir / "big.wav"));
            EXPECT_EQ(wav.riff_size, 0xFFFFFFFFu);
            EXPECT_EQ(wav.data_size, 0xFFFFFFFFu);
            EXPECT_EQ(wav.ds64_data_size, start + 6);
            EXPECT_EQ(wav.ds64_riff_size, start + 6 + 82 - 8); // head 12, ds64 36, fmt 26, data 8
            EXPECT_EQ(wav.ds64_sample_count, (start + 6) / 2);
        }
    }
}

TEST(WaveFileRf64, SizesThatWrapStepBackOrOverrunAreRefusedWithAReason) {
    ScratchFolder dir;
    const Bytes after_ds64 = WaveBytes()
                                 .Chunk("fmt ", PcmFormat(1, 44100, 16))
                                 .Text("junk")
                                 .U32(0xFFFFFFFFu)
                                 .Chunk("data", {1, 0, 2, 0})
                                 .Get();
    struct Case {
        const char* what;
        std::uint64_t table_size; // of "junk"
        std::uint32_t entries;    // the table's length as its field gives it
        const char* reason;
    };
    // The junk header stands at 12 + 8 + 40 (ds64) + 24 (fmt) = 84; 4 bytes
    // of data chunk and 8 of header follow its body's start.
    const Case cases[] = {
        {"a size that wraps the step to +0", ~std::uint64_t{7}, 1,
         "its \"junk\" chunk at byte 84 gives a size of 18446744073709551608 bytes, more than "
         "the 12 left"},
        {"a size that steps back", ~std::uint64_t{15}, 1, "18446744073709551600 bytes, more"},
        {"a size of 2^63", std::uint64_t{1} << 63, 1, "9223372036854775808 bytes, more"},
        {"a table of 2^32 - 1 entries", 4, 0xFFFFFFFFu,
         "its ds64 table lists 4294967295 chunks but its body holds at most 1"},
    };
    for (const Case& c : cases) {
        WaveBytes ds64;
        ds64.U64(0).U64(4).U64(2).U32(c.entries).Text("junk").U64(c.table_size);
        const Bytes file = WaveBytes()
                               .Text("RF64")
                               .U32(0xFFFFFFFFu)
                               .Text("WAVE")
                               .Chunk("ds64", ds64.Get())
                               .Raw(after_ds64)
                               .Get();
        WriteFileBytes(dir / "in.wav", file);
        WaveFile_type wave;
        ASSERT_TRUE(wave.OpenRead(dir / "in.wav")) << c.what;
        EXPECT_NE(wave.UnreadableReason().find(c.reason), std::string::npos)
            << c.what << ": " << wave.UnreadableReason();
    }
    // A plain file's 32-bit size that runs past the end is refused the same way.
    WriteFileBytes(dir / "in.wav", WaveBytes()
                                       .Head(0)
                                       .Chunk("fmt ", PcmFormat(1, 44100, 16))
                                       .Text("LIST")
                                       .U32(0xFFFFFFF0u)
                                       .Chunk("data", {1, 0})
                                       .Get());
    WaveFile_type plain;
    ASSERT_TRUE(plain.OpenRead(dir / "in.wav"));
    EXPECT_NE(plain.UnreadableReason().find("\"LIST\" chunk at byte 36 gives a size of 4294967280"),
              std::string::npos)
        << plain.UnreadableReason();
}
