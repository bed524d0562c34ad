#include "app/pipeline/ChannelChain.hpp"

#include "app/pipeline/InputBlock.hpp"
#include "app/pipeline/OutputBlock.hpp"

namespace marrowvale {

ChannelChain::ChannelChain(unsigned new_channel, const std::shared_ptr<const ResamplePlan>& plan,
                           const RequantiserSetup& setup, std::size_t block_frames,
                           std::size_t room)
    : channel(new_channel), resampler(plan), input(block_frames), output(room) {
    const int change = setup.input_bits - setup.output_bits;
    requantiser.bits_removed = change > 0 ? static_cast<unsigned>(change) : 0U;
    requantiser.bits_added = change < 0 ? static_cast<unsigned>(-change) : 0U;
    requantiser.output_bits = setup.output_bits;
    requantiser.dither_bits = setup.dither_bits;
    requantiser.dither_type = setup.dither_type;
    requantiser.noise_shaping = setup.noise_shaping;
    requantiser.seed_salt = channel + 1; // each channel draws its own dither
    requantiser.Prepare();
}

void ChannelChain::TakeBlock(const InputBlock& block) {
    block.DecodeChannel(channel, input.data());
    available = block.Frames();
    offset = 0;
}

void ChannelChain::Resample(OutputBlock& out) {
    std::size_t count = 0;
    while (offset < available && count < output.size()) {
        unsigned taken = static_cast<unsigned>(available - offset);
        unsigned delivered = static_cast<unsigned>(output.size() - count);
        resampler.Process(input.data() + offset, output.data() + count, taken, delivered);
        offset += taken;
        count += delivered;
        if (taken == 0 && delivered == 0) {
            break;
        }
    }
    Deliver(out, count);
}

void ChannelChain::Drain(OutputBlock& out) {
    std::size_t count = 0;
    while (count < output.size()) {
        unsigned delivered = static_cast<unsigned>(output.size() - count);
        resampler.Flush(output.data() + count, delivered);
        count += delivered;
        if (delivered == 0) {
            break;
        }
    }
    Deliver(out, count);
}

void ChannelChain::Deliver(OutputBlock& out, std::size_t count) {
    requantiser.Process(output.data(), static_cast<unsigned>(count));
    out.Put(channel, output.data(), count);
}

} // namespace marrowvale
