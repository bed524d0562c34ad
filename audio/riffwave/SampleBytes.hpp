#pragma once

#include <cstddef>
#include <cstdint>

namespace audio::riffwave {

// Conversions between stored little-endian sample bytes and signed 32-bit
// samples right-justified in their width. Widths are 1 to 4 bytes: 1-byte
// samples are unsigned around 128, wider ones two's complement. Other widths
// move nothing.

// Turns count samples of `width` bytes each into values.
void DecodeSamples(const unsigned char* bytes, std::size_t count, unsigned width,
                   std::int32_t* values);

// Turns count values into samples of `width` bytes each, dropping the bits
// above the width.
void EncodeSamples(const std::int32_t* values, std::size_t count, unsigned width,
                   unsigned char* bytes);

// One channel of interleaved frames: sample i sits at bytes + i * stride.
void DecodeChannel(const unsigned char* bytes, std::size_t count, unsigned width,
                   std::size_t stride, std::int32_t* values);
void EncodeChannel(const std::int32_t* values, std::size_t count, unsigned width,
                   std::size_t stride, unsigned char* bytes);

// IEEE float samples of `width` bytes (4 or 8) as doubles, exactly. Other
// widths move nothing.
void DecodeChannel(const unsigned char* bytes, std::size_t count, unsigned width,
                   std::size_t stride, double* values);
// Values as 4-byte IEEE floats.
void EncodeChannel(const float* values, std::size_t count, std::size_t stride,
                   unsigned char* bytes);

inline bool IsTransferableWidth(unsigned width) {
    return width >= 1 && width <= 4;
}

} // namespace audio::riffwave
