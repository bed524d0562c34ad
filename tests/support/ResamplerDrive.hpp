#pragma once

// Driving a resampler the way the conversion loop does, and the cascade
// computed straight from its definition to hold the result against.

#include "dsp/polyphase/PolyphaseResample.hpp"
#include "support/WaveBytes.hpp"

namespace testsupport {

// Feeds `input` in pieces of at most in_block samples with at most out_room
// samples of room per call, then flushes with the same room.
Samples Resample(PolyphaseResample& resampler, const Samples& input, unsigned in_block,
                 unsigned out_room);
Samples Resample(int input_rate, int output_rate, const Samples& input, unsigned in_block = 10240,
                 unsigned out_room = 10240);

// The cascade computed over the whole signal, with zeros before and after
// it, then the latency dropped and the length cut to the exact length. Uses
// the resampler's stage factors and filters and sums each dot product
// strictly in tap order.
Samples ReferenceResample(const PolyphaseResample& shape, const Samples& input);

} // namespace testsupport
