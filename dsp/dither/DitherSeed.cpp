#include "dsp/dither/DitherSeed.hpp"

#include <ctime>

namespace dsp::dither {

namespace {

// Both finalisers are bijections, so distinct inputs give distinct outputs.
std::uint64_t Mix64(std::uint64_t z) {
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::uint32_t Mix32(std::uint32_t h) {
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
    return h;
}

} // namespace

std::uint64_t DitherSeed::Base() const {
    if (fixed) {
        return fixed_seed;
    }
    return static_cast<std::uint64_t>(std::time(nullptr));
}

std::uint32_t DitherSeed::Seed(std::uint64_t base, std::uint32_t stream) const {
    const std::uint64_t mixed = Mix64(base);
    const auto offset = static_cast<std::uint32_t>(mixed ^ (mixed >> 32));
    // For a fixed base, salt * 2 + stream is distinct for every channel and
    // engine, and adding a constant and hashing keep it distinct.
    return Mix32(offset + salt * 2u + (stream & 1u));
}

} // namespace dsp::dither
