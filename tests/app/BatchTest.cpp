// Batches: the file list (command line, list file, shard), the console text
// of files converted at once coming out in order, and what the program says
// and returns.

#include "app/BatchPlan.hpp"
#include "app/CommandLine.hpp"
#include "app/OrderedConsole.hpp"
#include "support/RunProgram.hpp"
#include "support/ScratchFolder.hpp"
#include "support/Signals.hpp"

#include <boost/program_options/errors.hpp>
#include <gtest/gtest.h>
#include <set>
#include <sstream>

using marrowvale::BatchInputs;
using marrowvale::CommandLine;
using marrowvale::ParseCommandLine;
using marrowvale::ParseShard;
using namespace testsupport;

namespace {

std::vector<std::string> Names(const std::vector<boost::filesystem::path>& paths) {
    std::vector<std::string> names;
    for (const auto& path : paths) {
        names.push_back(path.generic_string());
    }
    return names;
}

// Everything but the summary's timing, which no two runs share.
std::string WithoutTiming(const std::string& out) {
    const std::size_t at = out.rfind(" of audio in ");
    return at == std::string::npos ? out : out.substr(0, at);
}

} // namespace

TEST(Batch, ListFileAndShardsPartitionTheList) {
    ScratchFolder scratch;
    WriteFileBytes(scratch / "list.txt", TextBytes("c.wav\r\n\nd e.wav\nf.wav"));
    CommandLine command_line = ParseCommandLine(
        {"a.wav", "b.wav", "--files-from", scratch / "list.txt", "-o", "o", "-b", "16"});
    std::istringstream no_input;
    const std::vector<std::string> all = Names(BatchInputs(command_line, no_input));
    EXPECT_EQ(all, (std::vector<std::string>{"a.wav", "b.wav", "c.wav", "d e.wav", "f.wav"}));

    // Every file in exactly one shard, in list order within each.
    for (unsigned count = 1; count <= 6; ++count) {
        std::multiset<std::string> seen;
        for (unsigned index = 0; index < count; ++index) {
            marrowvale::BatchPlanSettings settings;
            settings.output_folder = "o";
            settings.shard = ParseShard(std::to_string(index) + "/" + std::to_string(count));
            std::vector<std::string> share;
            for (const auto& row :
                 marrowvale::PlanBatch(BatchInputs(command_line, no_input), settings).rows) {
                share.push_back(row.input.generic_string());
            }
            for (std::size_t i = 0; i < share.size(); ++i) {
                EXPECT_EQ(share[i], all[index + i * count]);
            }
            seen.insert(share.begin(), share.end());
        }
        EXPECT_EQ(seen, std::multiset<std::string>(all.begin(), all.end())) << count;
    }

    // "-" reads standard input; a list that cannot be read is an error.
    std::istringstream standard_input("x.wav\ny.wav\n");
    const CommandLine from_stdin = ParseCommandLine({"--files-from", "-", "-o", "o", "--float"});
    EXPECT_EQ(Names(BatchInputs(from_stdin, standard_input)),
              (std::vector<std::string>{"x.wav", "y.wav"}));
    const CommandLine missing =
        ParseCommandLine({"--files-from", scratch / "none.txt", "-o", "o", "-b", "16"});
    EXPECT_THROW(BatchInputs(missing, no_input), std::runtime_error);

    for (const char* bad : {"2/2", "1/0", "/3", "1/", "a/b", "-1/3", "1/3/4", "3"}) {
        EXPECT_THROW(ParseShard(bad), boost::program_options::invalid_option_value) << bad;
    }
}

TEST(Batch, ConsoleTextComesOutInListOrder) {
    std::ostringstream out;
    std::ostringstream err;
    {
        marrowvale::OrderedConsole console(out, err, 3);
        // File 0 is first: it goes out at once. Files 2 and 1 write (and 2
        // finishes) while 0 is still running: they are held.
        console.Out(0) << "zero-a ";
        console.Out(2) << "two ";
        console.Err(2) << "two-err ";
        console.Finish(2);
        console.Out(1) << "one-a ";
        EXPECT_EQ(out.str(), "zero-a ");
        console.Err(0) << "zero-err ";
        console.Finish(0);
        // Now 1 is first: what it held comes out and it goes on live; 2
        // waits for it.
        EXPECT_EQ(out.str(), "zero-a one-a ");
        console.Out(1) << "one-b ";
        EXPECT_EQ(out.str(), "zero-a one-a one-b ");
        EXPECT_EQ(err.str(), "zero-err ");
        console.Finish(1);
        EXPECT_EQ(out.str(), "zero-a one-a one-b two ");
        EXPECT_EQ(err.str(), "zero-err two-err ");
    }
    // A console dropped early (an interruption) still lets out what it held.
    std::ostringstream late;
    {
        marrowvale::OrderedConsole console(late, err, 2);
        console.Out(1) << "held";
    }
    EXPECT_EQ(late.str(), "held");
}

