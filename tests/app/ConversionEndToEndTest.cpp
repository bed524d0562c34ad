// Runs the built program on files written by the tests and checks the files
// it writes with the tests' own parser.

#include "support/RunProgram.hpp"
#include "support/ScratchFolder.hpp"
#include "support/Signals.hpp"

#include <algorithm>
#include <boost/filesystem/operations.hpp>
#include <cmath>
#include <gtest/gtest.h>
#include <sys/stat.h>

using testsupport::MakeWav;
using testsupport::ParseWav;
using testsupport::ReadFileBytes;
using testsupport::RunMarrowvale;
using testsupport::ScratchFolder;
using testsupport::WavLayout;
using testsupport::WriteFileBytes;

namespace {

struct Converted {
    testsupport::ProgramResult run;
    testsupport::ParsedWav wav;
};

// Writes `input` as in/a.wav, converts it into out/ and parses the result.
Converted Convert(const ScratchFolder& scratch, const testsupport::Bytes& input_bytes,
                  std::vector<std::string> options) {
    ::mkdir((scratch / "in").c_str(), 0755);
    WriteFileBytes(scratch / "in/a.wav", input_bytes);
    std::vector<std::string> arguments{scratch / "in/a.wav", "-o", scratch / "out"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    Converted result;
    result.run = RunMarrowvale(arguments);
    result.wav = ParseWav(ReadFileBytes(scratch / "out/a.wav"));
    return result;
}

} // namespace

TEST(Conversion, EqualRateAndWidthKeepSamplesExactly) {
    for (int bits : {8, 16, 24, 32}) {
        for (int channels : {1, 2, 6}) {
            ScratchFolder scratch;
            WavLayout layout;
            layout.channels = channels;
            layout.bits = bits;
            layout.rate = 22050;
            const auto samples =
                testsupport::NoiseSamples(static_cast<std::size_t>(1001 * channels), bits,
                                          static_cast<std::uint32_t>(bits + channels));
            const auto result =
                Convert(scratch, MakeWav(layout, samples), {"-b", std::to_string(bits)});
            SCOPED_TRACE(std::to_string(bits) + " bits, " + std::to_string(channels) + " channels");
            EXPECT_EQ(result.run.exit_status, 0) << result.run.err;
            ASSERT_TRUE(result.wav.ok);
            EXPECT_EQ(result.wav.channels, channels);
            EXPECT_EQ(result.wav.rate, 22050u);
            EXPECT_EQ(result.wav.bits, bits);
            EXPECT_EQ(result.wav.block_align, channels * bits / 8);
            EXPECT_EQ(result.wav.byte_rate, 22050u * static_cast<unsigned>(channels * bits / 8));
            // An odd data body (8 and 24 bits, one channel) is followed by a
            // zero pad byte that the RIFF size counts.
            const std::size_t data_bytes = samples.size() * static_cast<std::size_t>(bits / 8);
            const std::size_t pad = data_bytes % 2;
            EXPECT_EQ(result.wav.riff_size, data_bytes + pad + 38);
            EXPECT_EQ(result.wav.samples, samples);
            const testsupport::Bytes bytes = ReadFileBytes(scratch / "out/a.wav");
            ASSERT_EQ(bytes.size(), 46 + data_bytes + pad);
            EXPECT_TRUE(pad == 0 || bytes.back() == 0);
        }
    }
}

TEST(Conversion, HundredThousandFramesAndTheProgressBar) {
    ScratchFolder scratch;
    WavLayout layout;
    const auto samples = testsupport::NoiseSamples(200000, 16, 7);
    const auto result = Convert(scratch, MakeWav(layout, samples), {"-s", "0"});
    EXPECT_EQ(result.run.exit_status, 0) << result.run.err;
    EXPECT_EQ(result.wav.samples, samples);
    const std::string bar = "0%   10   20   30   40   50   60   70   80   90   100%\n"
                            "|----|----|----|----|----|----|----|----|----|----|\n" +
                            std::string(51, '*') + "\n";
    EXPECT_NE(result.run.out.find(bar), std::string::npos) << result.run.out;
}

TEST(Conversion, ReportsAndBarExactly) {
    ScratchFolder scratch;
    WavLayout layout;
    const auto samples = testsupport::NoiseSamples(2000, 16, 3);
    const auto result = Convert(scratch, MakeWav(layout, samples), {"-b", "16"});
    const std::string report = "RIFF WAV format     = 1\n"
                               "Number of Channels  = 2\n"
                               "Sampling Rate       = 44100\n"
                               "Bits per Sample     = 16\n"
                               "Total Samples       = 2000\n"
                               "Samples per Channel = 1000\n"
                               "Duration            = 0h 00m 00s 022ms\n";
    const std::string expected = "Marrowvale Command Line ver. 1.0\n\n"
                                 "\nConverting File 1 of 1\n"
                                 "\nInput File \"" +
                                 (scratch / "in/a.wav") + "\" is open\n" + report +
                                 "\n0%   10   20   30   40   50   60   70   80   90   100%\n"
                                 "|----|----|----|----|----|----|----|----|----|----|\n" +
                                 std::string(51, '*') + "\n" + "\nOutput File \"" +
                                 (scratch / "out/a.wav") + "\" is finished\n" + report;
    EXPECT_EQ(result.run.out, expected);
    EXPECT_EQ(result.run.err, "");
    EXPECT_EQ(result.run.exit_status, 0);
}

TEST(Conversion, OnlyTheDataBodyIsConverted) {
    const auto samples = testsupport::NoiseSamples(3000, 16, 11);
    {
        ScratchFolder scratch;
        WavLayout layout;
        layout.chunks_before_data = testsupport::WaveBytes()
                                        .Chunk("LIST", testsupport::TextBytes("abcde"))
                                        .Get(); // odd, with pad byte
        layout.chunks_after_data =
            testsupport::WaveBytes().Chunk("LIST", testsupport::Bytes(999, 'x')).Get();
        const auto result = Convert(scratch, MakeWav(layout, samples), {"-b", "16"});
        EXPECT_EQ(result.run.exit_status, 0) << result.run.err;
        EXPECT_EQ(result.wav.samples, samples);
    }
    {
        // A cut file: the header promises more than the file holds.
        ScratchFolder scratch;
        WavLayout layout;
        layout.data_size_override = 100000;
        const auto result = Convert(scratch, MakeWav(layout, samples), {"-b", "16"});
        EXPECT_EQ(result.run.exit_status, 0) << result.run.err;
        EXPECT_EQ(result.wav.samples, samples);
        EXPECT_EQ(result.wav.data_size, samples.size() * 2);
    }
    {
        // A cut inside a frame: the incomplete frame is dropped.
        ScratchFolder scratch;
        WavLayout layout;
        auto odd = samples;
        odd.push_back(5);
        const auto result = Convert(scratch, MakeWav(layout, odd), {"-b", "16"});
        EXPECT_EQ(result.run.exit_status, 0) << result.run.err;
        EXPECT_EQ(result.wav.samples, samples);
    }
    {
        ScratchFolder scratch;
        WavLayout layout;
        const auto result = Convert(scratch, MakeWav(layout, {}), {"-s", "48000"});
        EXPECT_EQ(result.run.exit_status, 0) << result.run.err;
        ASSERT_TRUE(result.wav.ok);
        EXPECT_EQ(result.wav.samples.size(), 0u);
        EXPECT_EQ(ReadFileBytes(scratch / "out/a.wav").size(), 46u);
    }
}

TEST(Conversion, WidthChanges) {
    const auto samples = testsupport::NoiseSamples(4001 * 2, 24, 5);
    {
        ScratchFolder scratch;
        WavLayout layout;
        layout.bits = 24;
        const auto result = Convert(scratch, MakeWav(layout, samples), {"-b", "16"});
        EXPECT_EQ(result.run.exit_status, 0) << result.run.err;
        ASSERT_EQ(result.wav.samples.size(), samples.size());
        EXPECT_EQ(result.wav.bits, 16);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            // Round half away from zero, then clip to 16 bits.
            const double t = samples[i] / 256.0;
            long q = static_cast<long>(t >= 0 ? std::floor(t + 0.5) : std::ceil(t - 0.5));
            q = std::min(32767L, std::max(-32768L, q));
            ASSERT_EQ(result.wav.samples[i], q) << i;
        }
    }
    {
        ScratchFolder scratch;
        WavLayout layout;
        const auto narrow = testsupport::NoiseSamples(999 * 2, 16, 9);
        const auto result = Convert(scratch, MakeWav(layout, narrow), {"-b", "24"});
        EXPECT_EQ(result.run.exit_status, 0) << result.run.err;
        ASSERT_EQ(result.wav.samples.size(), narrow.size());
        EXPECT_EQ(result.wav.bits, 24);
        for (std::size_t i = 0; i < narrow.size(); ++i) {
            ASSERT_EQ(result.wav.samples[i], narrow[i] * 256) << i;
        }
    }
    {
        // -b 20 -c 40 leaves a container of 0: the input's width is kept.
        ScratchFolder scratch;
        WavLayout layout;
        layout.bits = 24;
        const auto result = Convert(scratch, MakeWav(layout, samples), {"-b", "20", "-c", "40"});
        EXPECT_EQ(result.run.exit_status, 0) << result.run.err;
        EXPECT_EQ(result.wav.bits, 24);
        EXPECT_EQ(result.wav.samples, samples);
    }
}

