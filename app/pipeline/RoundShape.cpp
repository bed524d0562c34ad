#include "app/pipeline/RoundShape.hpp"

#include <algorithm>

namespace marrowvale {

namespace {

// Frames a channel's part of a round holds at the most, and all channels'
// parts together; both bound the memory of a file's buffers.
constexpr std::size_t channel_frames = std::size_t{1} << 16;
constexpr std::size_t round_samples = std::size_t{1} << 20;
// Output frames one piece may deliver, for extreme up-sampling.
constexpr std::size_t piece_output = std::size_t{1} << 18;
// A piece after the first is this many times longer than its priming at
// least, so that priming costs a few percent.
constexpr std::size_t priming_share = 32;

std::size_t RoundDown(std::size_t value, std::size_t unit) {
    return std::max(unit, value / unit * unit);
}

} // namespace

RoundShape RoundShape::For(const ResamplePlan& plan, unsigned channels, unsigned threads,
                           unsigned sample_bytes, std::uint64_t input_frames) {
    RoundShape shape;
    // One frame more than the input, so that a short file is read in one
    // short round, as it was before rounds were bounded by it.
    const std::uint64_t wanted_frames =
        input_frames < channel_frames ? input_frames + 1 : std::uint64_t{channel_frames};
    const std::size_t most = std::max<std::size_t>(1, round_samples / std::max(1U, channels));
    if (!plan.Resamples()) {
        // Copies: W x 10240 frames, as many as the sample bytes allow.
        shape.segment_frames = static_cast<std::size_t>(std::max<std::uint64_t>(
            1,
            std::min<std::uint64_t>({std::uint64_t{sample_bytes} * 10240, most, wanted_frames})));
        shape.output_room = shape.segment_frames;
        return shape;
    }
    const std::size_t block = plan.InputBlockLength();
    const std::size_t block_output = plan.OutputBlockLength();
    const std::size_t needed =
        RoundDown(static_cast<std::size_t>(wanted_frames) + block - 1, block);
    // Output bounds a round too: up-sampling by large factors would
    // otherwise hold many times the input's samples.
    const std::size_t output_most = std::min(piece_output, most);
    const std::size_t by_output = std::max<std::size_t>(1, output_most / block_output) * block;
    shape.segment_frames = RoundDown(std::min({channel_frames, most, by_output, needed}), block);

    // Threads beyond one a channel take pieces of a channel's time, when the
    // priming is short enough to be worth it.
    const std::size_t wanted = threads > channels ? (threads + channels - 1) / channels : 1;
    if (wanted > 1 && shape.segment_frames < input_frames) {
        shape.priming_frames = plan.PrimingLength();
        const std::size_t piece =
            RoundDown(std::max(shape.segment_frames, shape.priming_frames * priming_share), block);
        if (piece * wanted * channels <= round_samples * 4 && shape.priming_frames <= piece) {
            shape.segments = wanted;
            shape.segment_frames = piece;
        } else {
            shape.priming_frames = 0;
        }
    }
    // A round's output, whose pieces can end an output block later than its
    // input; the tail comes in rounds of this size.
    shape.output_room =
        static_cast<std::size_t>(plan.OutputLength(shape.Frames())) + block_output + 1;
    return shape;
}

} // namespace marrowvale
