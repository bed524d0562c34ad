#pragma once

#include "app/pipeline/ChannelChain.hpp"
#include "app/pipeline/InputBlock.hpp"
#include "app/pipeline/OutputBlock.hpp"
#include "utility/threading/WorkerPool.hpp"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace audio::riffwave {
class WaveFile_type;
}
namespace task {
class ITaskProgress;
class ITaskStatus;
} // namespace task

namespace marrowvale {

// Moves one file's samples through its channel chains, block by block: a
// pass has every chain resample its part of the input block into the output
// block, on worker threads, and then the block is written in one piece.
// While the workers run a block's first pass, this thread writes the
// previous block's output and reads the next input block. At the end of the
// input the chains' tails are drained the same way.
class ChannelPipeline {
public:
    // `block_frames` frames are read at a time; each pass produces at most
    // `room` frames. `worker_threads` 0 runs everything on this thread.
    ChannelPipeline(audio::riffwave::WaveFile_type& input, audio::riffwave::WaveFile_type& output,
                    std::vector<ChannelChain>& chains, std::size_t block_frames, std::size_t room,
                    std::size_t worker_threads);

    enum class Result { Finished, Stopped, Failed };
    // Converts the whole input. Failed leaves the reason in FailureReason().
    Result Run(task::ITaskProgress& progress, task::ITaskStatus& status);
    const std::string& FailureReason() const { return failure_reason; }

private:
    // One round of the workers: `step` for every chain.
    void RunPass(const std::function<void(std::size_t)>& step);
    bool Write(OutputBlock& block, task::ITaskProgress& progress);

    audio::riffwave::WaveFile_type& input_file;
    audio::riffwave::WaveFile_type& output_file;
    std::vector<ChannelChain>& chains;

    InputBlock input;      // the block being converted
    InputBlock next_input; // read while the workers convert `input`
    OutputBlock filling;   // the chains' output of the current pass
    OutputBlock finished;  // the previous block's last output, not yet written
    std::string failure_reason;

    const std::function<void(std::size_t)> take_and_resample;
    const std::function<void(std::size_t)> resample;
    const std::function<void(std::size_t)> drain;
    // Last, so that its threads are joined before anything they use goes.
    utility::threading::WorkerPool pool;
};

} // namespace marrowvale
