// Conversions of files that carry metadata, extensible headers or the RF64
// form, run through the program (and through Task_Convert with a lowered
// plain-file limit), with outputs read by the tests' own parsers.

#include "app/CommandLine.hpp"
#include "app/Task_convert.hpp"
#include "support/FloatWave.hpp"
#include "support/MetadataChunks.hpp"
#include "support/RunProgram.hpp"
#include "support/ScratchFolder.hpp"
#include "support/Signals.hpp"
#include "support/TaskProbes.hpp"
#include "task/TaskStatus.hpp"

#include <fstream>
#include <gtest/gtest.h>

using namespace testsupport;

namespace {

ProgramResult Convert(const ScratchFolder& scratch, const std::string& input,
                      std::vector<std::string> options) {
    std::vector<std::string> arguments{scratch / input, "-o", scratch / "out"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    return RunMarrowvale(arguments);
}

} // namespace

TEST(MetadataConversion, BroadcastRecordingTo44k1) {
    ScratchFolder scratch;
    // Two seconds of 48 kHz stereo: bext (one hour since midnight) and iXML
    // before the data; LIST/INFO, two cue points and a loop after it.
    WavLayout layout;
    layout.rate = 48000;
    const Bytes ixml = TextBytes("<BWFXML><SCENE>4</SCENE></BWFXML>");
    layout.chunks_before_data =
        WaveBytes().Chunk("bext", BextBody(172800000)).Chunk("iXML", ixml).Get();
    layout.chunks_after_data = WaveBytes()
                                   .Chunk("LIST", InfoList("Interview"))
                                   .Chunk("cue ", CueBody({{1, 48000, 48000}, {2, 72000, 72000}}))
                                   .Chunk("smpl", SmplBody(20833, {{24000, 71999}}))
                                   .Get();
    const Samples samples = NoiseSamples(2 * 96000, 16, 7);
    WriteFileBytes(scratch / "take.wav", MakeWav(layout, samples));
    auto run = Convert(scratch, "take.wav", {"-s", "44100"});
    ASSERT_EQ(run.exit_status, 0) << run.err;
    const Bytes out = ReadFileBytes(scratch / "out/take.wav");
    EXPECT_EQ(ChunkIds(out),
              (std::vector<std::string>{"fmt ", "bext", "iXML", "data", "LIST", "cue ", "smpl"}));
    EXPECT_EQ(ChunkBody(out, "iXML"), ixml);
    EXPECT_EQ(ChunkBody(out, "LIST"), InfoList("Interview"));
    EXPECT_EQ(ChunkBody(out, "bext"), BextBody(158760000)); // 3600 * 44100
    EXPECT_EQ(CuePoints(ChunkBody(out, "cue ")),
              (std::vector<CuePoint>{{1, 44100, 44100}, {2, 66150, 66150}}));
    EXPECT_EQ(Loops(ChunkBody(out, "smpl")), (std::vector<Loop>{{22050, 66149}}));
    EXPECT_EQ(SamplePeriod(ChunkBody(out, "smpl")), 22676u); // 1e9 / 44100 ns
    EXPECT_EQ(ParseWav(out).riff_size, out.size() - 8);

    // Stripped, the output is the one a file without metadata gives.
    run = Convert(scratch, "take.wav", {"-s", "44100", "--strip-metadata"});
    ASSERT_EQ(run.exit_status, 0) << run.err;
    const Bytes stripped = ReadFileBytes(scratch / "out/take.wav");
    EXPECT_EQ(ChunkIds(stripped), (std::vector<std::string>{"fmt ", "data"}));
    layout.chunks_before_data.clear();
    layout.chunks_after_data.clear();
    WriteFileBytes(scratch / "bare.wav", MakeWav(layout, samples));
    ASSERT_EQ(Convert(scratch, "bare.wav", {"-s", "44100"}).exit_status, 0);
    EXPECT_EQ(stripped, ReadFileBytes(scratch / "out/bare.wav"));
}

TEST(MetadataConversion, DroppedChunksOddBodiesAndEqualRates) {
    ScratchFolder scratch;
    // 8-bit mono, 5 frames: an odd data body. Chunks that describe the input
    // samples or pad go; a bext before "fmt " comes out after it; the chunk
    // after the data follows a pad byte.
    WaveBytes file;
    file.Head(0).Chunk("bext", BextBody(1000, 603)).Chunk("fmt ", PcmFormat(1, 8000, 8));
    file.Chunk("JUNK", Bytes(28, 0)).Chunk("PEAK", Bytes(24, 7)).Chunk("fact", Bytes(4, 0));
    file.Chunk("data", {0x80, 0x81, 0x82, 0x83, 0x84});
    file.Chunk("levl", Bytes(40, 3)).Chunk("LIST", InfoList("odd")).Chunk("PAD ", {});
    WriteFileBytes(scratch / "odd.wav", file.Get());
    ASSERT_EQ(Convert(scratch, "odd.wav", {"-b", "8"}).exit_status, 0);
    WaveBytes expected;
    expected.Text("RIFF").U32(4 + 26 + 612 + 14 + 24).Text("WAVE");
    expected.Chunk("fmt ", WaveBytes().Raw(PcmFormat(1, 8000, 8)).U16(0).Get());
    expected.Chunk("bext", BextBody(1000, 603)); // kept whole at an equal rate
    expected.Chunk("data", {0x80, 0x81, 0x82, 0x83, 0x84}).Chunk("LIST", InfoList("odd"));
    EXPECT_EQ(ReadFileBytes(scratch / "out/odd.wav"), expected.Get());
}

TEST(MetadataConversion, ExtensibleInputKeepsItsFormAndChannelMask) {
    ScratchFolder scratch;
    WavLayout layout;
    layout.format_tag = 65534;
    layout.channels = 6;
    layout.bits = 24;
    layout.rate = 48000;
    layout.channel_mask = 0x60F; // 5.1 with side surrounds
    WriteFileBytes(scratch / "surround.wav", MakeWav(layout, NoiseSamples(6 * 4800, 24, 6)));
    layout.format_tag = 1;
    WriteFileBytes(scratch / "plain.wav", MakeWav(layout, NoiseSamples(6 * 480, 24, 6)));
    struct Case {
        std::vector<std::string> options;
        int sub_format, bits, valid_bits;
    };
    for (const Case& c : {Case{{"-s", "44100", "-b", "16"}, 1, 16, 16},
                          Case{{"-b", "20"}, 1, 24, 20}, Case{{"--float"}, 3, 32, 32}}) {
        const auto run = Convert(scratch, "surround.wav", c.options);
        ASSERT_EQ(run.exit_status, 0) << run.err;
        const ParsedWav wav = ParseWav(ReadFileBytes(scratch / "out/surround.wav"));
        SCOPED_TRACE(c.options[0]);
        EXPECT_EQ(wav.format_tag, 65534);
        EXPECT_EQ(wav.channel_mask, 0x60Fu);
        EXPECT_EQ(wav.sub_format, c.sub_format);
        EXPECT_EQ(wav.bits, c.bits);
        EXPECT_EQ(wav.valid_bits, c.valid_bits);
        EXPECT_NE(run.out.find("RIFF WAV format     = 65534"), std::string::npos);
    }
    // A plain input keeps the plain header.
    ASSERT_EQ(Convert(scratch, "plain.wav", {"-b", "16"}).exit_status, 0);
    EXPECT_EQ(ChunkBody(ReadFileBytes(scratch / "out/plain.wav"), "fmt ").size(), 18u);
}

TEST(MetadataConversion, UnreadableLayoutsAndTooMuchMetadataAreSkippedWithTheReason) {
    ScratchFolder scratch;
    WavLayout slots;
    slots.bits = 24;
    slots.block_align_override = 8; // 24-bit stereo in 4-byte slots
    WriteFileBytes(scratch / "slots.wav", MakeWav(slots, NoiseSamples(200, 24, 1)));
    // A sparse 65 MiB chunk after the data costs no disk.
    const std::uint32_t size = 65u << 20;
    const Bytes head = WaveBytes()
                           .Head(0)
                           .Chunk("fmt ", PcmFormat(1, 8000, 16))
                           .Chunk("data", EncodeSamples({1, 2, 3}, 2))
                           .Text("blob")
                           .U32(size)
                           .Get();
    WriteFileBytes(scratch / "big.wav", head);
    std::ofstream(scratch / "big.wav", std::ios::binary | std::ios::in | std::ios::out)
        .seekp(static_cast<std::streamoff>(head.size() + size - 1))
        .put(0);
    WriteFileBytes(scratch / "good.wav", MakeWav(WavLayout(), NoiseSamples(200, 16, 1)));
    auto run = RunMarrowvale({scratch / "slots.wav", scratch / "big.wav", scratch / "good.wav",
                              "-o", scratch / "out", "-b", "16"});
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_NE(run.err.find("\"" + (scratch / "slots.wav") +
                           "\": block_align is 8 bytes, but 2 channels of 24-bit samples take 6"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("\"" + (scratch / "big.wav") +
                           "\": its metadata chunks hold more than the 64 MiB carried over; "
                           "--strip-metadata converts it without them"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(scratch.List("out"), std::vector<std::string>{"good.wav"});
    ASSERT_EQ(Convert(scratch, "big.wav", {"-b", "16", "--strip-metadata"}).exit_status, 0);
    EXPECT_EQ(ParseWav(ReadFileBytes(scratch / "out/big.wav")).samples, (Samples{1, 2, 3}));
    EXPECT_TRUE(marrowvale::ParseCommandLine({"a.wav", "-o", "o", "-b", "16", "--strip-metadata"})
                    .settings.strip_metadata);
}

TEST(MetadataConversion, Rf64InputConverts) {
    ScratchFolder scratch;
    WavLayout layout;
    layout.rf64 = true;
    layout.rate = 48000;
    layout.chunks_before_data = WaveBytes().Chunk("bext", BextBody(4800)).Get();
    const Samples samples = NoiseSamples(2 * 4801, 16, 9);
    WriteFileBytes(scratch / "long.wav", MakeWav(layout, samples));
    const auto run = Convert(scratch, "long.wav", {"-s", "44100"});
    ASSERT_EQ(run.exit_status, 0) << run.err;
    EXPECT_NE(run.out.find("Samples per Channel = 4801"), std::string::npos) << run.out;
    const Bytes out = ReadFileBytes(scratch / "out/long.wav");
    const ParsedWav wav = ParseWav(out);
    EXPECT_FALSE(wav.rf64); // small enough for a plain file
    EXPECT_EQ(wav.samples.size(), 2 * ExactLength(4801, 48000, 44100));
    EXPECT_EQ(TimeReference(ChunkBody(out, "bext")), 4410u);
}

TEST(MetadataConversion, OutputsPastThePlainLimitAreRf64) {
    ScratchFolder scratch;
    WavLayout layout;
    layout.chunks_after_data = WaveBytes().Chunk("cue ", CueBody({{1, 500, 500}})).Get();
    const Samples samples = NoiseSamples(2 * 1000, 16, 5);
    WriteFileBytes(scratch / "in.wav", MakeWav(layout, samples));
    // As a plain file the output takes 12 + 26 (fmt) + 8 + 4000 (data) + 36
    // (cue) = 4082 bytes: a limit of 4082 keeps it plain, 4081 makes it RF64.
    for (const std::uint64_t limit : {4082u, 4081u}) {
        marrowvale::ConversionSettings settings;
        settings.output_folder = scratch / std::to_string(limit);
        settings.new_bit_depth = 16;
        settings.container_bits = 16;
        marrowvale::Task_Convert task;
        task.Setup(settings, scratch / "in.wav");
        task.SetPlainFileLimit(limit);
        ASSERT_EQ(task.RefusalReason(), "");
        const bool rf64 = limit == 4081;
        EXPECT_EQ(task.Plan().rf64, rf64);
        RecordingProgress progress;
        std::atomic<bool> stop{false};
        task::TaskStatus status(stop);
        task.Run(progress, status);
        ASSERT_EQ(task.Outcome(), marrowvale::ConversionOutcome::Converted) << task.FailureReason();
        const Bytes out = ReadFileBytes(task.OutputPath());
        const ParsedWav wav = ParseWav(out);
        EXPECT_EQ(wav.rf64, rf64);
        EXPECT_EQ(wav.samples, samples);
        EXPECT_EQ(ChunkBody(out, "cue "), CueBody({{1, 500, 500}}));
        EXPECT_EQ(out.size(), rf64 ? 4082u + 36u : 4082u); // RF64 adds its ds64 chunk
        if (rf64) {
            EXPECT_EQ(wav.ds64_riff_size, out.size() - 8);
            EXPECT_EQ(wav.ds64_data_size, 4000u);
        }
        audio::riffwave::WaveFile_type back; // the report reads outputs back
        ASSERT_TRUE(back.OpenRead(task.OutputPath()));
        EXPECT_EQ(back.SamplesPerChannel(), 1000u);
    }
}
