#pragma once

#include "dsp/dither/IDither.hpp"
#include "dsp/dither/TriangularDither.hpp"

namespace dsp::dither {

// Triangular-PDF dither with a white spectrum: the sum of two independent
// uniform draws in -amplitude/2 .. amplitude/2, so values lie in
// -amplitude .. amplitude with a peak at 0.
class tpdf_dither final : public IDither, public TriangularDither {
public:
    tpdf_dither() { Init(8, 1, 0); }

    void Init(int step_bits, int dither_bits, int dither_shift) override;

    int Next() override { return Shifted((*first)() + (*second)()); }

private:
    boost::shared_ptr<UniformGenerator> first;
    boost::shared_ptr<UniformGenerator> second;
};

} // namespace dsp::dither
