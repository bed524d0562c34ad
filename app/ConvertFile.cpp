#include "app/ConvertFile.hpp"

#include "app/Task_convert.hpp"
#include "audio/riffwave/WaveFile_type.hpp"
#include "task/TaskProgress_Silent.hpp"
#include "task/TaskProgress_StdOstream.hpp"
#include "task/TaskStatus.hpp"

#include <boost/format.hpp>
#include <cstdlib>
#include <exception>
#include <iostream>

namespace marrowvale {

namespace {

void PrintReport(std::ostream& out, const boost::format& first_line,
                 const audio::riffwave::WaveFile_type& file) {
    std::uint16_t hours = 0;
    std::uint16_t minutes = 0;
    std::uint16_t seconds = 0;
    std::uint16_t milliseconds = 0;
    file.SplitDuration(hours, minutes, seconds, milliseconds);
    out << first_line << boost::format("RIFF WAV format     = %u\n") % file.FormatTag()
        << boost::format("Number of Channels  = %u\n") % file.Channels()
        << boost::format("Sampling Rate       = %u\n") % file.SampleRate()
        << boost::format("Bits per Sample     = %u\n") % file.BitsPerSample()
        << boost::format("Total Samples       = %u\n") % file.TotalSamples()
        << boost::format("Samples per Channel = %u\n") % file.SamplesPerChannel()
        << boost::format("Duration            = %dh %02dm %02ds %03dms") % hours % minutes %
               seconds % milliseconds
        << std::endl;
}

void Complain(const FileConsole& console, const boost::filesystem::path& input_path,
              const std::string& reason) {
    console.out.flush();
    console.err << "marrowvale: \"" << input_path.generic_string() << "\": " << reason << std::endl;
}

} // namespace

FileResult ConvertFile(const ConversionSettings& settings,
                       const boost::filesystem::path& input_path,
                       const boost::filesystem::path& output_path, std::atomic<bool>& stop_flag,
                       const FileConsole& console, unsigned threads) {
    FileResult result;
    Task_Convert task;
    task.Setup(settings, input_path);
    task.SetOutputPath(output_path);
    task::TaskStatus status(stop_flag);
    const std::string refusal = task.RefusalReason(&status);
    if (!refusal.empty()) {
        Complain(console, input_path, refusal + "; skipped");
        result.reason = refusal;
        return result;
    }
    const ConversionPlan& plan = task.Plan();
    FileFacts& facts = result.facts;
    facts.known = true;
    facts.channels = plan.channels;
    facts.input_rate = plan.input_rate;
    facts.output_rate = plan.output_rate;
    facts.input = plan.input;
    facts.output = plan.output;
    facts.input_frames = plan.input_frames;
    facts.output_frames = plan.output_frames;
    if (!console.quiet) {
        PrintReport(console.out,
                    boost::format("\nInput File \"%s\" is open\n") % input_path.generic_string(),
                    task.Input());
    }

    task::TaskProgress_StdOstream bar(console.out, "\n", "", "");
    task::TaskProgress_Silent silent;
    task::ITaskProgress& progress = console.quiet ? static_cast<task::ITaskProgress&>(silent) : bar;
    task.SetThreadCount(threads);
    try {
        task.Run(progress, status);
    } catch (const std::exception& error) {
        result.reason = std::string("conversion failed: ") + error.what();
        Complain(console, input_path, result.reason);
        result.outcome = ConversionOutcome::Failed;
        return result;
    }

    result.outcome = task.Outcome();
    facts.clipped_samples = task.ClippedSamples();
    facts.non_finite_samples = task.NonFiniteSamples();
    if (result.outcome != ConversionOutcome::Converted) {
        result.reason = task.FailureReason();
        std::string reason = result.reason;
        if (result.outcome == ConversionOutcome::Skipped) {
            reason += "; skipped";
        } else if (!console.quiet && progress.Position() != progress.Total()) {
            console.out << std::endl; // end the unfinished bar before the message
        }
        if (result.outcome == ConversionOutcome::Failed) {
            reason = "conversion failed: " + reason + "; \"" + task.OutputPath().generic_string() +
                     "\" was not written";
            result.reason = reason;
        }
        Complain(console, input_path, reason);
        return result;
    }
    result.seconds = task.Input().DurationMs() / 1000.0;

    if (!console.quiet) {
        audio::riffwave::WaveFile_type output;
        output.OpenRead(task.OutputPath());
        PrintReport(console.out,
                    boost::format("\nOutput File \"%s\" is finished\n") %
                        task.OutputPath().generic_string(),
                    output);
        output.Close();
    }
    if (task.NonFiniteSamples() != 0) {
        Complain(console, input_path,
                 (boost::format("%u samples were not numbers (NaN or infinite) and became 0") %
                  task.NonFiniteSamples())
                     .str());
    }
    if (task.ClippedSamples() != 0) {
        Complain(
            console, input_path,
            (boost::format("%u samples were clipped to the output's range") % task.ClippedSamples())
                .str());
    }
    return result;
}

} // namespace marrowvale
