#pragma once

#include <cstdint>

// Little-endian fields, as every number in a RIFF file is stored.
namespace audio::riffwave {

inline void Put16(unsigned char* at, std::uint16_t value) {
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
}

inline void Put32(unsigned char* at, std::uint32_t value) {
    Put16(at, static_cast<std::uint16_t>(value));
    Put16(at + 2, static_cast<std::uint16_t>(value >> 16));
}

inline void Put64(unsigned char* at, std::uint64_t value) {
    Put32(at, static_cast<std::uint32_t>(value));
    Put32(at + 4, static_cast<std::uint32_t>(value >> 32));
}

inline std::uint16_t Get16(const unsigned char* at) {
    return static_cast<std::uint16_t>(at[0] | at[1] << 8);
}

inline std::uint32_t Get32(const unsigned char* at) {
    return static_cast<std::uint32_t>(Get16(at)) | static_cast<std::uint32_t>(Get16(at + 2)) << 16;
}

inline std::uint64_t Get64(const unsigned char* at) {
    return static_cast<std::uint64_t>(Get32(at)) | static_cast<std::uint64_t>(Get32(at + 4)) << 32;
}

} // namespace audio::riffwave
