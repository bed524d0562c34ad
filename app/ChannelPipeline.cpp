#include "app/ChannelPipeline.hpp"

#include "audio/riffwave/WaveFile_type.hpp"
#include "dsp/polyphase/PolyphaseResample.hpp"
#include "dsp/requantisation/IntegerRequantiser.hpp"

#include <algorithm>

namespace marrowvale {

namespace {

// Caps one block at 2 MiB of samples, so that many-channel files do not make
// the block (W x C x 10240 samples) grow without bound.
constexpr std::uint64_t largest_block_samples = std::uint64_t{1} << 19;

} // namespace

ChannelPipeline::ChannelPipeline(audio::riffwave::WaveFile_type& input_file,
                                 audio::riffwave::WaveFile_type& output_file,
                                 Resamplers& channel_resamplers, Requantisers& channel_requantisers,
                                 std::size_t worker_threads)
    : input(input_file), output(output_file), resamplers(channel_resamplers),
      requantisers(channel_requantisers), channels(static_cast<unsigned>(input_file.Channels())),
      start_block([this](std::size_t c) { StartBlock(c); }),
      resample_channel([this](std::size_t c) { ResampleChannel(c); }),
      flush_channel([this](std::size_t c) { FlushChannel(c); }), pool(worker_threads) {
    const std::uint64_t wanted_frames =
        std::uint64_t{static_cast<unsigned>(input.BitsPerSample()) / 8} * 10240;
    const unsigned frames_per_block = static_cast<unsigned>(
        std::max<std::uint64_t>(1, std::min(wanted_frames, largest_block_samples / channels)));
    block_samples = frames_per_block * channels;
    // Room for a whole block's output in one pass at common ratios, so that
    // each block is one round of the workers; extreme up-sampling takes
    // several passes.
    const std::uint64_t block_output =
        OutputFrames(frames_per_block, input.SampleRate(), output.SampleRate()) +
        resamplers[0]->Plan().OutputBlockLength();
    channel_room = static_cast<unsigned>(std::max<std::uint64_t>(
        frames_per_block, std::min(block_output, largest_block_samples / channels)));

    for (unsigned slot = 0; slot < 2; ++slot) {
        input_blocks[slot].assign(block_samples, 0);
        output_blocks[slot].assign(std::size_t{channel_room} * channels, 0);
        produced[slot].assign(channels, 0);
    }
    channel_input.assign(channels, std::vector<std::int32_t>(frames_per_block));
    channel_output.assign(channels, std::vector<std::int32_t>(channel_room));
    available.assign(channels, 0);
    offset.assign(channels, 0);
}

void ChannelPipeline::ReadBlock(unsigned slot) {
    unsigned count = input.ReadSamples(input_blocks[slot], block_samples);
    samples_read += count;
    const std::uint64_t total_samples = input.TotalSamples();
    if (samples_read > total_samples) {
        // Bytes beyond the "data" body belong to later chunks.
        count -= static_cast<unsigned>(samples_read - total_samples);
        samples_read = total_samples;
    }
    input_counts[slot] = count;
}

// Writes one output block in channel order. Empty passes report nothing:
// after the bar is complete an Advance(0) would draw a stray mark.
bool ChannelPipeline::WriteBlock(unsigned slot, task::ITaskProgress& progress) {
    unsigned total = 0;
    for (unsigned c = 0; c < channels; ++c) {
        if (produced[slot][c] != produced[slot][0]) {
            failure_reason = "internal error: channels out of step";
            return false;
        }
        if (produced[slot][c] != 0) {
            progress.Advance(static_cast<int>(produced[slot][c]));
        }
        total += produced[slot][c];
    }
    output.WriteSamples(output_blocks[slot], total);
    if (output.Failed()) {
        failure_reason = "writing the output failed (disk full or write error)";
        return false;
    }
    return true;
}

void ChannelPipeline::StartBlock(std::size_t c) {
    available[c] = input.Deinterleave(input_blocks[current], input_counts[current],
                                      static_cast<int>(c + 1), channel_input[c]);
    offset[c] = 0;
    ResampleChannel(c);
}

// Resamples what is left of channel c's block until it is all taken or the
// channel's output room is full.
void ChannelPipeline::ResampleChannel(std::size_t c) {
    unsigned count = 0;
    while (offset[c] < available[c] && count < channel_room) {
        unsigned taken = available[c] - offset[c];
        unsigned delivered = channel_room - count;
        resamplers[c]->Process(channel_input[c].data() + offset[c],
                               channel_output[c].data() + count, taken, delivered);
        offset[c] += taken;
        count += delivered;
        if (taken == 0 && delivered == 0) {
            break;
        }
    }
    FinishChannel(c, count);
}

void ChannelPipeline::FlushChannel(std::size_t c) {
    unsigned count = 0;
    while (count < channel_room) {
        unsigned delivered = channel_room - count;
        resamplers[c]->Flush(channel_output[c].data() + count, delivered);
        count += delivered;
        if (delivered == 0) {
            break;
        }
    }
    FinishChannel(c, count);
}

void ChannelPipeline::FinishChannel(std::size_t c, unsigned count) {
    requantisers[c]->Process(channel_output[c].data(), count);
    output.Interleave(channel_output[c], count, static_cast<int>(c + 1), output_blocks[target]);
    produced[target][c] = count;
}

ChannelPipeline::Result ChannelPipeline::Run(task::ITaskProgress& progress,
                                             task::ITaskStatus& status) {
    bool write_pending = false; // output_blocks[1 - target] holds the last block's output
    ReadBlock(current);
    for (;;) {
        const bool full = input_counts[current] == block_samples;
        pool.Start(channels, start_block);
        const bool written = !write_pending || WriteBlock(1 - target, progress);
        if (full) {
            ReadBlock(1 - current);
        }
        pool.Wait();
        if (!written) {
            return Result::Failed;
        }
        // Output longer than the room takes further passes, each written
        // before the next reuses the block.
        while (offset[0] < available[0] && produced[target][0] != 0) {
            if (!WriteBlock(target, progress)) {
                return Result::Failed;
            }
            pool.RunForEach(channels, resample_channel);
        }
        write_pending = true;
        target = 1 - target;
        if (!full) {
            break;
        }
        if (status.IsCancelled()) {
            return WriteBlock(1 - target, progress) ? Result::Stopped : Result::Failed;
        }
        current = 1 - current;
    }
    if (!WriteBlock(1 - target, progress)) {
        return Result::Failed;
    }

    // The resamplers' tails, until they deliver nothing more.
    for (;;) {
        pool.RunForEach(channels, flush_channel);
        if (!WriteBlock(target, progress)) {
            return Result::Failed;
        }
        if (produced[target][0] == 0) {
            return Result::Finished;
        }
        if (status.IsCancelled()) {
            return Result::Stopped;
        }
    }
}

} // namespace marrowvale
