#pragma once

#include "dsp/dither/IDither.hpp"
#include "dsp/dither/TriangularDither.hpp"

namespace dsp::dither {

// High-pass triangular-PDF dither: the first difference u[n] - u[n-1] of one
// uniform sequence in -amplitude/2 .. amplitude/2. Values are triangular in
// -amplitude .. amplitude like the white kind, but the spectrum rises as
// 1 - z^-1, with nothing at DC.
class hp_tpdf_dither final : public IDither, public TriangularDither {
public:
    hp_tpdf_dither() { Init(8, 1, 0); }

    void Init(int step_bits, int dither_bits, int dither_shift) override {
        generator = Source(Configure(step_bits, dither_bits, dither_shift), 0);
        // The first value after Init is then the difference of the second
        // and the first draw.
        previous = (*generator)();
    }

    int Next() override {
        const int u = (*generator)();
        const int difference = u - previous;
        previous = u;
        return Shifted(difference);
    }

private:
    boost::shared_ptr<UniformGenerator> generator;
    int previous = 0;
};

} // namespace dsp::dither
