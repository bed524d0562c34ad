#pragma once

// Test signals, and the yardsticks their conversions are measured with.

#include "support/WaveBytes.hpp"

#include <cstddef>
#include <cstdint>

namespace testsupport {

// Repeatable pseudo-random samples spread over the whole range of `bits`
// (1 to 32); the first three are the lowest value, the highest and 0, so
// that every set holds both rails.
Samples NoiseSamples(std::size_t count, int bits, std::uint32_t seed);

} // namespace testsupport
