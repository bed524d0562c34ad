#include "app/pipeline/ChannelChain.hpp"

#include "app/ConversionPlan.hpp"
#include "app/ConversionSettings.hpp"
#include "app/pipeline/InputBlock.hpp"
#include "app/pipeline/OutputBlock.hpp"
#include "dsp/requantisation/IntegerRequantiser.hpp"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace marrowvale {

ChannelChain::ChannelChain(unsigned new_channel, const ConversionPlan& new_plan,
                           const RoundShape& new_shape)
    : channel(new_channel), plan(new_plan), shape(new_shape) {
    lanes.reserve(shape.segments);
    for (std::size_t k = 0; k < shape.segments; ++k) {
        lanes.emplace_back(plan.resampling).index = k;
    }
}

std::uint64_t ChannelChain::NonFiniteSamples() const {
    std::uint64_t count = 0;
    for (const Lane& lane : lanes) {
        count += lane.non_finite;
    }
    return count;
}

void ChannelChain::ResamplePiece(const InputBlock& block, const RoundPlace& round,
                                 std::size_t piece, unsigned slot) {
    const std::size_t s = shape.segment_frames;
    const std::size_t begin = piece * s;
    const std::size_t last_piece =
        !round.last ? shape.segments - 1 : (round.frames == 0 ? 0 : (round.frames - 1) / s);
    if (piece > last_piece) {
        return;
    }
    const std::size_t end = std::min(begin + s, round.frames);
    Lane& lane = lanes[(continuing + piece) % lanes.size()];
    std::size_t primed = 0;
    if (piece > 0) {
        // A fresh start on a block boundary, primed with the input before it.
        lane.resampler.Reset();
        primed = std::min(shape.priming_frames, begin);
        if (primed < shape.priming_frames && primed != begin) {
            fault = "internal error: a piece is shorter than its priming";
            return;
        }
    }

    // Every piece but the stream's last ends on a block boundary, where its
    // output is known exactly; the last delivers what its whole blocks
    // give, and the tail follows in rounds of its own.
    const ResamplePlan& resampling = *plan.resampling;
    const bool ends_stream = round.last && piece == last_piece;
    const std::uint64_t first_output = OutputIndexAt(resampling, round.start + begin);
    const std::size_t offset = static_cast<std::size_t>(first_output - round.output);
    const std::size_t room = shape.output_room - offset;
    const std::size_t expected =
        ends_stream
            ? room
            : static_cast<std::size_t>(OutputIndexAt(resampling, round.start + end) - first_output);
    // What a fresh start delivers before the piece's first output.
    const std::size_t dropped =
        piece == 0 ? 0
                   : static_cast<std::size_t>(
                         first_output - resampling.OutputLength(round.start + begin - primed));

    const Streamed got =
        Resample(lane, block, begin - primed, primed, end - begin, slot, offset, expected);
    if (got.primed != dropped || (!ends_stream && got.delivered != expected)) {
        fault = "internal error: a piece of the input resampled to an unexpected length";
    }
    if (piece == last_piece) {
        counts[slot] = offset + got.delivered;
        ending = lane.index;
    }
}

