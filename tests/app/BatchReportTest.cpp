// The report, resuming with --skip-existing and a batch's decisions under
// any -j: the program run as a user runs it.

#include "app/BatchReport.hpp"

#include "support/RunProgram.hpp"
#include "support/ScratchFolder.hpp"
#include "support/Signals.hpp"
#include "support/WaveBytes.hpp"

#include <algorithm>
#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>
#include <sstream>

using namespace testsupport;

namespace {

// The report's lines without their timings, sorted: lines of a parallel
// batch come in any order.
std::vector<std::string> ReportLines(const std::string& path) {
    const Bytes bytes = ReadFileBytes(path);
    std::istringstream text(std::string(bytes.begin(), bytes.end()));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) {
        lines.push_back(line.substr(0, line.find(",\"seconds\":")));
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

} // namespace

TEST(BatchReport, JsonStringsEscapeControlsQuotesAndInvalidUtf8) {
    EXPECT_EQ(marrowvale::JsonString("a\"b\\c\n\t\x01\x7f \xC3\xA9 \xFF\xC0\xAF\xED\xA0\x80\xC3"),
              R"("a\"b\\c\n\t\u0001\u007f )"
              "\xC3\xA9"
              R"( \udcff\udcc0\udcaf\udced\udca0\udc80\udcc3")");
}

TEST(BatchReport, OneLinePerInputSameDecisionsForAnyJobsAndResumable) {
    ScratchFolder scratch;
    WavLayout mono;
    mono.channels = 1;
    Samples spiky = Sine(4410, 441.0, 44100.0, 10000.0);
    spiky[7] = spiky[70] = spiky[700] = 32767; // each clips at 8 bits
    for (const char* name : {"in/a/take.wav", "in/b/take.wav", "in/b/c/x.WAV"}) {
        boost::filesystem::create_directories(
            boost::filesystem::path(scratch / name).parent_path());
        WriteFileBytes(scratch / name, MakeWav(mono, spiky));
    }
    WriteFileBytes(scratch / "bad.wav", TextBytes("not a wave"));
    const std::string a = scratch / "in/a/take.wav";

    // Same names into one folder and one input twice: one conversion, the
    // rest named on standard error, alike for -j 1 and -j 2.
    std::vector<std::string> first;
    for (const std::string jobs : {"1", "2"}) {
        const ProgramResult run = RunMarrowvale(
            {a, scratch / "in/b/take.wav", scratch / "in/a/../a/take.wav", "-o", scratch / "flat",
             "-s", "48000", "-q", "-j", jobs, "--report", scratch / ("r" + jobs)});
        EXPECT_EQ(run.exit_status, 1);
        EXPECT_EQ(run.out.rfind("Batch: 1 converted, 2 skipped, 0 failed;", 0), 0u) << run.out;
        std::vector<std::string> seen = ReportLines(scratch / ("r" + jobs));
        seen.push_back(run.err);
        if (jobs == "1") {
            first = seen;
            EXPECT_EQ(seen.size(), 4u);
            EXPECT_NE(run.err.find("in/b/take.wav\": its output \"" + scratch / "flat/take.wav" +
                                   "\" is taken by \"" + a + "\"; skipped"),
                      std::string::npos)
                << run.err;
        }
        EXPECT_EQ(seen, first);
        boost::filesystem::remove_all(scratch / "flat");
    }
    std::string all;
    for (const std::string& line : first) {
        all += line + "\n";
    }
    EXPECT_NE(all.find("\"status\":\"converted\",\"reason\":null,\"rate_in\":44100,"
                       "\"rate_out\":48000,\"bits_in\":16,\"bits_out\":16,\"format_in\":"
                       "\"int\",\"format_out\":\"int\",\"channels\":1,\"frames_in\":4410,"
                       "\"frames_out\":4800,"),
              std::string::npos)
        << all;

    // A folder mirrors its tree; a rerun with --skip-existing keeps it
    // whole, removing a killed run's temporary.
    const std::vector<std::string> tree = {
        scratch / "in", scratch / "bad.wav", "-o", scratch / "out", "-b", "8", "-q",
        "--report",     scratch / "tree"};
    EXPECT_EQ(RunMarrowvale(tree).exit_status, 1);
    const std::vector<std::string> lines = ReportLines(scratch / "tree");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "{\"input\":\"" + scratch / "bad.wav" + "\",\"output\":\"" +
                            scratch / "out/bad.wav" +
                            "\",\"status\":\"skipped\",\"reason\":\"cannot be opened or is not a "
                            "RIFF WAVE file\",\"rate_in\":null,\"rate_out\":null,\"bits_in\":null,"
                            "\"bits_out\":null,\"format_in\":null,\"format_out\":null,"
                            "\"channels\":null,\"frames_in\":null,\"frames_out\":null,"
                            "\"clipped\":null,\"nonfinite\":null");
    EXPECT_NE(lines[1].find("\"frames_in\":4410,\"frames_out\":4410,\"clipped\":3,"),
              std::string::npos)
        << lines[1];
    const Bytes converted = ReadFileBytes(scratch / "out/b/c/x.WAV");
    WriteFileBytes(scratch / "out/a/.take.wav.0123abcd.part", TextBytes("killed"));
    std::vector<std::string> again = tree;
    again[0] = "--skip-existing";
    again[1] = scratch / "in";
    const ProgramResult rerun = RunMarrowvale(again);
    EXPECT_EQ(rerun.exit_status, 0) << rerun.err;
    EXPECT_EQ(rerun.out.rfind("Batch: 0 converted, 3 kept, 0 skipped, 0 failed;", 0), 0u);
    EXPECT_EQ(ReadFileBytes(scratch / "out/b/c/x.WAV"), converted);
    EXPECT_EQ(scratch.List("out/a"), std::vector<std::string>{"take.wav"});

    // Killed at any moment, the report holds only whole lines.
    std::vector<std::string> many = {"-o",       scratch / "many",  "-s", "96000", "-q", "-j", "2",
                                     "--report", scratch / "killed"};
    for (int i = 0; i < 40; ++i) {
        const std::string name = scratch / ("in/m" + std::to_string(i) + ".wav");
        WriteFileBytes(name, MakeWav(mono, Sine(100000, 441.0, 44100.0, 10000.0)));
        many.push_back(name);
    }
    RunMarrowvale(many, "timeout -s KILL 0.5");
    const Bytes killed = ReadFileBytes(scratch / "killed");
    const std::string text(killed.begin(), killed.end());
    EXPECT_LE(std::count(text.begin(), text.end(), '\n'), 40);
    EXPECT_TRUE(text.empty() || text.back() == '\n');
    for (const std::string& line : ReportLines(scratch / "killed")) {
        EXPECT_EQ(line.rfind("{\"input\":\"", 0), 0u) << line;
        EXPECT_EQ(std::count(line.begin(), line.end(), ':'), 15) << line;
    }
}
