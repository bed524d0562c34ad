#include "dsp/dither/tpdf_dither.hpp"

#include "dsp/dither/DitherAmplitude.hpp"

namespace dsp::dither {

void tpdf_dither::Init(int new_step_bits, int new_dither_bits, int new_shift) {
    step_bits = new_step_bits;
    dither_bits = new_dither_bits;
    amplitude = DitherAmplitude(step_bits, dither_bits, new_shift);
    // An amplitude out of range turns the dither off; the shift goes with it.
    shift = amplitude == 0 ? 0 : new_shift;
    negative_amplitude = -amplitude;
    // One clock reading for both engines, so they cannot fall into the same
    // second and share a seed.
    const std::uint64_t base = seeding.Base();
    first = MakeUniformGenerator(seeding.Seed(base, 0), negative_amplitude / 2, amplitude / 2);
    second = MakeUniformGenerator(seeding.Seed(base, 1), negative_amplitude / 2, amplitude / 2);
}

} // namespace dsp::dither