namespace {

// Feeds `count` samples and, with `flush`, the tail; returns what was
// delivered into out[0 .. room).
template <class Sample>
std::size_t Stream(PolyphaseResample& resampler, const Sample* in, std::size_t count, Sample* out,
                   std::size_t room, bool flush) {
    std::size_t taken_all = 0;
    std::size_t delivered_all = 0;
    while (taken_all < count) {
        unsigned taken = static_cast<unsigned>(count - taken_all);
        unsigned delivered = static_cast<unsigned>(room - delivered_all);
        resampler.Process(in + taken_all, out + delivered_all, taken, delivered);
        taken_all += taken;
        delivered_all += delivered;
        if (taken == 0 && delivered == 0) {
            return delivered_all; // no room: the caller finds the count short
        }
    }
    while (flush && delivered_all < room) {
        unsigned delivered = static_cast<unsigned>(room - delivered_all);
        resampler.Flush(out + delivered_all, delivered);
        delivered_all += delivered;
        if (delivered == 0) {
            break;
        }
    }
    return delivered_all;
}

// A chain whose resamplers stream `Sample`s: integers, or values in the
// resampler's scale. It keeps each lane's decoded input and dropped priming
// output, and the rounds' output.
template <class Sample>
class SampleChain : public ChannelChain {
protected:
    SampleChain(unsigned new_channel, const ConversionPlan& new_plan, const RoundShape& new_shape)
        : ChannelChain(new_channel, new_plan, new_shape), decoded(shape.segments),
          primed_output(shape.segments) {
        const std::size_t primed_room =
            shape.priming_frames == 0
                ? 0
                : static_cast<std::size_t>(plan.resampling->OutputLength(shape.priming_frames)) + 1;
        for (std::size_t k = 0; k < shape.segments; ++k) {
            decoded[k].resize(shape.segment_frames + shape.priming_frames);
            primed_output[k].resize(primed_room);
        }
        resampled[0].resize(shape.output_room);
        resampled[1].resize(shape.output_room);
    }

    // Decodes frames [first, first + count) of this channel into `into`.
    virtual void Decode(const InputBlock& block, std::size_t first, std::size_t count, Sample* into,
                        Lane& lane) = 0;

    Streamed Resample(Lane& lane, const InputBlock& block, std::size_t first, std::size_t primed,
                      std::size_t count, unsigned slot, std::size_t offset,
                      std::size_t room) override {
        Sample* in = decoded[lane.index].data();
        std::vector<Sample>& dropped = primed_output[lane.index];
        Decode(block, first, primed + count, in, lane);
        Streamed got;
        got.primed = Stream(lane.resampler, in, primed, dropped.data(), dropped.size(), false);
        got.delivered = Stream(lane.resampler, in + primed, count, resampled[slot].data() + offset,
                               room, false);
        return got;
    }

    std::size_t Drain(Lane& lane, unsigned slot) override {
        return Stream(lane.resampler, static_cast<const Sample*>(nullptr), 0,
                      resampled[slot].data(), resampled[slot].size(), true);
    }

    std::vector<std::vector<Sample>> decoded;
    std::vector<std::vector<Sample>> primed_output;
    std::vector<Sample> resampled[2];
};

using dsp::requantisation::IntegerRequantiser;

// Each channel draws its own dither.
void PrepareRequantiser(IntegerRequantiser<int>& requantiser, int input_bits, int output_bits,
                        const ConversionSettings& settings, unsigned channel) {
    const int change = input_bits - output_bits;
    requantiser.bits_removed = change > 0 ? static_cast<unsigned>(change) : 0U;
    requantiser.bits_added = change < 0 ? static_cast<unsigned>(-change) : 0U;
    requantiser.output_bits = output_bits;
    requantiser.dither_bits = settings.dither_bits;
    requantiser.dither_type = settings.dither_type;
    requantiser.noise_shaping = settings.noise_shaping;
    requantiser.seed_salt = channel + 1;
    requantiser.Prepare();
}

// int -> int through the designed filters, or none: decoded integers, which
// the resampler returns truncated at the input's width, requantised to the
// output's.
class IntegerChain final : public SampleChain<std::int32_t> {
public:
    IntegerChain(unsigned new_channel, const ConversionPlan& new_plan,
                 const ConversionSettings& settings, const RoundShape& new_shape)
        : SampleChain(new_channel, new_plan, new_shape) {
        PrepareRequantiser(requantiser, plan.input.bits, plan.output.bits, settings, channel);
    }
    void Deliver(unsigned slot, OutputBlock& out) override {
        requantiser.Process(resampled[slot].data(), static_cast<unsigned>(Count(slot)));
        out.Put(channel, resampled[slot].data(), Count(slot));
    }
    std::uint64_t ClippedSamples() const override { return requantiser.ClippedCount(); }

private:
    void Decode(const InputBlock& block, std::size_t first, std::size_t count, std::int32_t* into,
                Lane&) override {
        block.DecodeChannel(channel, first, count, into);
    }