TEST(Batch, ParallelRunsGiveTheSerialRunsTextAndFiles) {
    // Files of different lengths and channel counts, so that they finish out
    // of order on two threads; dither off so that runs repeat.
    ScratchFolder scratch;
    const std::size_t frames[] = {30000, 500, 12000, 1};
    const int channels[] = {1, 2, 1, 3};
    std::vector<std::string> inputs;
    for (std::size_t i = 0; i < 4; ++i) {
        WavLayout layout;
        layout.channels = channels[i];
        layout.bits = 24;
        inputs.push_back(scratch / ("in" + std::to_string(i) + ".wav"));
        WriteFileBytes(
            inputs.back(),
            MakeWav(layout, NoiseSamples(frames[i] * static_cast<std::size_t>(channels[i]), 24,
                                         static_cast<std::uint32_t>(i))));
    }
    inputs.push_back(scratch / "missing.wav");
    std::string serial_out;
    std::string serial_err;
    for (const std::string jobs : {"1", "2", "3"}) {
        SCOPED_TRACE(jobs);
        std::vector<std::string> arguments = inputs;
        const std::vector<std::string> options = {"-o", "out" + jobs, "-s", "48000", "-b",
                                                  "16", "-n",         "3",  "-j",    jobs};
        arguments.insert(arguments.end(), options.begin(), options.end());
        const ProgramResult run = RunMarrowvale(arguments);
        EXPECT_EQ(run.exit_status, 1); // the missing file
        std::string out = WithoutTiming(run.out);
        std::string err = run.err;
        // The folder's name is the only difference allowed.
        for (std::string* text : {&out, &err}) {
            for (std::size_t at; (at = text->find("/out" + jobs + "/")) != std::string::npos;) {
                text->replace(at, 5 + jobs.size(), "/outX/");
            }
        }
        if (jobs == "1") {
            serial_out = out;
            serial_err = err;
            EXPECT_NE(out.find("Batch: 4 converted, 1 skipped, 0 failed; 0h 00m 00s 963ms"),
                      std::string::npos)
                << out;
            continue;
        }
        EXPECT_EQ(out, serial_out);
        EXPECT_EQ(err, serial_err);
        for (std::size_t i = 0; i < 4; ++i) {
            const std::string name = "/in" + std::to_string(i) + ".wav";
            EXPECT_EQ(ReadFileBytes(scratch / ("out" + jobs) + name),
                      ReadFileBytes(scratch / "out1" + name))
                << name;
        }
    }
}

TEST(Batch, QuietRunsSayOnlyTheSummaryAndProblems) {
    ScratchFolder scratch;
    WavLayout layout;
    WriteFileBytes(scratch / "a.wav", MakeWav(layout, NoiseSamples(2000, 16, 1)));
    const ProgramResult quiet =
        RunMarrowvale({scratch / "a.wav", scratch / "gone.wav", "-o", "q", "-s", "900000", "-q"});
    EXPECT_EQ(quiet.exit_status, 1);
    EXPECT_EQ(quiet.out.rfind(
                  "Batch: 1 converted, 1 skipped, 0 failed; 0h 00m 00s 022ms of audio in ", 0),
              0u)
        << quiet.out;
    EXPECT_EQ(quiet.out.find('\n'), quiet.out.size() - 1); // one line
    EXPECT_NE(quiet.err.find(
                  "marrowvale: -s 900000 is out of range (1 to 768000); the input's rate is kept"),
              std::string::npos)
        << quiet.err;
    EXPECT_NE(quiet.err.find("gone.wav\": cannot be opened"), std::string::npos) << quiet.err;

    // A single file without -q prints no summary.
    const ProgramResult single = RunMarrowvale({scratch / "a.wav", "-o", "s", "-b", "16"});
    EXPECT_EQ(single.exit_status, 0);
    EXPECT_EQ(single.out.find("Batch:"), std::string::npos);
}

TEST(Batch, ExitStatusesAndRangeWarnings) {
    EXPECT_EQ(RunMarrowvale({}).exit_status, 2);
    EXPECT_EQ(RunMarrowvale({"a.wav", "-s", "48000"}).exit_status, 2); // no -o
    EXPECT_EQ(RunMarrowvale({"a.wav", "-o", "out"}).exit_status, 2);   // no -s, -b
    EXPECT_EQ(RunMarrowvale({"-h"}).exit_status, 0);
    EXPECT_EQ(RunMarrowvale({"a.wav", "-o", "o", "-b", "8", "--shard", "3/3"}).exit_status, 2);

    const CommandLine warned = ParseCommandLine({"a.wav", "-o", "o", "-s", "768001", "-b", "33",
                                                 "-t", "3", "-d", "9", "-n", "4", "-j", "5000"});
    const std::vector<std::string> expected = {
        "-s 768001 is out of range (1 to 768000); the input's rate is kept",
        "-b 33 is out of range (1 to 32); the input's width is kept",
        "-t 3 is out of range (0 to 2); no dither is added",
        "-d 9 is out of range (0 to 2); 0 is used",
        "-n 4 is out of range (0 to 3); no noise shaping is done",
        "-j 5000 is out of range (0 to 1024); one per core is used"};
    EXPECT_EQ(warned.warnings, expected);
    EXPECT_EQ(warned.settings.new_sampling_rate, 0);
    EXPECT_EQ(warned.settings.new_bit_depth, 0);
    EXPECT_EQ(warned.jobs, 0u);
    EXPECT_TRUE(
        ParseCommandLine({"a.wav", "-o", "o", "-s", "768000", "-b", "32"}).warnings.empty());
}
