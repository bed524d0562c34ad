#include "app/pipeline/ChannelPipeline.hpp"

#include "audio/riffwave/WaveFile_type.hpp"
#include "task/ITaskProgress.hpp"
#include "task/ITaskStatus.hpp"

#include <utility>

namespace marrowvale {

ChannelPipeline::ChannelPipeline(audio::riffwave::WaveFile_type& new_input_file,
                                 audio::riffwave::WaveFile_type& new_output_file,
                                 std::vector<ChannelChain>& new_chains,
                                 const ResamplePlan& new_plan, const RoundShape& new_shape,
                                 unsigned threads)
    : input_file(new_input_file), output_file(new_output_file), chains(new_chains), plan(new_plan),
      shape(new_shape), input(new_shape.Frames(), new_input_file.FrameBytes(),
                              static_cast<unsigned>(new_input_file.BitsPerSample() / 8)),
      next_input(new_shape.Frames(), new_input_file.FrameBytes(),
                 static_cast<unsigned>(new_input_file.BitsPerSample() / 8)),
      output(new_shape.output_room, static_cast<unsigned>(new_chains.size()),
             static_cast<unsigned>(new_output_file.BitsPerSample() / 8)),
      pool(threads > 1 ? threads - 1 : 0) {}

RoundPlace ChannelPipeline::Follow(const RoundPlace& before, const InputBlock& block) const {
    RoundPlace round;
    round.start = before.start + before.frames;
    round.frames = block.Frames();
    round.last = !block.Full();
    round.output = before.output + before.output_frames;
    const std::uint64_t end = round.last ? plan.OutputLength(round.start + round.frames)
                                         : OutputIndexAt(plan, round.start + round.frames);
    round.output_frames = static_cast<std::size_t>(end - round.output);
    return round;
}

bool ChannelPipeline::Faulty() {
    for (const ChannelChain& chain : chains) {
        if (!chain.Fault().empty()) {
            failure_reason = chain.Fault();
            return true;
        }
    }
    return false;
}

ChannelPipeline::Result ChannelPipeline::Run(task::ITaskProgress& progress,
                                             task::ITaskStatus& status) {
    const std::size_t channels = chains.size();
    const std::size_t pieces = channels * shape.segments;
    input.Read(input_file);
    RoundPlace current = Follow(RoundPlace(), input);
    RoundPlace previous;
    bool have_previous = false;
    for (std::size_t index = 0;; ++index) {
        const unsigned slot = static_cast<unsigned>(index % 2);
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
                chains[i - first_delivery].Deliver(previous_slot, previous.output_frames, output);
            }
        });
        if (Faulty() || (have_previous && !output.Write(output_file, progress, failure_reason))) {
            return Result::Failed;
        }
        for (ChannelChain& chain : chains) {
            chain.EndRound();
        }
        if (current.last) {
            pool.Run(channels, [&](std::size_t c) {
                chains[c].Deliver(slot, current.output_frames, output);
            });
            return output.Write(output_file, progress, failure_reason) ? Result::Finished
                                                                       : Result::Failed;
        }
        if (status.IsCancelled()) {
            return Result::Stopped;
        }
        previous = current;
        have_previous = true;
        current = Follow(current, next_input);
        std::swap(input, next_input);
    }
}

} // namespace marrowvale
