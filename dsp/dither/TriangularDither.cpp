#include "dsp/dither/TriangularDither.hpp"

#include "dsp/dither/DitherAmplitude.hpp"

namespace dsp::dither {

std::uint64_t TriangularDither::Configure(int step_bits, int dither_bits, int new_shift) {
    amplitude = DitherAmplitude(step_bits, dither_bits, new_shift);
    shift = amplitude == 0 ? 0 : new_shift;
    return seeding.Base();
}

boost::shared_ptr<UniformGenerator> TriangularDither::Source(std::uint64_t base,
                                                             std::uint32_t stream) const {
    return MakeUniformGenerator(seeding.Seed(base, stream), -amplitude / 2, amplitude / 2);
}

} // namespace dsp::dither
