#pragma once

#include "dsp/dither/DitherSeed.hpp"
#include "dsp/dither/IDither.hpp"
#include "dsp/dither/UniformGenerator.hpp"

#include <cstdint>

namespace dsp::dither {

// High-pass triangular-PDF dither: the first difference u[n] - u[n-1] of one
// uniform sequence in -amplitude/2 .. amplitude/2. Values are triangular in
// -amplitude .. amplitude like the white kind, but the spectrum rises as
// 1 - z^-1, with nothing at DC.
class hp_tpdf_dither final : public IDither {
public:
    hp_tpdf_dither() { Init(8, 1, 0); }

    void Init(int new_step_bits, int new_dither_bits, int new_shift) override;

    int Next() override {
        const int u = (*generator)();
        const int difference = u - previous;
        previous = u;
        return static_cast<int>(static_cast<unsigned>(difference) << shift);
    }

    // Per-channel salt mixed into the seed; takes effect at the next Init.
    void SetSeedSalt(std::uint32_t salt) { seeding.SetSalt(salt); }
    // For tests and tools only: seed from `seed` instead of the clock from the
    // next Init on.
    void UseFixedSeed(std::uint64_t seed) { seeding.UseFixedSeed(seed); }

    int Amplitude() const { return amplitude; }

private:
    int step_bits = 8;
    int dither_bits = 1;
    int shift = 0;
    int amplitude = 0;
    int negative_amplitude = 0;
    boost::shared_ptr<UniformGenerator> generator;
    int previous = 0;
    DitherSeed seeding;
};

} // namespace dsp::dither
