#pragma once

#include <cstdint>

namespace dsp::dither {

// Where a dither generator's random engines get their seeds. Normally the base
// is the calendar clock in whole seconds; tests and tools may fix it instead so
// that a run can be repeated. The base is mixed with a salt (one per channel)
// and a stream number (one per engine of a generator) through bijective integer
// hashes, so that for one base every (salt, stream) pair gets its own seed: the
// channels of one file, and the two engines of a triangular generator, never
// draw the same sequence. Salts are channel numbers; they must stay below 2^31.
class DitherSeed {
public:
    void SetSalt(std::uint32_t new_salt) { salt = new_salt; }

    // For tests and tools only: use `seed` in place of the clock from now on.
    void UseFixedSeed(std::uint64_t seed) {
        fixed = true;
        fixed_seed = seed;
    }

    // The base of one initialisation: the fixed seed, or the clock read once.
    std::uint64_t Base() const;

    // The engine seed of stream `stream` for this salt and `base`.
    std::uint32_t Seed(std::uint64_t base, std::uint32_t stream) const;

private:
    std::uint32_t salt = 0;
    bool fixed = false;
    std::uint64_t fixed_seed = 0;
};

} // namespace dsp::dither
