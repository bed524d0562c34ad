#include "audio/riffwave/SampleBytes.hpp"

namespace audio::riffwave {

namespace {

// One plain loop per width, chosen once per block, never per sample. The
// contiguous case gets its own instance with a constant stride, which the
// compiler vectorises. Signed values are formed by placing the bytes at the
// top of a 32-bit word and shifting right arithmetically.

template <unsigned Width>
std::int32_t Decode(const unsigned char* in) {
    if constexpr (Width == 1) {
        return static_cast<std::int32_t>(in[0]) - 128;
    } else {
        std::uint32_t word = 0;
        for (unsigned k = 0; k < Width; ++k) {
            word |= static_cast<std::uint32_t>(in[k]) << (8 * (4 - Width + k));
        }
        return static_cast<std::int32_t>(word) >> (8 * (4 - Width));
    }
}

template <unsigned Width>
void Encode(std::int32_t value, unsigned char* out) {
    const std::uint32_t word = static_cast<std::uint32_t>(value) + (Width == 1 ? 128u : 0u);
    for (unsigned k = 0; k < Width; ++k) {
        out[k] = static_cast<unsigned char>(word >> (8 * k));
    }
}

template <unsigned Width>
void DecodeStrided(const unsigned char* __restrict__ in, std::size_t count, std::size_t stride,
                   std::int32_t* __restrict__ out) {
    if (stride == Width) {
        for (std::size_t i = 0; i < count; ++i) {
            out[i] = Decode<Width>(in + i * Width);
        }
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = Decode<Width>(in + i * stride);
    }
}

template <unsigned Width>
void EncodeStrided(const std::int32_t* __restrict__ in, std::size_t count, std::size_t stride,
                   unsigned char* __restrict__ out) {
    if (stride == Width) {
        for (std::size_t i = 0; i < count; ++i) {
            Encode<Width>(in[i], out + i * Width);
        }
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        Encode<Width>(in[i], out + i * stride);
    }
}

} // namespace

void DecodeChannel(const unsigned char* bytes, std::size_t count, unsigned width,
                   std::size_t stride, std::int32_t* values) {
    switch (width) {
    case 1:
        DecodeStrided<1>(bytes, count, stride, values);
        break;
    case 2:
        DecodeStrided<2>(bytes, count, stride, values);
        break;
    case 3:
        DecodeStrided<3>(bytes, count, stride, values);
        break;
    case 4:
        DecodeStrided<4>(bytes, count, stride, values);
        break;
    default:
        break;
    }
}

void EncodeChannel(const std::int32_t* values, std::size_t count, unsigned width,
                   std::size_t stride, unsigned char* bytes) {
    switch (width) {
    case 1:
        EncodeStrided<1>(values, count, stride, bytes);
        break;
    case 2:
        EncodeStrided<2>(values, count, stride, bytes);
        break;
    case 3:
        EncodeStrided<3>(values, count, stride, bytes);
        break;
    case 4:
        EncodeStrided<4>(values, count, stride, bytes);
        break;
    default:
        break;
    }
}

void DecodeSamples(const unsigned char* bytes, std::size_t count, unsigned width,
                   std::int32_t* values) {
    DecodeChannel(bytes, count, width, width, values);
}

void EncodeSamples(const std::int32_t* values, std::size_t count, unsigned width,
                   unsigned char* bytes) {
    EncodeChannel(values, count, width, width, bytes);
}

} // namespace audio::riffwave
