#include "app/pipeline/ChannelPipeline.hpp"

#include "audio/riffwave/WaveFile_type.hpp"
#include "task/ITaskProgress.hpp"
#include "task/ITaskStatus.hpp"

#include <utility>

namespace marrowvale {

ChannelPipeline::ChannelPipeline(audio::riffwave::WaveFile_type& new_input_file,
                                 audio::riffwave::WaveFile_type& new_output_file,
                                 std::vector<ChannelChain>& new_chains, std::size_t block_frames,
                                 std::size_t room, std::size_t worker_threads)
    : input_file(new_input_file), output_file(new_output_file), chains(new_chains),
      input(block_frames, new_input_file.FrameBytes(),
            static_cast<unsigned>(new_input_file.BitsPerSample() / 8)),
      next_input(block_frames, new_input_file.FrameBytes(),
                 static_cast<unsigned>(new_input_file.BitsPerSample() / 8)),
      filling(room, static_cast<unsigned>(new_chains.size()),
              static_cast<unsigned>(new_output_file.BitsPerSample() / 8)),
      finished(room, static_cast<unsigned>(new_chains.size()),
               static_cast<unsigned>(new_output_file.BitsPerSample() / 8)),
      take_and_resample([this](std::size_t c) {
          chains[c].TakeBlock(input);
          chains[c].Resample(filling);
      }),
      resample([this](std::size_t c) { chains[c].Resample(filling); }),
      drain([this](std::size_t c) { chains[c].Drain(filling); }), pool(worker_threads) {}

void ChannelPipeline::RunPass(const std::function<void(std::size_t)>& step) {
    pool.RunForEach(chains.size(), step);
}

bool ChannelPipeline::Write(OutputBlock& block, task::ITaskProgress& progress) {
    return block.Write(output_file, progress, failure_reason);
}

ChannelPipeline::Result ChannelPipeline::Run(task::ITaskProgress& progress,
                                             task::ITaskStatus& status) {
    input.Read(input_file);
    for (;;) {
        pool.Start(chains.size(), take_and_resample);
        const bool written = Write(finished, progress);
        if (input.Full()) {
            next_input.Read(input_file);
        }
        pool.Wait();
        if (!written) {
            return Result::Failed;
        }
        // Up-sampling by large factors makes more output than one block
        // holds: write it and go on until the chains have taken the block.
        while (chains.front().HasInput() && filling.Frames() != 0) {
            if (!Write(filling, progress)) {
                return Result::Failed;
            }
            RunPass(resample);
        }
        std::swap(filling, finished);
        if (!input.Full()) {
            break;
        }
        if (status.IsCancelled()) {
            return Write(finished, progress) ? Result::Stopped : Result::Failed;
        }
        std::swap(input, next_input);
    }
    if (!Write(finished, progress)) {
        return Result::Failed;
    }

    // The resamplers' tails, until they deliver nothing more.
    for (;;) {
        RunPass(drain);
        const bool drained = filling.Frames() == 0;
        if (!Write(filling, progress)) {
            return Result::Failed;
        }
        if (drained) {
            return Result::Finished;
        }
        if (status.IsCancelled()) {
            return Result::Stopped;
        }
    }
}

} // namespace marrowvale
