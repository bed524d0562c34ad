#include "audio/riffwave/SampleBytes.hpp"

#include <cstring>
#include <type_traits>

namespace audio::riffwave {

namespace {

// One plain loop per width, chosen once per block, never per sample. The
// contiguous and the stereo case get their own instances with a constant
// stride, which the compiler vectorises better. Signed values are formed by
// placing the bytes at the top of a 32-bit word and shifting right
// arithmetically.

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

// Samples `count` at steps of Step bytes (Step 0: `stride` bytes).
template <unsigned Width, std::size_t Step>
void DecodeRun(const unsigned char* __restrict__ in, std::size_t count, std::size_t stride,
               std::int32_t* __restrict__ out) {
    const std::size_t step = Step != 0 ? Step : stride;
    std::size_t i = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if constexpr (Width == 3) {
        // All but the last sample as four bytes loaded at once, the fourth
        // (the next sample's, still inside the buffer) shifted out: one load
        // instead of three.
        for (; i + 1 < count; ++i) {
            std::uint32_t word;
            std::memcpy(&word, in + i * step, sizeof word);
            out[i] = static_cast<std::int32_t>(word << 8) >> 8;
        }
    }
#endif
    for (; i < count; ++i) {
        out[i] = Decode<Width>(in + i * step);
    }
}

// Calls f with the step between samples as a constant: Width (one channel),
// 2 * Width (two), or 0 for any other stride, read at run time.
template <unsigned Width, class F>
void WithStep(std::size_t stride, F&& f) {
    if (stride == Width) {
        f(std::integral_constant<std::size_t, Width>());
    } else if (stride == 2 * Width) {
        f(std::integral_constant<std::size_t, 2 * Width>());
    } else {
        f(std::integral_constant<std::size_t, 0>());
    }
}

template <unsigned Width>
void DecodeStrided(const unsigned char* in, std::size_t count, std::size_t stride,
                   std::int32_t* out) {
    WithStep<Width>(stride, [&](auto step) {
        DecodeRun<Width, decltype(step)::value>(in, count, stride, out);
    });
}

template <unsigned Width>
void EncodeStrided(const std::int32_t* __restrict__ in, std::size_t count, std::size_t stride,
                   unsigned char* __restrict__ out) {
    WithStep<Width>(stride, [&](auto constant) {
        const std::size_t step =
            decltype(constant)::value != 0 ? decltype(constant)::value : stride;
        for (std::size_t i = 0; i < count; ++i) {
            Encode<Width>(in[i], out + i * step);
        }
    });
}

// Calls f with the width as a constant, so that each width gets its own
// loop; other widths do nothing.
template <class F>
void WithWidth(unsigned width, F&& f) {
    switch (width) {
    case 1:
        f(std::integral_constant<unsigned, 1>());
        break;
    case 2:
        f(std::integral_constant<unsigned, 2>());
        break;
    case 3:
        f(std::integral_constant<unsigned, 3>());
        break;
    case 4:
        f(std::integral_constant<unsigned, 4>());
        break;
    default:
        break;
    }
}

// IEEE floats are little-endian in the file: their bits are assembled as an
// integer first, so that the code does not depend on the host's byte order.
template <class Float, class Bits>
Float DecodeFloat(const unsigned char* in) {
    Bits bits = 0;
    for (unsigned k = 0; k < sizeof(Bits); ++k) {
        bits |= static_cast<Bits>(in[k]) << (8 * k);
    }
    Float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace

void DecodeChannel(const unsigned char* bytes, std::size_t count, unsigned width,
                   std::size_t stride, double* values) {
    if (width == 4) {
        for (std::size_t i = 0; i < count; ++i) {
            values[i] = DecodeFloat<float, std::uint32_t>(bytes + i * stride);
        }
    } else if (width == 8) {
        for (std::size_t i = 0; i < count; ++i) {
            values[i] = DecodeFloat<double, std::uint64_t>(bytes + i * stride);
        }
    }
}

void EncodeChannel(const float* values, std::size_t count, std::size_t stride,
                   unsigned char* bytes) {
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &values[i], sizeof bits);
        unsigned char* out = bytes + i * stride;
        for (unsigned k = 0; k < 4; ++k) {
            out[k] = static_cast<unsigned char>(bits >> (8 * k));
        }
    }
}

void DecodeChannel(const unsigned char* bytes, std::size_t count, unsigned width,
                   std::size_t stride, std::int32_t* values) {
    WithWidth(width,
              [&](auto w) { DecodeStrided<decltype(w)::value>(bytes, count, stride, values); });
}

void EncodeChannel(const std::int32_t* values, std::size_t count, unsigned width,
                   std::size_t stride, unsigned char* bytes) {
    WithWidth(width,
              [&](auto w) { EncodeStrided<decltype(w)::value>(values, count, stride, bytes); });
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
