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

ChannelChain::ChannelChain(unsigned new_channel, const std::shared_ptr<const ResamplePlan>& plan,
                           const ChainSetup& new_setup, std::size_t block_frames, std::size_t room)
    : channel(new_channel), setup(new_setup), resampler(plan) {
    if (setup.input.floating) {
        values_in.resize(block_frames);
    } else {
        integers_in.resize(block_frames);
        if (setup.output.floating) {
            values_in.resize(block_frames);
        }
    }
    if (ThroughValues()) {
        values_out.resize(room);
    }
    if (setup.output.floating) {
        floats_out.resize(room);
    } else {
        integers_out.resize(room);
        const int input_bits = setup.input.floating ? float_input_bits : setup.input.bits;
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
}

void ChannelChain::TakeBlock(const InputBlock& block) {
    available = block.Frames();
    offset = 0;
    if (setup.input.floating) {
        block.DecodeChannel(channel, values_in.data());
        for (std::size_t i = 0; i < available; ++i) {
            double& x = values_in[i];
            if (!std::isfinite(x)) {
                x = 0.0;
                ++non_finite;
            }
            x = std::clamp(x, -largest_float_input, largest_float_input) *
                resample_scale::float_full_scale;
        }
        return;
    }
    block.DecodeChannel(channel, integers_in.data());
    if (setup.output.floating) {
        for (std::size_t i = 0; i < available; ++i) {
            values_in[i] = resample_scale::FromInteger(integers_in[i]);
        }
    }
}

void ChannelChain::Resample(OutputBlock& out) {
    const std::size_t room = setup.output.floating ? floats_out.size() : integers_out.size();
    std::size_t count = 0;
    while (offset < available && count < room) {
        unsigned taken = static_cast<unsigned>(available - offset);
        unsigned delivered = static_cast<unsigned>(room - count);
        if (ThroughValues()) {
            resampler.Process(values_in.data() + offset, values_out.data() + count, taken,
                              delivered);
        } else {
            resampler.Process(integers_in.data() + offset, integers_out.data() + count, taken,
                              delivered);
        }
        offset += taken;
        count += delivered;
        if (taken == 0 && delivered == 0) {
            break;
        }
    }
    Deliver(out, count);
}

void ChannelChain::Drain(OutputBlock& out) {
    const std::size_t room = setup.output.floating ? floats_out.size() : integers_out.size();
    std::size_t count = 0;
    while (count < room) {
        unsigned delivered = static_cast<unsigned>(room - count);
        if (ThroughValues()) {
            resampler.Flush(values_out.data() + count, delivered);
        } else {
            resampler.Flush(integers_out.data() + count, delivered);
        }
        count += delivered;
        if (delivered == 0) {
            break;
        }
    }
    Deliver(out, count);
}

void ChannelChain::Deliver(OutputBlock& out, std::size_t count) {
    const unsigned n = static_cast<unsigned>(count);
    if (setup.output.floating) {
        // Full scale +-1.0: float input came in at float_full_scale, integer
        // input at 2^(bits - 1) / 2^16. Powers of two keep the values exact.
        const double scale = setup.input.floating ? 1.0 / resample_scale::float_full_scale
                                                  : std::ldexp(1.0, 17 - setup.input.bits);
        for (std::size_t i = 0; i < count; ++i) {
            floats_out[i] = static_cast<float>(values_out[i] * scale);
        }
        out.Put(channel, floats_out.data(), count);
        return;
    }
    if (setup.input.floating) {
        // From the resampler's scale to 32-bit integer steps.
        for (std::size_t i = 0; i < count; ++i) {
            values_out[i] *= 1.0 / resample_scale::input_scale;
        }
        requantiser.Process(values_out.data(), integers_out.data(), n);
    } else {
        requantiser.Process(integers_out.data(), n);
    }
    out.Put(channel, integers_out.data(), count);
}

} // namespace marrowvale
