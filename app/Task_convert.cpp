#include "app/Task_convert.hpp"

#include "app/ChannelPipeline.hpp"
#include "audio/riffwave/WaveFile_type.hpp"
#include "dsp/polyphase/PolyphaseResample.hpp"
#include "dsp/requantisation/IntegerRequantiser.hpp"

#include <algorithm>
#include <boost/filesystem/operations.hpp>
#include <boost/format.hpp>
#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>
#include <limits>
#include <thread>
#include <vector>

namespace fs = boost::filesystem;
using audio::riffwave::WaveFile_type;
using dsp::requantisation::IntegerRequantiser;

namespace marrowvale {

namespace {

constexpr int format_pcm = 1;
constexpr int format_extensible = 65534;
// All channels' resampler buffers together; each channel's alone is bounded
// by the resampler itself.
constexpr std::uint64_t largest_state_bytes = std::uint64_t{1} << 30;

// Removes the temporary output unless the conversion committed it.
class TemporaryFile {
public:
    explicit TemporaryFile(fs::path file) : path(std::move(file)) {}
    ~TemporaryFile() {
        if (!committed) {
            boost::system::error_code ignored;
            fs::remove(path, ignored);
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const fs::path& Path() const { return path; }
    void Commit() { committed = true; }

private:
    fs::path path;
    bool committed = false;
};

fs::path TemporaryPathFor(const fs::path& output) {
    const fs::path name = fs::unique_path("." + output.filename().string() + ".%%%%%%%%.part");
    return output.parent_path() / name;
}

} // namespace

bool IsAbsoluteFolder(const std::string& folder) {
    return (!folder.empty() && folder[0] == '/') || (folder.size() > 1 && folder[1] == ':') ||
           (folder.size() > 3 && folder.back() == ':');
}

void Task_Convert::Setup(ConversionSettings new_settings, fs::path new_input_path) {
    settings = std::move(new_settings);
    input_path = std::move(new_input_path);
    const fs::path name = input_path.filename();
    if (IsAbsoluteFolder(settings.output_folder.generic_string())) {
        output_path = settings.output_folder / name;
    } else {
        output_path = input_path.parent_path() / settings.output_folder / name;
    }
}

int Task_Convert::OutputRate(const WaveFile_type& input) const {
    return settings.new_sampling_rate != 0 ? settings.new_sampling_rate
                                           : static_cast<int>(input.SampleRate());
}

// 0 keeps the input's width, also when the container rule gave 0.
int Task_Convert::OutputBits(const WaveFile_type& input) const {
    return settings.new_bit_depth != 0 && settings.container_bits != 0 ? settings.container_bits
                                                                       : input.BitsPerSample();
}

std::string Task_Convert::CheckInput(const WaveFile_type& input) const {
    const int tag = input.FormatTag();
    if (tag == format_extensible) {
        if (input.SubFormat() != format_pcm) {
            return (boost::format("extensible format with sub-format %d is not integer PCM") %
                    input.SubFormat())
                .str();
        }
    } else if (tag != format_pcm) {
        return (boost::format("format tag %d is not integer PCM") % tag).str();
    }
    const int bits = input.BitsPerSample();
    if (bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        return (boost::format("%d bits per sample cannot be converted (8, 16, 24 or 32 can)") %
                bits)
            .str();
    }
    if (input.Channels() == 0) {
        return "the file has no channels";
    }
    if (input.SampleRate() == 0) {
        return "the sampling rate is 0";
    }
    if (input.SampleRate() > static_cast<std::uint32_t>(std::numeric_limits<int>::max())) {
        return (boost::format("the sampling rate %u is out of range") % input.SampleRate()).str();
    }

    const std::uint64_t output_rate = static_cast<std::uint64_t>(OutputRate(input));
    const int output_bits = OutputBits(input);
    const std::uint64_t frames =
        OutputFrames(input.SamplesPerChannel(), input.SampleRate(), output_rate);
    const std::uint64_t data_size =
        frames * static_cast<std::uint64_t>(input.Channels()) * (output_bits / 8);
    if (data_size > WaveFile_type::kMaxDataSize) {
        return "the output would reach 4 GiB, the limit of a RIFF WAVE file";
    }

    if (output_rate != input.SampleRate()) {
        std::string refusal;
        if (!ResamplePlan::Find(static_cast<int>(input.SampleRate()), static_cast<int>(output_rate),
                                refusal)) {
            return refusal;
        }
    }

    boost::system::error_code error;
    if (fs::exists(output_path, error) && fs::equivalent(input_path, output_path, error)) {
        return "the output would replace the input file itself";
    }
    return {};
}

void Task_Convert::Run(task::ITaskProgress& progress, task::ITaskStatus& status) {
    outcome = ConversionOutcome::Skipped;
    failure_reason.clear();
    clipped_samples = 0;

    WaveFile_type input;
    input.OpenRead(input_path);
    if (!input.IsOpen()) {
        failure_reason = "cannot be opened or is not a RIFF WAVE file";
        return;
    }
    failure_reason = CheckInput(input);
    if (!failure_reason.empty()) {
        return;
    }
    outcome = ConversionOutcome::Failed;

    const unsigned channels = static_cast<unsigned>(input.Channels());
    const int input_bits = input.BitsPerSample();
    const int input_rate = static_cast<int>(input.SampleRate());
    const int output_rate = OutputRate(input);
    const int output_bits = OutputBits(input);

    // One chain per channel. Every resampler of the file follows the same
    // stage plan, so all channels deliver the same counts in every pass.
    std::vector<boost::shared_ptr<PolyphaseResample>> resamplers;
    std::vector<boost::shared_ptr<IntegerRequantiser<int>>> requantisers;
    for (unsigned c = 0; c < channels; ++c) {
        try {
            resamplers.push_back(boost::make_shared<PolyphaseResample>(input_rate, output_rate));
        } catch (const std::logic_error& refused) {
            // Rates the resampler cannot serve within its limits: nothing
            // has been written yet.
            outcome = ConversionOutcome::Skipped;
            failure_reason = refused.what();
            return;
        }
        const std::uint64_t state_bytes = std::uint64_t{resamplers[0]->StateBytes()} * channels;
        if (c == 0 && state_bytes > largest_state_bytes) {
            outcome = ConversionOutcome::Skipped;
            failure_reason =
                (boost::format("resampling %u channels from %d Hz to %d Hz would need %u MiB, "
                               "more than the %u MiB allowed") %
                 channels % input_rate % output_rate % (state_bytes >> 20) %
                 (largest_state_bytes >> 20))
                    .str();
            return;
        }
        auto requantiser = boost::make_shared<IntegerRequantiser<int>>();
        requantiser->bits_removed =
            input_bits > output_bits ? static_cast<unsigned>(input_bits - output_bits) : 0U;
        requantiser->bits_added =
            output_bits > input_bits ? static_cast<unsigned>(output_bits - input_bits) : 0U;
        requantiser->output_bits = output_bits;
        requantiser->dither_bits = settings.dither_bits;
        requantiser->dither_type = settings.dither_type;
        requantiser->noise_shaping = settings.noise_shaping;
        requantiser->seed_salt = c + 1; // each channel draws its own dither
        requantiser->Prepare();
        requantisers.push_back(requantiser);
    }

    const fs::path folder = output_path.parent_path();
    if (!folder.empty()) {
        boost::system::error_code error;
        fs::create_directories(folder, error);
        if (error) {
            failure_reason =
                "cannot create the folder \"" + folder.generic_string() + "\": " + error.message();
            return;
        }
    }

    TemporaryFile temporary(TemporaryPathFor(output_path));
    WaveFile_type output;
    output.OpenWrite(temporary.Path(), static_cast<int>(channels), output_rate, output_bits);
    if (!output.IsOpen()) {
        failure_reason = "cannot create an output file in \"" + folder.generic_string() + "\"";
        return;
    }

    // The progress unit is one output sample of one channel; the total is
    // the exact count the resamplers will deliver for a complete input.
    const std::uint64_t expected_total =
        std::uint64_t{channels} * OutputFrames(input.SamplesPerChannel(),
                                               static_cast<std::uint64_t>(input_rate),
                                               static_cast<std::uint64_t>(output_rate));
    progress.Begin(
        static_cast<int>(std::min<std::uint64_t>(expected_total, std::numeric_limits<int>::max())));

    // 1 runs everything on this thread, channel by channel.
    const std::size_t workers =
        thread_count == 1
            ? 0
            : (thread_count != 0
                   ? thread_count
                   : std::max<std::size_t>(
                         1, std::min<std::size_t>(channels, std::thread::hardware_concurrency())));
    ChannelPipeline pipeline(input, output, resamplers, requantisers, workers);
    const ChannelPipeline::Result result = pipeline.Run(progress, status);
    if (result == ChannelPipeline::Result::Failed) {
        failure_reason = pipeline.FailureReason();
        return;
    }
    const bool stopped = result == ChannelPipeline::Result::Stopped;

    for (const auto& requantiser : requantisers) {
        clipped_samples += requantiser->ClippedCount();
    }
    output.Close();
    input.Close();
    if (output.Failed()) {
        failure_reason = "writing the output failed (disk full or write error)";
        return;
    }
    if (stopped) {
        outcome = ConversionOutcome::Interrupted;
        failure_reason = "interrupted; the unfinished output was discarded";
        return;
    }
    boost::system::error_code error;
    fs::rename(temporary.Path(), output_path, error);
    if (error) {
        failure_reason = "cannot move the finished output into place: " + error.message();
        return;
    }
    temporary.Commit();
    outcome = ConversionOutcome::Converted;
}

} // namespace marrowvale
