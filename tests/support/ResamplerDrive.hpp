#pragma once

// Driving a resampler the way the conversion loop does, and the cascade
// computed straight from its definition to hold the result against.

#include "dsp/polyphase/PolyphaseResample.hpp"
#include "support/WaveBytes.hpp"

#include <algorithm>
#include <vector>

namespace testsupport {

// Feeds `input` (integers or values) in pieces of at most in_block samples
// with at most out_room samples of room per call, then flushes with the same
// room, handing each piece of output to take(const Sample*, unsigned count).
template <class Sample, class Take>
void Drive(PolyphaseResample& resampler, const std::vector<Sample>& input, unsigned in_block,
           unsigned out_room, Take take) {
    std::vector<Sample> room(out_room);
    std::size_t offset = 0;
    while (offset < input.size()) {
        unsigned in_count =
            static_cast<unsigned>(std::min<std::size_t>(in_block, input.size() - offset));
        unsigned out_count = out_room;
        resampler.Process(input.data() + offset, room.data(), in_count, out_count);
        offset += in_count;
        take(room.data(), out_count);
    }
    for (;;) {
        unsigned out_count = out_room;
        resampler.Flush(room.data(), out_count);
        if (out_count == 0) {
            return;
        }
        take(room.data(), out_count);
    }
}

// All of Drive's output in one vector.
template <class Sample>
std::vector<Sample> Resample(PolyphaseResample& resampler, const std::vector<Sample>& input,
                             unsigned in_block, unsigned out_room) {
    std::vector<Sample> result;
    Drive(resampler, input, in_block, out_room, [&result](const Sample* piece, unsigned count) {
        result.insert(result.end(), piece, piece + count);
    });
    return result;
}
Samples Resample(int input_rate, int output_rate, const Samples& input, unsigned in_block = 10240,
                 unsigned out_room = 10240);

// The cascade computed over the whole signal, with zeros before and after
// it, then the latency dropped and the length cut to the exact length. Uses
// the resampler's stage factors and filters and sums each dot product
// strictly in tap order.
Samples ReferenceResample(const PolyphaseResample& shape, const Samples& input);

} // namespace testsupport
