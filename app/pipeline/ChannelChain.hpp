#pragma once

#include "app/pipeline/RoundShape.hpp"
#include "dsp/polyphase/PolyphaseResample.hpp"

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
// decoded and resampled piece by piece (pieces of a round may run on
// different threads), and then, in order, delivered into the output block.
// Two rounds are in hand at a time: one being resampled while the one before
// is delivered.
//
// What is shared lives here: the lanes (a resampler each, one a piece), the
// pieces' places, their priming and the tail. How samples are decoded,
// streamed and delivered is the plan's ChainKind, one chain each.
class ChannelChain {
public:
    // The chain of the plan's kind for channel `channel` (from 0).
    static std::unique_ptr<ChannelChain> For(unsigned channel, const ConversionPlan& plan,
                                             const ConversionSettings& settings,
                                             const RoundShape& shape);
    virtual ~ChannelChain() = default;

    // Resamples piece `piece` of this channel's part of the round in `block`
    // into round buffer `slot` (0 or 1).
    void ResamplePiece(const InputBlock& block, const RoundPlace& round, std::size_t piece,
                       unsigned slot);
    // After the last round: the next part of the resampler's tail, as much
    // as a round holds, into round buffer `slot`.
    void DrainTail(unsigned slot) { counts[slot] = Drain(lanes[ending], slot); }
    // Samples in round buffer `slot`, all channels alike.
    std::size_t Count(unsigned slot) const { return counts[slot]; }
    // Requantises or scales round buffer `slot` and encodes it into `out`.
    virtual void Deliver(unsigned slot, OutputBlock& out) = 0;
    // Makes the piece that ended the round the next round's first.
    void EndRound() { continuing = ending; }

    virtual std::uint64_t ClippedSamples() const { return 0; }
    // Float input samples that were NaN or infinite, replaced by 0.
    std::uint64_t NonFiniteSamples() const;
    // Set when a piece delivered other than the count its place calls for.
    const std::string& FaultReason() const { return fault; }

protected:
    ChannelChain(unsigned channel, const ConversionPlan& plan, const RoundShape& shape);

    // One resampler of the channel; the chain keeps its buffers beside it.
    struct Lane {
        explicit Lane(const std::shared_ptr<const ResamplePlan>& plan) : resampler(plan) {}
        PolyphaseResample resampler;
        std::size_t index = 0;
        std::uint64_t non_finite = 0;
    };
    // What one piece gave: the priming's output (dropped) and the piece's.
    struct Streamed {
        std::size_t primed = 0;
        std::size_t delivered = 0;
    };
    // Decodes frames [first, first + primed + count) of this channel from
    // `block` into the lane, streams the first `primed` of them as priming
    // and the rest into round buffer `slot` from `offset`, `room` at most.
    virtual Streamed Resample(Lane& lane, const InputBlock& block, std::size_t first,
                              std::size_t primed, std::size_t count, unsigned slot,
                              std::size_t offset, std::size_t room) = 0;
    // The lane's tail into round buffer `slot`; returns the count.
    virtual std::size_t Drain(Lane& lane, unsigned slot) = 0;

    const unsigned channel;
    const ConversionPlan& plan;
    const RoundShape shape;

private:
    std::vector<Lane> lanes;
    std::size_t continuing = 0; // the lane that ended where this round begins
    std::size_t ending = 0;     // the lane of the round's last piece
    std::string fault;
    std::size_t counts[2] = {0, 0};
};

} // namespace marrowvale
