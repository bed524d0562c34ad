#include "dsp/dither/hp_tpdf_dither.hpp"

#include "dsp/dither/DitherAmplitude.hpp"

namespace dsp::dither {

void hp_tpdf_dither::Init(int new_step_bits, int new_dither_bits, int new_shift) {
    step_bits = new_step_bits;
    dither_bits = new_dither_bits;
    amplitude = DitherAmplitude(step_bits, dither_bits, new_shift);
    // An amplitude out of range turns the dither off; the shift goes with it.
    shift = amplitude == 0 ? 0 : new_shift;
    negative_amplitude = -amplitude;
    generator = MakeUniformGenerator(seeding.Seed(seeding.Base(), 0), negative_amplitude / 2,
                                     amplitude / 2);
    // The first value after Init is then the difference of the second and the
    // first draw.
    previous = (*generator)();
}

} // namespace dsp::dither
