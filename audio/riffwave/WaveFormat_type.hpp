#pragma once

#include <cstdint>

namespace audio::riffwave {

// The fields of a "fmt " chunk body, in file order. The 18 bytes they occupy in
// a file are all that is ever copied into the record; longer bodies are
// stepped over.
struct WaveFormat_type {
    static constexpr unsigned kStoredBytes = 18;

    std::uint16_t format_tag = 0;
    std::uint16_t channels = 0;
    std::uint32_t sample_rate = 0;
    std::uint32_t byte_rate = 0;
    std::uint16_t block_align = 0;
    std::uint16_t bits_per_sample = 0;
    std::uint16_t extra_size = 0;

    // Little-endian field bytes, exactly as they stand in a "fmt " body.
    void ToBytes(unsigned char (&bytes)[kStoredBytes]) const;
    void FromBytes(const unsigned char (&bytes)[kStoredBytes]);
};

} // namespace audio::riffwave
