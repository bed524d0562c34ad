#include "audio/riffwave/WaveFormat_type.hpp"

namespace audio::riffwave {

namespace {

void Put16(unsigned char* at, std::uint16_t value) {
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}

void Put32(unsigned char* at, std::uint32_t value) {
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
    at[2] = static_cast<unsigned char>(value >> 16);
    at[3] = static_cast<unsigned char>(value >> 24);
}

std::uint16_t Get16(const unsigned char* at) {
    return static_cast<std::uint16_t>(at[0] | at[1] << 8);
}

std::uint32_t Get32(const unsigned char* at) {
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
           static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

} // namespace

void WaveFormat_type::ToBytes(unsigned char (&bytes)[kStoredBytes]) const {
    Put16(bytes + 0, format_tag);
    Put16(bytes + 2, channels);
    Put32(bytes + 4, sample_rate);
    Put32(bytes + 8, byte_rate);
    Put16(bytes + 12, block_align);
    Put16(bytes + 14, bits_per_sample);
    Put16(bytes + 16, extra_size);
}

void WaveFormat_type::FromBytes(const unsigned char (&bytes)[kStoredBytes]) {
    format_tag = Get16(bytes + 0);
    channels = Get16(bytes + 2);
    sample_rate = Get32(bytes + 4);
    byte_rate = Get32(bytes + 8);
    block_align = Get16(bytes + 12);
    bits_per_sample = Get16(bytes + 14);
    extra_size = Get16(bytes + 16);
}

} // namespace audio::riffwave
