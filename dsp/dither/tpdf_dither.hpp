#pragma once

#include "dsp/dither/DitherSeed.hpp"
#include "dsp/dither/IDither.hpp"
#include "dsp/dither/UniformGenerator.hpp"

#include <cstdint>

namespace dsp::dither {

// Triangular-PDF dither with a white spectrum: the sum of two independent
// uniform draws in -amplitude/2 .. amplitude/2, so values lie in
// -amplitude .. amplitude with a peak at 0.
class tpdf_dither final : public IDither {
public:
    tpdf_dither() { Init(8, 1, 0); }

    void Init(int new_step_bits, int new_dither_bits, int new_shift) override;

    int Next() override {
        const int sum = (*first)() + (*second)();
        return static_cast<int>(static_cast<unsigned>(sum) << shift);
    }

    // Per-channel salt mixed into the seeds; takes effect at the next Init.
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
    boost::shared_ptr<UniformGenerator> first;
    boost::shared_ptr<UniformGenerator> second;
    DitherSeed seeding;
};

} // namespace dsp::dither
