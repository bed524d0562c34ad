#pragma once

#include "app/ConversionOutcome.hpp"
#include "app/ConversionPlan.hpp"
#include "app/ConversionSettings.hpp"
#include "audio/riffwave/WaveFile_type.hpp"
#include "task/ITask.hpp"

#include <boost/filesystem/path.hpp>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

namespace marrowvale {

// Converts one input file into one output file of the same name in the
// output folder: resamples and requantises every channel, block by block.
// The output is written under a temporary name and takes its final name only
// when it is complete, so an existing file is never left half-written.
class Task_Convert : public task::ITask {
public:
    Task_Convert() = default;

    Task_Convert* Self() override { return this; }
    // Judges the input first unless RefusalReason has; then converts.
    void Run(task::ITaskProgress& progress, task::ITaskStatus& status) override;

    virtual bool SecondFlag() { return second_flag; }
    virtual bool SetSecondFlag(bool value) { return second_flag = value; }
    virtual bool FirstFlag() { return first_flag; }
    virtual bool SetFirstFlag(bool value) { return first_flag = value; }

    // Copies the settings and the input path and forms the output path.
    // Touches no file.
    void Setup(ConversionSettings new_settings, boost::filesystem::path new_input_path);
    boost::filesystem::path OutputPath() const { return output_path; }
    // Replaces the output path Setup formed (a batch decides it for the task).
    void SetOutputPath(boost::filesystem::path path) { output_path = std::move(path); }

    // Opens the input and decides everything the conversion needs. Returns
    // why the file cannot be converted, or an empty text when it can; the
    // input then stays open for Run. Writes nothing. A stop request seen in
    // `status` (may be null) while the header is read ends the reading.
    std::string RefusalReason(task::ITaskStatus* status = nullptr);
    // The input as judged: its header stays readable after Run.
    const audio::riffwave::WaveFile_type& Input() const { return input; }
    const ConversionPlan& Plan() const { return plan; }

    // Threads this file may use, the calling one included; 0: one per core.
    void SetThreadCount(std::size_t count) { thread_count = count; }
    // Outputs larger than this many bytes as plain RIFF files are written as
    // RF64; tests lower it to see small RF64 files.
    void SetPlainFileLimit(std::uint64_t bytes) { plain_file_limit = bytes; }

    // What the last Run did; FailureReason says why it did not convert.
    ConversionOutcome Outcome() const { return outcome; }
    const std::string& FailureReason() const { return failure_reason; }
    std::uint64_t ClippedSamples() const { return clipped_samples; }
    // Float input samples that were NaN or infinite and became 0.
    std::uint64_t NonFiniteSamples() const { return non_finite_samples; }

private:
    std::string OpenInputRefusalReason();
    audio::riffwave::WaveFormat_type OutputFormat() const;
    void Convert(task::ITaskProgress& progress, task::ITaskStatus& status);

    bool first_flag = false;
    bool second_flag = false;
    ConversionSettings settings;
    boost::filesystem::path input_path;
    boost::filesystem::path output_path;

    audio::riffwave::WaveFile_type input;
    bool judged = false;
    std::string refusal; // why the judged input cannot be converted
    ConversionPlan plan;

    std::size_t thread_count = 0;
    std::uint64_t plain_file_limit = audio::riffwave::WaveFile_type::kPlainFileLimit;
    ConversionOutcome outcome = ConversionOutcome::Skipped;
    std::string failure_reason;
    std::uint64_t clipped_samples = 0;
    std::uint64_t non_finite_samples = 0;
};

// Whether a folder text names an absolute place: it begins with '/', has ':'
// as its second character, or is longer than three characters and ends with
// ':'.
bool IsAbsoluteFolder(const std::string& folder);

} // namespace marrowvale
