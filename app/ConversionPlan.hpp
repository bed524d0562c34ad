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

    unsigned Bytes() const { return static_cast<unsigned>(bits / 8); }
};

// The way every channel's samples take, chosen once for a file. All of them
// decode the input into values in the resampler's scale (see value_scale)
// and resample those; they differ in what is made of the resampled values.
enum class ChainKind {
    // int -> int with the designed filters, or at equal rates: truncated to
    // integers of the input's width, which the requantiser then narrows or
    // widens.
    Integers,
    // float -> int, and int -> int with the steep filters: quantised once,
    // from 32-bit steps, at the output width (dither, shaping), so that a
    // sample never passes through an integer of the input's width.
    ValuesToIntegers,
    // int or float -> float: scaled to full scale +-1.0 and rounded to float
    // once, never to an integer on the way.
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
// an integer sample x of any width as x * 2^-16, a float sample (full scale
// +-1.0) as a 32-bit integer of the same level would. Powers of two throughout, so
// that no scaling rounds.
namespace value_scale {

// Values to integer output are requantised from integer steps this wide.
constexpr int step_bits = 32;

// The width an input's values count as: floats as 32-bit integers.
inline int InputBits(const SampleCoding& input) {
    return input.floating ? 32 : input.bits;
}
// From the input's samples into the resampler's scale.
inline double Into(const SampleCoding& input) {
    return std::ldexp(1.0, (input.floating ? 31 : 0) - 16);
}
// From the resampler's scale, where a value v stands for the integer
// v * 2^16 of InputBits, to the output: floats of full scale +-1.0, or
// integer steps of step_bits.
inline double OutOf(const ConversionPlan& plan) {
    const int bits = InputBits(plan.input);
    return std::ldexp(1.0, plan.output.floating ? 16 - (bits - 1) : 16 + (step_bits - bits));
}

} // namespace value_scale

} // namespace marrowvale
