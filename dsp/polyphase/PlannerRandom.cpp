#include "dsp/polyphase/PlannerRandom.hpp"

PlannerRandom::PlannerRandom(unsigned seed) {
    // state[i] = 16807 * state[i - 1] mod (2^31 - 1), by Schrage's method so
    // that no product overflows, from a seed that must not be 0.
    std::int32_t word = static_cast<std::int32_t>(seed == 0 ? 1 : seed);
    state[0] = static_cast<std::uint32_t>(word);
    for (unsigned i = 1; i < degree; ++i) {
        const std::int64_t hi = word / 127773;
        const std::int64_t lo = word % 127773;
        std::int64_t next = 16807 * lo - 2836 * hi;
        if (next < 0) {
            next += 2147483647;
        }
        word = static_cast<std::int32_t>(next);
        state[i] = static_cast<std::uint32_t>(word);
    }
    for (unsigned i = 0; i < 10 * degree; ++i) {
        Next();
    }
}
