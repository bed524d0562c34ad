#pragma once

#include "task/ITaskProgress.hpp"
#include "task/ITaskStatus.hpp"
#include "task/WorkerPool.hpp"

#include <boost/shared_ptr.hpp>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class PolyphaseResample;
namespace audio::riffwave {
class WaveFile_type;
}
namespace dsp::requantisation {
template <typename T>
class IntegerRequantiser;
}

namespace marrowvale {

// Frames the resamplers deliver for `frames` input frames:
// ceil(frames * output_rate / input_rate).
inline std::uint64_t OutputFrames(std::uint64_t frames, std::uint64_t input_rate,
                                  std::uint64_t output_rate) {
    return (frames * output_rate + input_rate - 1) / input_rate;
}

// Moves one file's samples through its channel chains: reads interleaved
// blocks, has the workers deinterleave, resample, requantise and interleave
// each channel, and writes the results in channel order; then drains the
// resamplers' tails. While the workers process one block this thread writes
// the previous block's output and reads the next block.
class ChannelPipeline {
public:
    using Resamplers = std::vector<boost::shared_ptr<PolyphaseResample>>;
    using Requantisers =
        std::vector<boost::shared_ptr<dsp::requantisation::IntegerRequantiser<int>>>;

    // `worker_threads` 0 runs everything on the calling thread.
    ChannelPipeline(audio::riffwave::WaveFile_type& input, audio::riffwave::WaveFile_type& output,
                    Resamplers& resamplers, Requantisers& requantisers, std::size_t worker_threads);

    enum class Result { Finished, Stopped, Failed };
    // Converts the whole input. Failed leaves the reason in FailureReason().
    Result Run(task::ITaskProgress& progress, task::ITaskStatus& status);
    const std::string& FailureReason() const { return failure_reason; }

private:
    void ReadBlock(unsigned slot);
    bool WriteBlock(unsigned slot, task::ITaskProgress& progress);
    void StartBlock(std::size_t c);
    void ResampleChannel(std::size_t c);
    void FlushChannel(std::size_t c);
    void FinishChannel(std::size_t c, unsigned count);

    audio::riffwave::WaveFile_type& input;
    audio::riffwave::WaveFile_type& output;
    Resamplers& resamplers;
    Requantisers& requantisers;
    unsigned channels;
    unsigned block_samples; // B: interleaved samples read at a time
    unsigned channel_room;  // output samples one channel may produce per pass

    // Two input and two output blocks, so that I/O overlaps the work.
    std::vector<std::int32_t> input_blocks[2];
    unsigned input_counts[2] = {0, 0};
    std::vector<std::int32_t> output_blocks[2];
    std::vector<unsigned> produced[2];
    unsigned current = 0; // input block being processed
    unsigned target = 0;  // output block being filled

    std::vector<std::vector<std::int32_t>> channel_input;
    std::vector<std::vector<std::int32_t>> channel_output;
    std::vector<unsigned> available;
    std::vector<unsigned> offset;

    std::uint64_t samples_read = 0;
    std::string failure_reason;

    const std::function<void(std::size_t)> start_block;
    const std::function<void(std::size_t)> resample_channel;
    const std::function<void(std::size_t)> flush_channel;
    // Last, so that its threads are joined before anything they use goes.
    task::WorkerPool pool;
};

} // namespace marrowvale
