#pragma once

#include "dsp/dither/DitherSeed.hpp"
#include "dsp/dither/UniformGenerator.hpp"

#include <cstdint>

namespace dsp::dither {

// What the two triangular generators share: the amplitude rule, the uniform
// sources they draw from and their seeds.
class TriangularDither {
public:
    // Per-channel salt mixed into the seeds; takes effect at the next Init.
    void SetSeedSalt(std::uint32_t salt) { seeding.SetSalt(salt); }
    // For tests and tools only: seed from `seed` instead of the clock from the
    // next Init on.
    void UseFixedSeed(std::uint64_t seed) { seeding.UseFixedSeed(seed); }

    int Amplitude() const { return amplitude; }

protected:
    // Peak amplitude 2^(step_bits + dither_bits - 1), or 0 (off, and the
    // shift with it) when that is out of range. Returns the seed base of
    // this initialisation: one clock reading for all of a generator's
    // sources, so that they cannot fall into different seconds.
    std::uint64_t Configure(int step_bits, int dither_bits, int new_shift);
    // A uniform source in -amplitude/2 .. amplitude/2 for engine `stream`.
    boost::shared_ptr<UniformGenerator> Source(std::uint64_t base, std::uint32_t stream) const;
    int Shifted(int value) const { return static_cast<int>(static_cast<unsigned>(value) << shift); }

private:
    int shift = 0;
    int amplitude = 0;
    DitherSeed seeding;
};

} // namespace dsp::dither
