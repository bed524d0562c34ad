#pragma once

#include "dsp/polyphase/ResamplePlan.hpp"

#include <cstddef>
#include <cstdint>
#include <limits>

namespace marrowvale {

// How a file's input is cut for the block loop. The loop reads `Frames()`
// frames at a time (a round); each channel's part of a round is resampled in
// `segments` pieces of `segment_frames` frames, on as many threads. A piece
// after the first starts on a block boundary of the resampler's first stage,
// and a fresh resampler primed with the input before it delivers exactly
// what one resampler taking the whole channel would (see
// ResamplePlan::PrimingLength), so the pieces join without a seam.
struct RoundShape {
    std::size_t segments = 1;
    std::size_t segment_frames = 0;
    std::size_t priming_frames = 0;
    std::size_t output_room = 0; // output frames a round can deliver

    std::size_t Frames() const { return segments * segment_frames; }

    // For a file of `channels` channels on `threads` threads (this one
    // included), reading `sample_bytes` per sample. A round holds no more
    // than `input_frames` need, so that a short file takes small buffers.
    static RoundShape For(const ResamplePlan& plan, unsigned channels, unsigned threads,
                          unsigned sample_bytes, std::uint64_t input_frames = UINT64_MAX);
};

// The index of the first output sample that input frame `frame` (a block
// boundary of the plan, or 0) contributes to, in the output stream: the
// resampler's latency is dropped from the front.
inline std::uint64_t OutputIndexAt(const ResamplePlan& plan, std::uint64_t frame) {
    const std::uint64_t index = plan.OutputLength(frame);
    return index > plan.Skip() ? index - plan.Skip() : 0;
}

} // namespace marrowvale
