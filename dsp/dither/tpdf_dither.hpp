#pragma once

#include "dsp/dither/IDither.hpp"
#include "dsp/dither/TriangularDither.hpp"

#include <cstdint>

namespace dsp::dither {

// Triangular-PDF dither with a white spectrum: the sum of two independent
// uniform draws in -amplitude/2 .. amplitude/2, so values lie in
// -amplitude .. amplitude with a peak at 0.
class tpdf_dither final : public IDither, public TriangularDither {
public:
    tpdf_dither() { Init(8, 1, 0); }

    void Init(int step_bits, int dither_bits, int dither_shift) override {
        const std::uint64_t base = Configure(step_bits, dither_bits, dither_shift);
        first = Source(base, 0);
        second = Source(base, 1);
    }

    int Next() override { return Shifted((*first)() + (*second)()); }

private:
    boost::shared_ptr<UniformGenerator> first;
    boost::shared_ptr<UniformGenerator> second;
};

} // namespace dsp::dither
