#pragma once

namespace dsp::dither {

// 2^(step_bits + dither_bits - 1), the peak of a triangular dither in input
// units; 0 (dither off) when that, shifted left by `shift`, would not be a
// positive 32-bit integer, or when the exponent is negative.
inline int DitherAmplitude(int step_bits, int dither_bits, int shift) {
    const long long k = static_cast<long long>(step_bits) + dither_bits - 1;
    if (k < 0 || k > 30 || shift < 0 || k + shift > 30) {
        return 0;
    }
    return 1 << k;
}

} // namespace dsp::dither
