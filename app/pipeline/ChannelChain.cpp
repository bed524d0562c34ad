#include "app/pipeline/ChannelChain.hpp"

#include "app/ConversionPlan.hpp"
#include "app/ConversionSettings.hpp"
#include "app/pipeline/InputBlock.hpp"
#include "app/pipeline/OutputBlock.hpp"
#include "dsp/polyphase/ResampleScale.hpp"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace marrowvale {

namespace {

// Float input beyond this many times full scale is taken as this, so that
// the resampler's float arithmetic cannot overflow; such levels clip in any
// integer output anyway.
constexpr double largest_float_input = 4294967296.0; // 2^32

// Feeds `count` samples and, with `flush`, the tail; returns what was
// delivered into out[0 .. room).
std::size_t Stream(PolyphaseResample& resampler, const double* in, std::size_t count, double* out,
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

} // namespace

ChannelChain::ChannelChain(unsigned new_channel, const ConversionPlan& new_plan,
                           const ConversionSettings& settings, const RoundShape& new_shape)
    : channel(new_channel), plan(new_plan), shape(new_shape) {
    const std::size_t primed_output =
        shape.priming_frames == 0
            ? 0
            : static_cast<std::size_t>(plan.resampling->OutputLength(shape.priming_frames)) + 1;
    lanes.reserve(shape.segments);
    for (std::size_t k = 0; k < shape.segments; ++k) {
        Lane& lane = lanes.emplace_back(plan.resampling);
        lane.input.resize(shape.segment_frames + shape.priming_frames);
        lane.primed.resize(primed_output);
    }
    resampled[0].resize(shape.output_room);
    resampled[1].resize(shape.output_room);
    if (plan.chain == ChainKind::ValuesToFloats) {
        floats.resize(shape.output_room);
        return;
    }
    integers.resize(shape.output_room);
    // Integers are requantised from the input's width, values from steps.
    const int input_bits =
        plan.chain == ChainKind::Integers ? plan.input.bits : value_scale::step_bits;
    const int change = input_bits - plan.output.bits;
    requantiser.bits_removed = change > 0 ? static_cast<unsigned>(change) : 0U;
    requantiser.bits_added = change < 0 ? static_cast<unsigned>(-change) : 0U;
    requantiser.output_bits = plan.output.bits;
    requantiser.dither_bits = settings.dither_bits;
    requantiser.dither_type = settings.dither_type;
    requantiser.noise_shaping = settings.noise_shaping;
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
                          Lane& lane) const {
    double* values = lane.input.data();
    const double scale = value_scale::Into(plan.input);
    if (plan.input.floating) {
        block.DecodeChannel(channel, first, count, values);
        for (std::size_t i = 0; i < count; ++i) {
            double& x = values[i];
            if (!std::isfinite(x)) {
                x = 0.0;
                ++lane.non_finite;
            }
            x = std::clamp(x, -largest_float_input, largest_float_input) * scale;
        }
        return;
    }
    std::int32_t samples[1024];
    for (std::size_t done = 0, n = 0; done < count; done += n) {
        n = std::min(count - done, std::size(samples));
        block.DecodeChannel(channel, first + done, n, samples);
        for (std::size_t i = 0; i < n; ++i) {
            values[done + i] = samples[i] * scale;
        }
    }
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
    const std::size_t lane_index = (continuing + piece) % lanes.size();
    Lane& lane = lanes[lane_index];
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
    Decode(block, begin - primed, end - begin + primed, lane);

    // Every piece but the stream's last ends on a block boundary, where its
    // output is known exactly; the last delivers what its whole blocks
    // give, and the tail follows in rounds of its own.
    const ResamplePlan& resampling = *plan.resampling;
    const bool ends_stream = round.last && piece == last_piece;
    const std::uint64_t first_output = OutputIndexAt(resampling, round.start + begin);
    const std::size_t offset = static_cast<std::size_t>(first_output - round.output);
    const std::size_t expected =
        ends_stream
            ? shape.output_room - offset
            : static_cast<std::size_t>(OutputIndexAt(resampling, round.start + end) - first_output);
    // What a fresh start delivers before the piece's first output.
    const std::size_t dropped =
        piece == 0 ? 0
                   : static_cast<std::size_t>(
                         first_output - resampling.OutputLength(round.start + begin - primed));

    const std::size_t got_primed = Stream(lane.resampler, lane.input.data(), primed,
                                          lane.primed.data(), lane.primed.size(), false);
    const std::size_t got = Stream(lane.resampler, lane.input.data() + primed, end - begin,
                                   resampled[slot].data() + offset, expected, false);
    if (got_primed != dropped || (!ends_stream && got != expected)) {
        fault = "internal error: a piece of the input resampled to an unexpected length";
    }
    if (piece == last_piece) {
        counts[slot] = offset + got;
        ending = lane_index;
    }
}

void ChannelChain::DrainTail(unsigned slot) {
    counts[slot] = Stream(lanes[ending].resampler, nullptr, 0, resampled[slot].data(),
                          resampled[slot].size(), true);
}

void ChannelChain::Deliver(unsigned slot, OutputBlock& out) {
    const std::size_t count = counts[slot];
    double* values = resampled[slot].data();
    const double scale = value_scale::OutOf(plan);
    switch (plan.chain) {
    case ChainKind::Integers:
        // Truncated at the input's width, as the resampler's own integer
        // output is, then narrowed or widened.
        for (std::size_t i = 0; i < count; ++i) {
            integers[i] = resample_scale::ToInteger(values[i]);
        }
        requantiser.Process(integers.data(), static_cast<unsigned>(count));
        break;
    case ChainKind::ValuesToIntegers:
        // To integer steps, and requantised once to the output's width.
        for (std::size_t i = 0; i < count; ++i) {
            values[i] *= scale;
        }
        requantiser.Process(values, integers.data(), static_cast<unsigned>(count));
        break;
    case ChainKind::ValuesToFloats:
        // Full scale +-1.0, rounded to float once.
        for (std::size_t i = 0; i < count; ++i) {
            floats[i] = static_cast<float>(values[i] * scale);
        }
        out.Put(channel, floats.data(), count);
        return;
    }
    out.Put(channel, integers.data(), count);
}

} // namespace marrowvale
