#include "support/Signals.hpp"

namespace testsupport {

Samples NoiseSamples(std::size_t count, int bits, std::uint32_t seed) {
    Samples samples(count);
    std::uint64_t state = seed * 0x9E3779B97F4A7C15ULL + 1;
    const std::int64_t span = std::int64_t{1} << bits;
    for (std::size_t i = 0; i < count; ++i) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        const std::int64_t value =
            static_cast<std::int64_t>((state >> 20) % static_cast<std::uint64_t>(span)) - span / 2;
        samples[i] = static_cast<std::int32_t>(value);
    }
    if (count >= 3) {
        samples[0] = static_cast<std::int32_t>(-span / 2);
        samples[1] = static_cast<std::int32_t>(span / 2 - 1);
        samples[2] = 0;
    }
    return samples;
}

} // namespace testsupport