TEST(Conversion, ResamplingKeepsLengthToneAndChannelAlignment) {
    for (std::size_t frames : {1u, 200u, 44100u}) {
        ScratchFolder scratch;
        WavLayout layout;
        layout.bits = 24;
        const auto left = testsupport::Sine(frames, 1000.0, 44100.0, 0.5 * 8388607);
        auto right = left;
        for (auto& v : right) {
            v = -v;
        }
        const auto result = Convert(
            scratch, MakeWav(layout, testsupport::Interleave({left, right})), {"-s", "48000"});
        SCOPED_TRACE(frames);
        EXPECT_EQ(result.run.exit_status, 0) << result.run.err;
        const std::size_t expected_frames = testsupport::ExactLength(frames, 44100, 48000);
        ASSERT_EQ(result.wav.samples.size(), 2 * expected_frames);
        EXPECT_EQ(result.wav.rate, 48000u);
        const auto out_left = testsupport::ChannelOf(result.wav.samples, 2, 0);
        const auto out_right = testsupport::ChannelOf(result.wav.samples, 2, 1);
        for (std::size_t i = 0; i < expected_frames; ++i) {
            ASSERT_NEAR(out_left[i], -out_right[i], 1) << i;
        }
        if (frames == 44100) {
            EXPECT_GT(testsupport::FitSine(out_left, 1000.0, 48000.0, 4800, 43200).sinad_db, 110.0);
        }
    }
}