    IntegerRequantiser<int> requantiser;
};

// Float input beyond this many times full scale is taken as this, so that
// the resampler's float arithmetic cannot overflow; such levels clip in any
// integer output anyway.
constexpr double largest_float_input = 4294967296.0; // 2^32

// A chain of values in the resampler's scale, whatever the input's coding.
class ValueChain : public SampleChain<double> {
protected:
    using SampleChain::SampleChain;

    void Decode(const InputBlock& block, std::size_t first, std::size_t count, double* into,
                Lane& lane) override {
        if (plan.input.floating) {
            block.DecodeChannel(channel, first, count, into);
        } else {
            std::int32_t integers[1024];
            for (std::size_t done = 0, n = 0; done < count; done += n) {
                n = std::min(count - done, std::size(integers));
                block.DecodeChannel(channel, first + done, n, integers);
                std::copy(integers, integers + n, into + done);
            }
        }
        const double into_scale = value_scale::Into(plan.input);
        for (std::size_t i = 0; i < count; ++i) {
            double& x = into[i];
            if (!std::isfinite(x)) {
                x = 0.0;
                ++lane.non_finite;
            }
            x = std::clamp(x, -largest_float_input, largest_float_input) * into_scale;
        }
    }
};

// Values to integer output: scaled to 32-bit integer steps and requantised
// once, from those, to the output's width.
class QuantisingChain final : public ValueChain {
public:
    QuantisingChain(unsigned new_channel, const ConversionPlan& new_plan,
                    const ConversionSettings& settings, const RoundShape& new_shape)
        : ValueChain(new_channel, new_plan, new_shape), integers(shape.output_room) {
        PrepareRequantiser(requantiser, 32, plan.output.bits, settings, channel);
    }
    void Deliver(unsigned slot, OutputBlock& out) override {
        const double scale = value_scale::OutOf(plan);
        double* values = resampled[slot].data();
        for (std::size_t i = 0; i < Count(slot); ++i) {
            values[i] *= scale;
        }
        requantiser.Process(values, integers.data(), static_cast<unsigned>(Count(slot)));
        out.Put(channel, integers.data(), Count(slot));
    }
    std::uint64_t ClippedSamples() const override { return requantiser.ClippedCount(); }

private:
    IntegerRequantiser<int> requantiser;
    std::vector<std::int32_t> integers;
};

// Values to float output of full scale +-1.0, rounded to float once.
class FloatChain final : public ValueChain {
public:
    FloatChain(unsigned new_channel, const ConversionPlan& new_plan, const RoundShape& new_shape)
        : ValueChain(new_channel, new_plan, new_shape), floats(shape.output_room) {}
    void Deliver(unsigned slot, OutputBlock& out) override {
        const double scale = value_scale::OutOf(plan);
        const double* values = resampled[slot].data();
        for (std::size_t i = 0; i < Count(slot); ++i) {
            floats[i] = static_cast<float>(values[i] * scale);
        }
        out.Put(channel, floats.data(), Count(slot));
    }

private:
    std::vector<float> floats;
};

} // namespace

std::unique_ptr<ChannelChain> ChannelChain::For(unsigned channel, const ConversionPlan& plan,
                                                const ConversionSettings& settings,
                                                const RoundShape& shape) {
    switch (plan.chain) {
    case ChainKind::Integers:
        return std::make_unique<IntegerChain>(channel, plan, settings, shape);
    case ChainKind::ValuesToIntegers:
        return std::make_unique<QuantisingChain>(channel, plan, settings, shape);
    case ChainKind::ValuesToFloats:
        break;
    }
    return std::make_unique<FloatChain>(channel, plan, shape);
}

} // namespace marrowvale
