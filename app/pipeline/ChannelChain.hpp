#pragma once

#include "dsp/polyphase/PolyphaseResample.hpp"
#include "dsp/requantisation/IntegerRequantiser.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace marrowvale {

class InputBlock;
class OutputBlock;

// How every channel of a file is requantised.
struct RequantiserSetup {
    int input_bits = 0;
    int output_bits = 0;
    int dither_type = 0;
    int dither_bits = 0;
    int noise_shaping = 0;
};

// One channel's way through the conversion: its samples of each input block
// are resampled, requantised to the output width and encoded into the output
// block. The chain keeps what it has not yet resampled for the next pass.
class ChannelChain {
public:
    // `channel` counts from 0. `block_frames` is the input block's capacity,
    // `room` the output block's.
    ChannelChain(unsigned channel, const std::shared_ptr<const ResamplePlan>& plan,
                 const RequantiserSetup& setup, std::size_t block_frames, std::size_t room);

    // Decodes this channel's samples of the block.
    void TakeBlock(const InputBlock& block);
    // Whether samples of the block are left for another pass.
    bool HasInput() const { return offset < available; }
    // Resamples what is left of the block until it is all taken or the
    // output block is full, and puts the result into `out`.
    void Resample(OutputBlock& out);
    // Puts the next piece of the resampler's tail into `out`.
    void Drain(OutputBlock& out);

    std::uint64_t ClippedSamples() const { return requantiser.ClippedCount(); }

private:
    void Deliver(OutputBlock& out, std::size_t count);

    unsigned channel;
    PolyphaseResample resampler;
    dsp::requantisation::IntegerRequantiser<int> requantiser;
    std::vector<std::int32_t> input;
    std::size_t available = 0;
    std::size_t offset = 0;
    std::vector<std::int32_t> output;
};

} // namespace marrowvale