TEST(Conversion, OutputFolderRules) {
    ScratchFolder scratch;
    WavLayout layout;
    const auto samples = testsupport::NoiseSamples(100, 16, 1);
    ::mkdir((scratch / "music").c_str(), 0755);
    WriteFileBytes(scratch / "music/a.wav", MakeWav(layout, samples));

    // Absolute folder, created with its missing parents.
    auto run = RunMarrowvale({scratch / "music/a.wav", "-o", scratch / "x/y/z", "-b", "16"});
    EXPECT_EQ(run.exit_status, 0) << run.err;
    EXPECT_EQ(ParseWav(ReadFileBytes(scratch / "x/y/z/a.wav")).samples, samples);

    // A relative folder is taken from the input's own folder.
    run = RunMarrowvale({scratch / "music/a.wav", "-o", "conv/deeper", "-b", "16"});
    EXPECT_EQ(run.exit_status, 0) << run.err;
    EXPECT_EQ(ParseWav(ReadFileBytes(scratch / "music/conv/deeper/a.wav")).samples, samples);
    // No temporary file is left behind.
    EXPECT_EQ(scratch.List("music/conv/deeper"), std::vector<std::string>{"a.wav"});
}

TEST(Conversion, UnconvertibleFilesAreSkippedWithAReason) {
    ScratchFolder scratch;
    const auto samples = testsupport::NoiseSamples(64, 16, 2);
    WavLayout good;
    WriteFileBytes(scratch / "good.wav", MakeWav(good, samples));
    WriteFileBytes(scratch / "text.wav", testsupport::TextBytes("this is not a wave file"));
    // Float samples convert at 32 and 64 bits only.
    WavLayout flt = good;
    flt.format_tag = 3;
    flt.bits = 16;
    WriteFileBytes(scratch / "float.wav", MakeWav(flt, samples));
    WavLayout ext_float = flt;
    ext_float.format_tag = 65534;
    ext_float.sub_format = 3;
    ext_float.bits = 24;
    WriteFileBytes(scratch / "extfloat.wav",
                   MakeWav(ext_float, testsupport::NoiseSamples(64, 24, 2)));
    WavLayout twelve = good;
    twelve.bits = 12;
    WriteFileBytes(scratch / "twelve.wav", MakeWav(twelve, {}));
    WavLayout silent = good;
    silent.channels = 0;
    WriteFileBytes(scratch / "nochannels.wav", MakeWav(silent, {}));
    WavLayout ext_pcm = good;
    ext_pcm.format_tag = 65534;
    WriteFileBytes(scratch / "extpcm.wav", MakeWav(ext_pcm, samples));

    const std::vector<std::string> bad = {"missing.wav",  "text.wav",   "float.wav",
                                          "extfloat.wav", "twelve.wav", "nochannels.wav"};
    std::vector<std::string> arguments;
    for (const auto& name : bad) {
        arguments.push_back(scratch / name);
    }
    arguments.push_back(scratch / "good.wav");
    arguments.push_back(scratch / "extpcm.wav");
    for (const char* option : {"-o", "out", "-b", "16"}) {
        arguments.push_back(option);
    }
    const auto run = RunMarrowvale(arguments);
    EXPECT_EQ(run.exit_status, 1);
    for (const auto& name : bad) {
        EXPECT_NE(run.err.find("\"" + (scratch / name) + "\": "), std::string::npos) << name;
        EXPECT_EQ(run.out.find(scratch / name), std::string::npos) << name; // no report
    }
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), static_cast<long>(bad.size()));
    EXPECT_EQ(scratch.List("out"), (std::vector<std::string>{"extpcm.wav", "good.wav"}));
    EXPECT_EQ(ParseWav(ReadFileBytes(scratch / "out/good.wav")).samples, samples);
    EXPECT_EQ(ParseWav(ReadFileBytes(scratch / "out/extpcm.wav")).samples, samples);
}

