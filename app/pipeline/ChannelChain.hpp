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

// How samples are stored on one side of a conversion: integers of a
// container width, or IEEE floats of 32 or 64 bits.
struct SampleCoding {
    bool floating = false;
    int bits = 16;
};

// What every channel of a file does to its samples.
struct ChainSetup {
    SampleCoding input;
    SampleCoding output;
    int dither_type = 0;
    int dither_bits = 0;
    int noise_shaping = 0;
};

// One channel's way through the conversion: its samples of each input block
// are decoded, resampled, requantised to the output width or scaled to float,
// and encoded into the output block. The chain keeps what it has not yet
// resampled for the next pass.
//
// Integers keep today's path: the resampler converts them, and the
// requantiser narrows or widens them. Anything involving floats goes through
// the resampler as values in its own scale, so that a float sample never
// passes through an integer of the input's width: float input full scale
// +-1.0 meets a 32-bit integer's full scale, float output takes the
// resampler's values without rounding to integers, and integer output from
// float input is requantised from those values in 32-bit steps.
class ChannelChain {
public:
    // `channel` counts from 0. `block_frames` is the input block's capacity,
    // `room` the output block's.
    ChannelChain(unsigned channel, const std::shared_ptr<const ResamplePlan>& plan,
                 const ChainSetup& setup, std::size_t block_frames, std::size_t room);

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
    // Float input samples that were NaN or infinite, replaced by 0.
    std::uint64_t NonFiniteSamples() const { return non_finite; }

private:
    void Deliver(OutputBlock& out, std::size_t count);
    bool ThroughValues() const { return setup.input.floating || setup.output.floating; }

    unsigned channel;
    ChainSetup setup;
    PolyphaseResample resampler;
    dsp::requantisation::IntegerRequantiser<int> requantiser;
    std::size_t available = 0;
    std::size_t offset = 0;
    std::uint64_t non_finite = 0;
    // Integer samples, or values in the resampler's scale, on either side.
    std::vector<std::int32_t> integers_in;
    std::vector<double> values_in;
    std::vector<std::int32_t> integers_out;
    std::vector<double> values_out;
    std::vector<float> floats_out;
};

} // namespace marrowvale
