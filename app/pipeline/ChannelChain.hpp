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
struct ConversionPlan;
struct ConversionSettings;

// Where a round of input lies in the file.
struct RoundPlace {
    std::uint64_t start = 0;  // input frame of the round's first frame
    std::size_t frames = 0;   // frames read
    bool last = false;        // the input ends in this round
    std::uint64_t output = 0; // output sample of the round's first output
};

// One channel's way through the conversion. Each round, its samples are
// decoded into values in the resampler's scale (see value_scale) and
// resampled piece by piece (pieces of a round may run on different threads),
// and then, in order, delivered into the output block as the plan's
// ChainKind says. Two rounds are in hand at a time: one being resampled while
// the one before is delivered.
class ChannelChain {
public:
    // `channel` counts from 0; the plan and the settings outlive the chain.
    ChannelChain(unsigned channel, const ConversionPlan& plan, const ConversionSettings& settings,
                 const RoundShape& shape);

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
    void EndRound() { continuing = ending; }

    std::uint64_t ClippedSamples() const { return requantiser.ClippedCount(); }
    // Float input samples that were NaN or infinite, replaced by 0.
    std::uint64_t NonFiniteSamples() const;
    // Set when a piece delivered other than the count its place calls for.
    const std::string& FaultReason() const { return fault; }

private:
    // One resampler of the channel, with the room its pieces need.
    struct Lane {
        explicit Lane(const std::shared_ptr<const ResamplePlan>& plan) : resampler(plan) {}
        PolyphaseResample resampler;
        std::vector<double> input;
        std::vector<double> primed; // the priming's output, dropped
        std::uint64_t non_finite = 0;
    };

    void Decode(const InputBlock& block, std::size_t first, std::size_t count, Lane& lane) const;

    unsigned channel;
    const ConversionPlan& plan;
    RoundShape shape;
    std::vector<Lane> lanes;
    std::size_t continuing = 0; // the lane that ended where this round begins
    std::size_t ending = 0;     // the lane of the round's last piece
    std::string fault;
    // Each round's output as the resampler delivers it, values in its scale.
    std::vector<double> resampled[2];
    std::size_t counts[2] = {0, 0};
    dsp::requantisation::IntegerRequantiser<int> requantiser;
    std::vector<std::int32_t> integers; // integer output
    std::vector<float> floats;          // float output
};

} // namespace marrowvale
