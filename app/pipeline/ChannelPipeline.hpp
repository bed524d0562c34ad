#pragma once

#include "app/pipeline/ChannelChain.hpp"
#include "app/pipeline/InputBlock.hpp"
#include "app/pipeline/OutputBlock.hpp"
#include "app/pipeline/RoundShape.hpp"
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

struct ConversionPlan;

// Moves one file's samples through its channel chains, round by round. In one
// pass of the threads, the chains resample the pieces of the current round,
// deliver the previous round into the output block (in order, channel by
// channel) and the next round is read; then the output block is written.
// Every thread, this one included, takes whatever work of the pass comes
// next, so the file uses exactly the threads it was given.
class ChannelPipeline {
public:
    // `threads` counts this one; 1 runs everything here.
    ChannelPipeline(audio::riffwave::WaveFile_type& input, audio::riffwave::WaveFile_type& output,
                    std::vector<ChannelChain>& chains, const ConversionPlan& plan,
                    const RoundShape& shape, unsigned threads);

    enum class Result { Finished, Stopped, Failed };
    // Converts the whole input. Failed leaves the reason in FailureReason().
    Result Run(task::ITaskProgress& progress, task::ITaskStatus& status);
    const std::string& FailureReason() const { return failure_reason; }

private:
    // Where the round just read lies, following `before`.
    RoundPlace Follow(const RoundPlace& before, const InputBlock& block) const;
    // The first chain's fault, or an empty text.
    std::string ChainFaultReason() const;

    audio::riffwave::WaveFile_type& input_file;
    audio::riffwave::WaveFile_type& output_file;
    std::vector<ChannelChain>& chains;
    const ConversionPlan& plan;
    RoundShape shape;

    InputBlock input;      // the round being resampled
    InputBlock next_input; // read meanwhile
    OutputBlock output;    // the round being delivered
    std::string failure_reason;
    // Last, so that its threads are joined before anything they use goes.
    utility::threading::WorkerPool pool;
};

} // namespace marrowvale
