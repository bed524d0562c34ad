#include "app/pipeline/ChannelChain.hpp"

#include "app/pipeline/InputBlock.hpp"
#include "app/pipeline/OutputBlock.hpp"
#include "dsp/polyphase/ResampleScale.hpp"

#include <algorithm>
#include <cmath>

namespace marrowvale {

namespace {

// Float input beyond this many times full scale is taken as this, so that
// the resampler's float arithmetic cannot overflow; such levels clip in any
// integer output anyway.
constexpr double largest_float_input = 4294967296.0; // 2^32
// Float input is requantised to integers as a 32-bit integer would be.
constexpr int float_input_bits = 32;

} // namespace

ChannelChain::ChannelChain(unsigned new_channel,
                           const std::shared_ptr<const ResamplePlan>& new_plan,
                           const ChainSetup& new_setup, const RoundShape& new_shape)
    : channel(new_channel), plan(new_plan), setup(new_setup), shape(new_shape),
      through_values(setup.input.floating || setup.output.floating ||
                     (plan->Precise() && plan->Resamples())) {
    const std::size_t piece_input = shape.segment_frames + shape.priming_frames;
    const std::size_t primed_output =
        shape.priming_frames == 0
            ? 0
            : static_cast<std::size_t>(plan->OutputLength(shape.priming_frames)) + 1;
    lanes.reserve(shape.segments);
    for (std::size_t k = 0; k < shape.segments; ++k) {
        Lane& lane = lanes.emplace_back(plan);
        if (!setup.input.floating) {
            lane.integers.resize(piece_input);
        }
        if (through_values) {
            lane.values.resize(piece_input);
            lane.primed_values.resize(primed_output);
        } else {
            lane.primed_integers.resize(primed_output);
        }
    }
    for (unsigned slot = 0; slot < 2; ++slot) {
        if (through_values) {
            values_out[slot].resize(shape.output_room);
        } else {
            integers_out[slot].resize(shape.output_room);
        }
    }
    if (setup.output.floating) {
        floats_out.resize(shape.output_room);
        return;
    }
    if (through_values) {
        requantised.resize(shape.output_room);
    }
    // Values are requantised from 32-bit steps, whatever the input's width.
    const int input_bits = through_values ? float_input_bits : setup.input.bits;
    const int change = input_bits - setup.output.bits;
    requantiser.bits_removed = change > 0 ? static_cast<unsigned>(change) : 0U;
    requantiser.bits_added = change < 0 ? static_cast<unsigned>(-change) : 0U;
    requantiser.output_bits = setup.output.bits;
    requantiser.dither_bits = setup.dither_bits;
    requantiser.dither_type = setup.dither_type;
    requantiser.noise_shaping = setup.noise_shaping;
    requantiser.seed_salt = channel + 1; // each channel draws its own dither
    requantiser.Prepare();
}

std::uint64_t ChannelChain::NonFiniteSamples() const {
    std::uint64_t count = 0;
    for (const Lane& lane : lanes) {
        count += lane.non_finite;
    }
    return count;
}

void ChannelChain::Decode(const InputBlock& block, std::size_t first, std::size_t count,
                          Lane& lane) {
    if (setup.input.floating) {
        block.DecodeChannel(channel, first, count, lane.values.data());
        for (std::size_t i = 0; i < count; ++i) {
            double& x = lane.values[i];
            if (!std::isfinite(x)) {
                x = 0.0;
                ++lane.non_finite;
            }
            x = std::clamp(x, -largest_float_input, largest_float_input) *
                resample_scale::float_full_scale;
        }
        return;
    }
    block.DecodeChannel(channel, first, count, lane.integers.data());
    if (through_values) {
        const bool precise = plan->Precise();
        for (std::size_t i = 0; i < count; ++i) {
            const int x = lane.integers[i];
            lane.values[i] =
                precise ? x * resample_scale::input_scale : resample_scale::FromInteger(x);
        }
    }
}

// Feeds `count` samples and, with `flush`, the tail; returns what was
// delivered into out[0 .. room).
template <class Sample>
std::size_t ChannelChain::Stream(PolyphaseResample& resampler, const Sample* in, std::size_t count,
                                 Sample* out, std::size_t room, bool flush) {
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
    PolyphaseResample& resampler = lane.resampler;
    std::size_t primed = 0;
    if (piece > 0) {
        // A fresh start on a block boundary, primed with the input before it.
        resampler.Reset();
        primed = std::min(shape.priming_frames, begin);
        if (primed < shape.priming_frames && primed != begin) {
            fault = "internal error: a piece is shorter than its priming";
            return;
        }
    }
    Decode(block, begin - primed, end - begin + primed, lane);

    // Every piece but the stream's last ends on a block boundary, where its
    // output is known exactly; the last delivers what its whole blocks
    // give, and the tail follows in rounds of its own.
    const bool ends_stream = round.last && piece == last_piece;
    const std::uint64_t first_output = OutputIndexAt(*plan, round.start + begin);
    const std::size_t offset = static_cast<std::size_t>(first_output - round.output);
    const std::size_t room =
        (through_values ? values_out[slot].size() : integers_out[slot].size()) - offset;
    const std::size_t expected =
        ends_stream
            ? room
            : static_cast<std::size_t>(OutputIndexAt(*plan, round.start + end) - first_output);
    // What a fresh start delivers before the piece's first output.
    const std::size_t dropped =
        piece == 0 ? 0
                   : static_cast<std::size_t>(first_output -
                                              plan->OutputLength(round.start + begin - primed));

    std::size_t got_primed = 0;
    std::size_t got = 0;
    if (through_values) {
        got_primed = Stream(resampler, lane.values.data(), primed, lane.primed_values.data(),
                            lane.primed_values.size(), false);
        got = Stream(resampler, lane.values.data() + primed, end - begin,
                     values_out[slot].data() + offset, expected, false);
    } else {
        got_primed = Stream(resampler, lane.integers.data(), primed, lane.primed_integers.data(),
                            lane.primed_integers.size(), false);
        got = Stream(resampler, lane.integers.data() + primed, end - begin,
                     integers_out[slot].data() + offset, expected, false);
    }
    if (got_primed != dropped || (!ends_stream && got != expected)) {
        fault = "internal error: a piece of the input resampled to an unexpected length";
    }
    if (piece == last_piece) {
        counts[slot] = offset + got;
        ending = (continuing + piece) % lanes.size();
    }
}

void ChannelChain::DrainTail(unsigned slot) {
    PolyphaseResample& resampler = lanes[ending].resampler;
    if (through_values) {
        counts[slot] = Stream(resampler, static_cast<const double*>(nullptr), 0,
                              values_out[slot].data(), values_out[slot].size(), true);
    } else {
        counts[slot] = Stream(resampler, static_cast<const std::int32_t*>(nullptr), 0,
                              integers_out[slot].data(), integers_out[slot].size(), true);
    }
}

void ChannelChain::EndRound() {
    continuing = ending;
}

void ChannelChain::Deliver(unsigned slot, OutputBlock& out) {
    const std::size_t count = counts[slot];
    const unsigned n = static_cast<unsigned>(count);
    if (setup.output.floating) {
        // Full scale +-1.0: float input came in at float_full_scale, integer
        // input at 2^(bits - 1) / 2^16. Powers of two keep the values exact.
        const double scale = setup.input.floating ? 1.0 / resample_scale::float_full_scale
                                                  : std::ldexp(1.0, 17 - setup.input.bits);
        const double* values = values_out[slot].data();
        for (std::size_t i = 0; i < count; ++i) {
            floats_out[i] = static_cast<float>(values[i] * scale);
        }
        out.Put(channel, floats_out.data(), count);
        return;
    }
    if (through_values) {
        // From the resampler's scale to 32-bit integer steps: a power of
        // two, so nothing is rounded on the way.
        const double scale = setup.input.floating ? 1.0 / resample_scale::input_scale
                                                  : std::ldexp(1.0 / resample_scale::input_scale,
                                                               float_input_bits - setup.input.bits);
        double* values = values_out[slot].data();
        for (std::size_t i = 0; i < count; ++i) {
            values[i] *= scale;
        }
        requantiser.Process(values, requantised.data(), n);
        out.Put(channel, requantised.data(), count);
        return;
    }
    requantiser.Process(integers_out[slot].data(), n);
    out.Put(channel, integers_out[slot].data(), count);
}

} // namespace marrowvale
