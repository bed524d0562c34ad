#include "dsp/dither/hp_tpdf_dither.hpp"

namespace dsp::dither {

void hp_tpdf_dither::Init(int step_bits, int dither_bits, int dither_shift) {
    generator = Source(Configure(step_bits, dither_bits, dither_shift), 0);
    // The first value after Init is then the difference of the second and the
    // first draw.
    previous = (*generator)();
}

} // namespace dsp::dither