TEST(Conversion, NeverLosesAnExistingFile) {
    ScratchFolder scratch;
    WavLayout layout;
    const auto samples = testsupport::NoiseSamples(100000, 16, 4);
    const testsupport::Bytes input = MakeWav(layout, samples);
    WriteFileBytes(scratch / "a.wav", input);

    // "-o ." names the input itself.
    auto run = RunMarrowvale({scratch / "a.wav", "-o", ".", "-b", "16"});
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_NE(run.err.find("input"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(scratch / "a.wav"), input);

    // A write that fails half-way (file size limit) leaves the old output.
    ::mkdir((scratch / "out").c_str(), 0755);
    WriteFileBytes(scratch / "out/a.wav", testsupport::TextBytes("precious"));
    run = RunMarrowvale({scratch / "a.wav", "-o", scratch / "out", "-s", "48000"},
                        "trap '' XFSZ; ulimit -f 64;");
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_NE(run.err.find("failed"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFileBytes(scratch / "out/a.wav"), testsupport::TextBytes("precious"));
    EXPECT_EQ(scratch.List("out"), std::vector<std::string>{"a.wav"});
    EXPECT_EQ(ReadFileBytes(scratch / "a.wav"), input);
}

TEST(Conversion, ThreadedVectorisedAndPlainPathsAgree) {
    struct Case {
        int channels;
        std::uint32_t from;
        const char* to;
    };
    for (const Case& c : {Case{2, 44100, "48000"}, Case{3, 48000, "44100"}, Case{5, 96000, "44100"},
                          Case{1, 22050, "44100"}}) {
        ScratchFolder scratch;
        WavLayout layout;
        layout.channels = c.channels;
        layout.bits = 24;
        layout.rate = c.from;
        const auto samples =
            testsupport::NoiseSamples(static_cast<std::size_t>(c.channels) * 30000, 22, c.from);
        WriteFileBytes(scratch / "a.wav", MakeWav(layout, samples));
        // One thread and the portable kernel, against the default: threads
        // for the channels and the processor's vector kernel.
        const auto plain = RunMarrowvale(
            {scratch / "a.wav", "-o", "plain", "-s", c.to, "-b", "16"},
            "MARROWVALE_THREADS=1 MARROWVALE_GENERIC_KERNEL=1; export MARROWVALE_THREADS "
            "MARROWVALE_GENERIC_KERNEL;");
        const auto fast = RunMarrowvale({scratch / "a.wav", "-o", "fast", "-s", c.to, "-b", "16"},
                                        "unset MARROWVALE_THREADS MARROWVALE_GENERIC_KERNEL;");
        SCOPED_TRACE(std::to_string(c.channels) + " channels to " + c.to);
        EXPECT_EQ(plain.exit_status, 0) << plain.err;
        EXPECT_EQ(fast.exit_status, 0) << fast.err;
        const testsupport::Bytes bytes = ReadFileBytes(scratch / "plain/a.wav");
        EXPECT_GT(bytes.size(), 46u);
        EXPECT_EQ(bytes, ReadFileBytes(scratch / "fast/a.wav"));
    }
}

TEST(Conversion, StopRequestsEndEveryPhaseWithinASecond) {
    ScratchFolder scratch;
    WavLayout layout;
    // Long enough, and up-sampled far enough, that the signal always arrives
    // well before the end (about 1.5 s of work in an optimised build).
    const auto samples = testsupport::NoiseSamples(2 * 44100 * 120, 16, 6);
    WriteFileBytes(scratch / "a.wav", MakeWav(layout, samples));
    WriteFileBytes(scratch / "b.wav", MakeWav(layout, testsupport::NoiseSamples(200, 16, 6)));
    // Opening a FIFO that nobody writes never returns by itself.
    ASSERT_EQ(::mkfifo((scratch / "fifo.wav").c_str(), 0600), 0);
    struct Case {
        const char* signal;
        std::vector<std::string> inputs;
        const char* jobs;
    };
    const Case cases[] = {
        // One file at a time, so that the second one waits for the first.
        {"INT", {scratch / "a.wav", scratch / "b.wav"}, "1"},
        {"TERM", {scratch / "a.wav", scratch / "a.wav", scratch / "b.wav"}, "4"},
        {"TERM", {scratch / "fifo.wav", scratch / "b.wav"}, "2"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = c.inputs;
        arguments.insert(arguments.end(), {"-o", scratch / "out", "-s", "768000", "-j", c.jobs});
        // Killed a second after the signal: 137 rather than 130 if it is
        // still running by then.
        const auto run = RunMarrowvale(
            arguments, std::string("timeout --preserve-status -k 1 -s ") + c.signal + " 0.3");
        SCOPED_TRACE(std::string(c.signal) + " on " + c.inputs[0] + " with -j " + c.jobs);
        EXPECT_EQ(run.exit_status, 130) << run.err;
        // Ended by the batch itself, or, when it is held up longer (in an
        // open that never returns, or a slow instrumented build), at once.
        EXPECT_TRUE(run.err.find("interrupted") != std::string::npos ||
                    run.err.find("stopped; unfinished outputs were removed") != std::string::npos)
            << run.err;
        // Only finished outputs remain: the short b.wav when it ran beside
        // the stopped file.
        const std::vector<std::string> left = scratch.List("out");
        EXPECT_TRUE(left.empty() || (left == std::vector<std::string>{"b.wav"} && c.jobs[0] != '1'))
            << left.size() << " " << (left.empty() ? "" : left[0]);
        boost::filesystem::remove_all(scratch / "out");
    }
}
