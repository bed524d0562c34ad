#include "app/pipeline/ChannelPipeline.hpp"

#include "app/ConversionPlan.hpp"
#include "audio/riffwave/WaveFile_type.hpp"
#include "task/ITaskProgress.hpp"
#include "task/ITaskStatus.hpp"

#include <utility>

namespace marrowvale {

ChannelPipeline::ChannelPipeline(audio::riffwave::WaveFile_type& new_input_file,
                                 audio::riffwave::WaveFile_type& new_output_file,
                                 std::vector<ChannelChain>& new_chains,
                                 const ConversionPlan& new_plan, const RoundShape& new_shape,
                                 unsigned threads)
    : input_file(new_input_file), output_file(new_output_file), chains(new_chains), plan(new_plan),
      shape(new_shape),
      input(new_shape.Frames(), new_plan.channels * new_plan.input.Bytes(), new_plan.input.Bytes()),
      next_input(new_shape.Frames(), new_plan.channels * new_plan.input.Bytes(),
                 new_plan.input.Bytes()),
      output(new_shape.output_room, new_plan.channels, new_plan.output.Bytes()),
      pool(threads > 1 ? threads - 1 : 0) {}

RoundPlace ChannelPipeline::Follow(const RoundPlace& before, const InputBlock& block) const {
    RoundPlace round;
    round.start = before.start + before.frames;
    round.frames = block.Frames();
    round.last = !block.Full();
    round.output = OutputIndexAt(*plan.resampling, round.start);
    return round;
}

std::string ChannelPipeline::ChainFaultReason() const {
    for (const ChannelChain& chain : chains) {
        if (!chain.FaultReason().empty()) {
            return chain.FaultReason();
        }
    }
    return {};
}

ChannelPipeline::Result ChannelPipeline::Run(task::ITaskProgress& progress,
                                             task::ITaskStatus& status) {
    const std::size_t channels = chains.size();
    const std::size_t pieces = channels * shape.segments;
    input.Read(input_file);
    RoundPlace current = Follow(RoundPlace(), input);
    bool have_previous = false;
    unsigned slot = 0; // the round buffer the current round goes to
    for (;;) {
        const unsigned previous_slot = slot ^ 1U;
        const bool reading = !current.last;
        // Work of one pass: the next read, the current round's pieces, and
        // the previous round's delivery, channel by channel.
        const std::size_t first_piece = reading ? 1 : 0;
        const std::size_t first_delivery = first_piece + pieces;
        const std::size_t work = first_delivery + (have_previous ? channels : 0);
        pool.Run(work, [&](std::size_t i) {
            if (i < first_piece) {
                next_input.Read(input_file);
            } else if (i < first_delivery) {
                const std::size_t p = i - first_piece;
                chains[p % channels].ResamplePiece(input, current, p / channels, slot);
            } else {
                chains[i - first_delivery].Deliver(previous_slot, output);
            }
        });
        failure_reason = ChainFaultReason();
        if (!failure_reason.empty() || !output.Write(output_file, progress, failure_reason)) {
            return Result::Failed;
        }
        for (ChannelChain& chain : chains) {
            chain.EndRound();
        }
        if (current.last) {
            break;
        }
        if (status.IsCancelled()) {
            return Result::Stopped;
        }
        have_previous = true;
        current = Follow(current, next_input);
        std::swap(input, next_input);
        slot = previous_slot;
    }

    // The resamplers' tails, a round's worth at a time, each delivered while
    // the next is drained.
    for (;;) {
        const unsigned next_slot = slot ^ 1U;
        pool.Run(2 * channels, [&](std::size_t i) {
            if (i < channels) {
                chains[i].DrainTail(next_slot);
            } else {
                chains[i - channels].Deliver(slot, output);
            }
        });
        if (!output.Write(output_file, progress, failure_reason)) {
            return Result::Failed;
        }
        if (chains.front().Count(next_slot) == 0) {
            return Result::Finished;
        }
        if (status.IsCancelled()) {
            return Result::Stopped;
        }
        slot = next_slot;
    }
}

} // namespace marrowvale
