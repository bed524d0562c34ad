#include "app/ConvertFile.hpp"

#include "app/Task_convert.hpp"
#include "audio/riffwave/WaveFile_type.hpp"
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

void Complain(const boost::filesystem::path& input_path, const std::string& reason) {
    std::cout.flush();
    std::cerr << "marrowvale: \"" << input_path.generic_string() << "\": " << reason << std::endl;
}

// Threads for the channels: MARROWVALE_THREADS when set (1 gives the plain
// single-threaded path), otherwise one per core.
std::size_t ThreadCountFromEnvironment() {
    const char* text = std::getenv("MARROWVALE_THREADS");
    if (text == nullptr) {
        return 0;
    }
    const long value = std::strtol(text, nullptr, 10);
    return value > 0 && value <= 256 ? static_cast<std::size_t>(value) : 0;
}

} // namespace

ConversionOutcome ConvertFile(const ConversionSettings& settings,
                              const boost::filesystem::path& input_path,
                              volatile std::sig_atomic_t& stop_flag) {
    Task_Convert task;
    task.Setup(settings, input_path);
    const std::string refusal = task.Judge();
    if (!refusal.empty()) {
        Complain(input_path, refusal + "; skipped");
        return ConversionOutcome::Skipped;
    }
    PrintReport(std::cout,
                boost::format("\nInput File \"%s\" is open\n") % input_path.generic_string(),
                task.Input());

    task::TaskProgress_StdOstream progress(std::cout, "\n", "", "");
    task::TaskStatus status(stop_flag);
    task.SetThreadCount(ThreadCountFromEnvironment());
    try {
        task.Run(progress, status);
    } catch (const std::exception& error) {
        Complain(input_path, std::string("conversion failed: ") + error.what());
        return ConversionOutcome::Failed;
    }

    const ConversionOutcome outcome = task.Outcome();
    if (outcome != ConversionOutcome::Converted) {
        std::string reason = task.FailureReason();
        if (outcome == ConversionOutcome::Skipped) {
            reason += "; skipped";
        } else if (progress.Position() != progress.Total()) {
            std::cout << std::endl; // end the unfinished bar before the message
        }
        if (outcome == ConversionOutcome::Failed) {
            reason = "conversion failed: " + reason + "; \"" + task.OutputPath().generic_string() +
                     "\" was not written";
        }
        Complain(input_path, reason);
        return outcome;
    }

    audio::riffwave::WaveFile_type output;
    output.OpenRead(task.OutputPath());
    PrintReport(std::cout,
                boost::format("\nOutput File \"%s\" is finished\n") %
                    task.OutputPath().generic_string(),
                output);
    output.Close();
    if (task.NonFiniteSamples() != 0) {
        Complain(input_path,
                 (boost::format("%u samples were not numbers (NaN or infinite) and became 0") %
                  task.NonFiniteSamples())
                     .str());
    }
    if (task.ClippedSamples() != 0) {
        Complain(input_path, (boost::format("%u samples were clipped to the output's range") %
                              task.ClippedSamples())
                                 .str());
    }
    return outcome;
}

} // namespace marrowvale
