#include "audio/riffwave/SampleBytes.hpp"

namespace audio::riffwave {

namespace {

// Each width has its own plain loop so that the compiler can vectorise it; the
// width is chosen once per block, never per sample. Signed values are formed
// by placing the bytes at the top of a 32-bit word and shifting right
// arithmetically.

void Decode8(const unsigned char* __restrict__ in, std::size_t count,
             std::int32_t* __restrict__ out) {
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = static_cast<std::int32_t>(in[i]) - 128;
    }
}

void Decode16(const unsigned char* __restrict__ in, std::size_t count,
              std::int32_t* __restrict__ out) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t word = static_cast<std::uint32_t>(in[2 * i]) << 16 |
                                   static_cast<std::uint32_t>(in[2 * i + 1]) << 24;
        out[i] = static_cast<std::int32_t>(word) >> 16;
    }
}

void Decode24(const unsigned char* __restrict__ in, std::size_t count,
              std::int32_t* __restrict__ out) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t word = static_cast<std::uint32_t>(in[3 * i]) << 8 |
                                   static_cast<std::uint32_t>(in[3 * i + 1]) << 16 |
                                   static_cast<std::uint32_t>(in[3 * i + 2]) << 24;
        out[i] = static_cast<std::int32_t>(word) >> 8;
    }
}

void Decode32(const unsigned char* __restrict__ in, std::size_t count,
              std::int32_t* __restrict__ out) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t word = static_cast<std::uint32_t>(in[4 * i]) |
                                   static_cast<std::uint32_t>(in[4 * i + 1]) << 8 |
                                   static_cast<std::uint32_t>(in[4 * i + 2]) << 16 |
                                   static_cast<std::uint32_t>(in[4 * i + 3]) << 24;
        out[i] = static_cast<std::int32_t>(word);
    }
}

void Encode8(const std::int32_t* __restrict__ in, std::size_t count,
             unsigned char* __restrict__ out) {
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = static_cast<unsigned char>(static_cast<std::uint32_t>(in[i]) + 128u);
    }
}

void Encode16(const std::int32_t* __restrict__ in, std::size_t count,
              unsigned char* __restrict__ out) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t word = static_cast<std::uint32_t>(in[i]);
        out[2 * i] = static_cast<unsigned char>(word);
        out[2 * i + 1] = static_cast<unsigned char>(word >> 8);
    }
}

void Encode24(const std::int32_t* __restrict__ in, std::size_t count,
              unsigned char* __restrict__ out) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t word = static_cast<std::uint32_t>(in[i]);
        out[3 * i] = static_cast<unsigned char>(word);
        out[3 * i + 1] = static_cast<unsigned char>(word >> 8);
        out[3 * i + 2] = static_cast<unsigned char>(word >> 16);
    }
}

void Encode32(const std::int32_t* __restrict__ in, std::size_t count,
              unsigned char* __restrict__ out) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t word = static_cast<std::uint32_t>(in[i]);
        out[4 * i] = static_cast<unsigned char>(word);
        out[4 * i + 1] = static_cast<unsigned char>(word >> 8);
        out[4 * i + 2] = static_cast<unsigned char>(word >> 16);
        out[4 * i + 3] = static_cast<unsigned char>(word >> 24);
    }
}

} // namespace

void DecodeSamples(const unsigned char* bytes, std::size_t count, unsigned width,
                   std::int32_t* values) {
    switch (width) {
    case 1:
        Decode8(bytes, count, values);
        break;
    case 2:
        Decode16(bytes, count, values);
        break;
    case 3:
        Decode24(bytes, count, values);
        break;
    case 4:
        Decode32(bytes, count, values);
        break;
    default:
        break;
    }
}

void EncodeSamples(const std::int32_t* values, std::size_t count, unsigned width,
                   unsigned char* bytes) {
    switch (width) {
    case 1:
        Encode8(values, count, bytes);
        break;
    case 2:
        Encode16(values, count, bytes);
        break;
    case 3:
        Encode24(values, count, bytes);
        break;
    case 4:
        Encode32(values, count, bytes);
        break;
    default:
        break;
    }
}

} // namespace audio::riffwave
