#include "app/Task_convert.hpp"

#include "app/TemporaryFile.hpp"
#include "app/pipeline/ChannelPipeline.hpp"
#include "audio/riffwave/WaveMetadata.hpp"
#include "dsp/polyphase/ResamplePlan.hpp"

#include <algorithm>
#include <boost/filesystem/operations.hpp>
#include <boost/format.hpp>
#include <limits>
#include <thread>
#include <vector>

namespace fs = boost::filesystem;
using audio::riffwave::WaveFile_type;

namespace marrowvale {

namespace {

// All channels' resampler buffers together; each channel's alone is bounded
// by its plan.
constexpr std::uint64_t largest_state_bytes = std::uint64_t{1} << 30;

// Integers keep their own path unless they are resampled with the steep
// filters, whose values are quantised once, at the output width.
ChainKind ChainOf(const ConversionPlan& plan) {
    if (plan.output.floating) {
        return ChainKind::ValuesToFloats;
    }
    const bool precise = plan.resampling->Precise() && plan.resampling->Resamples();
    return plan.input.floating || precise ? ChainKind::ValuesToIntegers : ChainKind::Integers;
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
    input.Close();
    judged = false;
}

std::string Task_Convert::RefusalReason(task::ITaskStatus* status) {
    if (!judged) {
        input.Close();
        if (status != nullptr) {
            input.PollStop([status] { return status->IsCancelled(); });
        }
        input.OpenRead(input_path);
        input.PollStop(nullptr);
        refusal = input.IsOpen() ? OpenInputRefusalReason()
                                 : "cannot be opened or is not a RIFF WAVE file";
        if (!refusal.empty()) {
            input.Close();
        }
        judged = true;
    }
    return refusal;
}

std::string Task_Convert::OpenInputRefusalReason() {
    std::string reason = input.UnreadableReason();
    if (!reason.empty()) {
        return reason;
    }
    plan = ConversionPlan();
    plan.channels = static_cast<unsigned>(input.Channels());
    plan.input_rate = static_cast<int>(input.SampleRate());
    plan.output_rate =
        settings.new_sampling_rate != 0 ? settings.new_sampling_rate : plan.input_rate;
    plan.input = SampleCoding{input.Format().IsFloat(), input.BitsPerSample()};
    // 0 keeps the input's width, also when the container rule gave 0; float
    // input is kept as 32-bit float.
    if (settings.float_output || (plan.input.floating && settings.new_bit_depth == 0)) {
        plan.output = SampleCoding{true, 32};
    } else if (settings.new_bit_depth != 0 && settings.container_bits != 0) {
        plan.output = SampleCoding{false, settings.container_bits};
    } else {
        plan.output = plan.input;
    }

    plan.resampling = ResamplePlan::Find(plan.input_rate, plan.output_rate, reason,
                                         static_cast<FilterSetting>(settings.filter));
    if (!plan.resampling) {
        return reason;
    }
    plan.chain = ChainOf(plan);
    // A file that ends before its data body does converts what it holds.
    plan.input_frames = input.FramesInFile();
    plan.output_frames = plan.resampling->OutputLength(plan.input_frames);

    if (!settings.strip_metadata) {
        plan.chunks = audio::riffwave::ReadCarriedChunks(
            input,
            audio::riffwave::FrameScale(static_cast<std::uint32_t>(plan.input_rate),
                                        static_cast<std::uint32_t>(plan.output_rate)),
            reason);
        if (!plan.chunks) {
            return reason;
        }
    }
    // The exact output size is known now, before anything is written: an
    // output past the plain file's limit is RF64 from its first byte.
    const std::uint64_t data_size = plan.output_frames * plan.channels * plan.output.Bytes();
    plan.output_format = OutputFormat();
    plan.rf64 = WaveFile_type::PlainFileSize(plan.output_format, plan.chunks.get(), data_size) >
                plain_file_limit;
    const std::uint64_t state_bytes = plan.resampling->StateBytes() * plan.channels;
    if (state_bytes > largest_state_bytes) {
        return (boost::format("resampling %u channels from %d Hz to %d Hz would need %u MiB, "
                              "more than the %u MiB allowed") %
                plan.channels % plan.input_rate % plan.output_rate % (state_bytes >> 20) %
                (largest_state_bytes >> 20))
            .str();
    }

    boost::system::error_code error;
    if (fs::exists(output_path, error) && fs::equivalent(input_path, output_path, error)) {
        return "the output would replace the input file itself";
    }
    return {};
}

audio::riffwave::WaveFormat_type Task_Convert::OutputFormat() const {
    audio::riffwave::WaveFormat_type format;
    format.format_tag =
        plan.output.floating ? audio::riffwave::format_ieee_float : audio::riffwave::format_pcm;
    format.channels = static_cast<std::uint16_t>(plan.channels);
    format.sample_rate = static_cast<std::uint32_t>(plan.output_rate);
    format.bits_per_sample = static_cast<std::uint16_t>(plan.output.bits);
    // An extensible input keeps its form and speaker positions; the valid bits
    // are the width asked for, within the container.
    const audio::riffwave::WaveFormat_type& in = input.Format();
    if (in.IsExtensible()) {
        format.format_tag = audio::riffwave::format_extensible;
        format.sub_format =
            plan.output.floating ? audio::riffwave::format_ieee_float : audio::riffwave::format_pcm;
        format.channel_mask = in.channel_mask;
        format.guid_tail = in.guid_tail;
        format.valid_bits = format.bits_per_sample;
        if (!plan.output.floating && settings.new_bit_depth > 0 &&
            settings.new_bit_depth < plan.output.bits) {
            format.valid_bits = static_cast<std::uint16_t>(settings.new_bit_depth);
        }
    }
    return format;
}

void Task_Convert::Run(task::ITaskProgress& progress, task::ITaskStatus& status) {
    outcome = ConversionOutcome::Skipped;
    failure_reason = RefusalReason(&status);
    clipped_samples = 0;
    non_finite_samples = 0;
    if (failure_reason.empty()) {
        outcome = ConversionOutcome::Failed;
        Convert(progress, status);
    }
    input.Close();
    judged = false; // a second Run opens the input afresh
}

void Task_Convert::Convert(task::ITaskProgress& progress, task::ITaskStatus& status) {
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
    output.OpenWrite(temporary.Path(), plan.output_format, plan.rf64, plan.chunks);
    if (!output.IsOpen()) {
        failure_reason = "cannot create an output file in \"" + folder.generic_string() + "\"";
        return;
    }

    // Threads this file may use; one runs everything on this thread.
    const unsigned threads = thread_count != 0 ? static_cast<unsigned>(thread_count)
                                               : std::max(1U, std::thread::hardware_concurrency());
    const RoundShape shape = RoundShape::For(*plan.resampling, plan.channels, threads,
                                             plan.input.Bytes(), plan.input_frames);

    std::vector<ChannelChain> chains;
    chains.reserve(plan.channels);
    for (unsigned c = 0; c < plan.channels; ++c) {
        chains.emplace_back(c, plan, settings, shape);
    }

    // The progress unit is one output sample of one channel; the total is
    // the exact count the resamplers will deliver for a complete input.
    const std::uint64_t expected_total = std::uint64_t{plan.channels} * plan.output_frames;
    progress.Begin(static_cast<std::int64_t>(
        std::min<std::uint64_t>(expected_total, std::numeric_limits<std::int64_t>::max())));

    ChannelPipeline pipeline(input, output, chains, plan, shape, threads);
    const ChannelPipeline::Result result = pipeline.Run(progress, status);
    if (result == ChannelPipeline::Result::Failed) {
        failure_reason = pipeline.FailureReason();
        return;
    }

    for (const ChannelChain& chain : chains) {
        clipped_samples += chain.ClippedSamples();
        non_finite_samples += chain.NonFiniteSamples();
    }
    output.Close();
    if (output.Failed()) {
        failure_reason = "writing the output failed (disk full or write error)";
        return;
    }
    if (result == ChannelPipeline::Result::Stopped) {
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
