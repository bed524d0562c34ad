#pragma once

#include "audio/riffwave/WaveFormat_type.hpp"

#include <cmath>
#include <cstdint>
#include <memory>

class ResamplePlan;
namespace audio::riffwave {
struct ChunkBlocks;
}

namespace marrowvale {

// How samples are stored on one side of a conversion: integers of a
// container width, or IEEE floats of 32 or 64 bits.
struct SampleCoding {
    bool floating = false;
    int bits = 16;
};

// The way every channel's samples take, chosen once for a file.
enum class ChainKind {
    // int -> int with the designed filters, or at equal rates: the resampler
    // truncates to integers of the input's width, the requantiser narrows or
    // widens them.
    Integers,
    // float -> int, and int -> int with the steep filters: values at full
    // precision, quantised once at the output width (dither, shaping).
    ValuesToIntegers,
    // int or float -> float: values at full precision, never rounded on the
    // way.
    ValuesToFloats,
};

// What one file's conversion will do, decided before anything is written.
struct ConversionPlan {
    unsigned channels = 0;
    int input_rate = 0;
    int output_rate = 0;
    SampleCoding input; // integer container width, or float
    SampleCoding output;
    ChainKind chain = ChainKind::Integers;
    std::uint64_t input_frames = 0;
    std::uint64_t output_frames = 0; // exactly what the resamplers deliver
    std::shared_ptr<const ResamplePlan> resampling;
    // The input's other chunks as the output carries them, rescaled to the
    // output rate; null with --strip-metadata.
    std::shared_ptr<const audio::riffwave::ChunkBlocks> chunks;
    audio::riffwave::WaveFormat_type output_format; // the "fmt " the output is written with
    bool rf64 = false;                              // the output is too large for a plain RIFF file
};

// Values travel through the resampler in its own scale (see ResampleScale):
// an integer sample x as x * 2^-16 whatever its width, so that a 32-bit
// integer's full scale is 2^15, which float samples (full scale +-1.0) meet.
// Powers of two throughout, so that no scaling rounds.
namespace value_scale {

// The width an input's values count as: floats as 32-bit integers.
inline int InputBits(const SampleCoding& input) {
    return input.floating ? 32 : input.bits;
}
// From the input's samples into the resampler's scale.
inline double Into(const SampleCoding& input) {
    return input.floating ? 32768.0 : 1.0 / 65536.0;
}
// From the resampler's scale to the output: floats of full scale +-1.0, or
// 32-bit integer steps, which the requantiser narrows to the output width.
inline double OutOf(const ConversionPlan& plan) {
    return std::ldexp(1.0, (plan.output.floating ? 17 : 48) - InputBits(plan.input));
}

} // namespace value_scale

} // namespace marrowvale
