#include "dsp/dither/tpdf_dither.hpp"

namespace dsp::dither {

void tpdf_dither::Init(int step_bits, int dither_bits, int dither_shift) {
    const std::uint64_t base = Configure(step_bits, dither_bits, dither_shift);
    first = Source(base, 0);
    second = Source(base, 1);
}

} // namespace dsp::dither
