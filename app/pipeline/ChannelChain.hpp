#pragma once

#include "app/pipeline/RoundShape.hpp"
#include "dsp/polyphase/PolyphaseResample.hpp"
#include "dsp/requantisation/IntegerRequantiser.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
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

// Where a round of input lies in the file.
struct RoundPlace {
    std::uint64_t start = 0;  // input frame of the round's first frame
    std::size_t frames = 0;   // frames read
    bool last = false;        // the input ends in this round
    std::uint64_t output = 0; // output sample of the round's first output
};

// One channel's way through the conversion. Each round, its samples are
// decoded and resampled piece by piece (pieces of a round may run on
// different threads), and then, in order, requantised to the output width or
// scaled to float and encoded into the output block. Two rounds are in hand
// at a time: one being resampled while the one before is delivered.
//
// Integers resampled with the designed filters, or not resampled, keep their
// path: the resampler converts them and the requantiser narrows or widens
// them. Anything else goes through the resampler as values in its own scale,
// so that a sample never passes through an integer of the input's width:
// float input full scale +-1.0 meets a 32-bit integer's full scale, float
// output takes the resampler's values without rounding to integers, and
// integer output from float input, or from integers resampled with the steep
// filters, is requantised once from those values in 32-bit steps.
class ChannelChain {
public:
    // `channel` counts from 0.
    ChannelChain(unsigned channel, const std::shared_ptr<const ResamplePlan>& plan,
                 const ChainSetup& setup, const RoundShape& shape);

    // Resamples piece `piece` of this channel's part of the round in `block`
    // into round buffer `slot` (0 or 1).
    void ResamplePiece(const InputBlock& block, const RoundPlace& round, std::size_t piece,
                       unsigned slot);
    // After the last round: the next part of the resampler's tail, as much
    // as a round holds, into round buffer `slot`.
    void DrainTail(unsigned slot);
    // Samples in round buffer `slot`, all channels alike.
    std::size_t Count(unsigned slot) const { return counts[slot]; }
    // Requantises or scales round buffer `slot` and encodes it into `out`.
    void Deliver(unsigned slot, OutputBlock& out);
    // Makes the piece that ended the round the next round's first.
    void EndRound();

    std::uint64_t ClippedSamples() const { return requantiser.ClippedCount(); }
    // Float input samples that were NaN or infinite, replaced by 0.
    std::uint64_t NonFiniteSamples() const;
    // Set when a piece delivered other than the count its place calls for.
    const std::string& Fault() const { return fault; }

private:
    // One resampler of the channel, with the room its pieces need.
    struct Lane {
        explicit Lane(const std::shared_ptr<const ResamplePlan>& plan) : resampler(plan) {}
        PolyphaseResample resampler;
        std::vector<std::int32_t> integers; // decoded input
        std::vector<double> values;
        std::vector<std::int32_t> primed_integers; // priming output, dropped
        std::vector<double> primed_values;
        std::uint64_t non_finite = 0;
    };

    void Decode(const InputBlock& block, std::size_t first, std::size_t count, Lane& lane);
    template <class Sample>
    std::size_t Stream(PolyphaseResample& resampler, const Sample* in, std::size_t count,
                       Sample* out, std::size_t room, bool flush);

    unsigned channel;
    std::shared_ptr<const ResamplePlan> plan;
    ChainSetup setup;
    RoundShape shape;
    bool through_values; // the resampler streams values, not integers
    std::vector<Lane> lanes;
    std::size_t continuing = 0; // the lane that ended where this round begins
    std::size_t ending = 0;     // the lane of the round's last piece
    dsp::requantisation::IntegerRequantiser<int> requantiser;
    std::string fault;
    // Each round's output as the resampler delivers it: integers, or values
    // in its scale.
    std::vector<std::int32_t> integers_out[2];
    std::vector<double> values_out[2];
    std::size_t counts[2] = {0, 0};
    std::vector<std::int32_t> requantised; // values to integer output
    std::vector<float> floats_out;
};

} // namespace marrowvale
