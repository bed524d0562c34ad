#pragma once

#include "app/ConversionOutcome.hpp"
#include "app/ConversionSettings.hpp"
#include "task/ITask.hpp"

#include <boost/filesystem/path.hpp>
#include <cstddef>
#include <cstdint>
#include <string>

namespace audio::riffwave {
class WaveFile_type;
}

namespace marrowvale {

// Converts one input file into one output file of the same name in the
// output folder: resamples and requantises every channel, block by block.
// The output is written under a temporary name and takes its final name only
// when it is complete, so an existing file is never left half-written.
class Task_Convert : public task::ITask {
public:
    Task_Convert() = default;

    Task_Convert* Self() override { return this; }
    void Run(task::ITaskProgress& progress, task::ITaskStatus& status) override;

    virtual bool SecondFlag() { return second_flag; }
    virtual bool SetSecondFlag(bool value) { return second_flag = value; }
    virtual bool FirstFlag() { return first_flag; }
    virtual bool SetFirstFlag(bool value) { return first_flag = value; }

    // Copies the settings and the input path and forms the output path.
    // Touches no file.
    void Setup(ConversionSettings new_settings, boost::filesystem::path new_input_path);
    boost::filesystem::path OutputPath() const { return output_path; }

    // Why the opened input cannot be converted with these settings; empty
    // when it can.
    std::string CheckInput(const audio::riffwave::WaveFile_type& input) const;

    // Threads that process channels in parallel; 0 picks one per core.
    void SetThreadCount(std::size_t count) { thread_count = count; }

    // What the last Run did; FailureReason says why it did not convert.
    ConversionOutcome Outcome() const { return outcome; }
    const std::string& FailureReason() const { return failure_reason; }
    std::uint64_t ClippedSamples() const { return clipped_samples; }

private:
    // The output's rate and width for this input under the settings.
    int OutputRate(const audio::riffwave::WaveFile_type& input) const;
    int OutputBits(const audio::riffwave::WaveFile_type& input) const;

    bool first_flag = false;
    bool second_flag = false;
    ConversionSettings settings;
    boost::filesystem::path input_path;
    boost::filesystem::path output_path;

    std::size_t thread_count = 0;
    ConversionOutcome outcome = ConversionOutcome::Skipped;
    std::string failure_reason;
    std::uint64_t clipped_samples = 0;
};

// Whether a folder text names an absolute place: it begins with '/', has ':'
// as its second character, or is longer than three characters and ends with
// ':'.
bool IsAbsoluteFolder(const std::string& folder);

} // namespace marrowvale
