#pragma once

#include <cstdint>
#include <string>

namespace audio::riffwave {

// Format tags of a "fmt " chunk, and of the sub-format of the extensible form.
constexpr std::uint16_t format_pcm = 1;
constexpr std::uint16_t format_ieee_float = 3;
constexpr std::uint16_t format_extensible = 65534;

// The fields of a "fmt " chunk body, in file order. The 18 bytes they occupy
// in a file are all that ToBytes/FromBytes move; the sub-format code comes
// from the extensible form's GUID and is kept beside them.
struct WaveFormat_type {
    static constexpr unsigned kStoredBytes = 18;

    std::uint16_t format_tag = 0;
    std::uint16_t channels = 0;
    std::uint32_t sample_rate = 0;
    std::uint32_t byte_rate = 0;
    std::uint16_t block_align = 0;
    std::uint16_t bits_per_sample = 0;
    std::uint16_t extra_size = 0;
    // First two bytes of the sub-format GUID of an extensible body (1 for
    // integer PCM, 3 for IEEE float); 0 for other tags or a body too short to
    // hold it.
    std::uint16_t sub_format = 0;

    // The tag that says how samples are coded: the sub-format's for the
    // extensible form, else the format tag.
    std::uint16_t Coding() const {
        return format_tag == format_extensible ? sub_format : format_tag;
    }
    bool IsFloat() const { return Coding() == format_ieee_float; }

    // Little-endian field bytes, exactly as they stand in a "fmt " body.
    void ToBytes(unsigned char (&bytes)[kStoredBytes]) const;
    void FromBytes(const unsigned char (&bytes)[kStoredBytes]);

    // Why samples of this format cannot be read; empty when they can.
    std::string Unreadable() const;
};

} // namespace audio::riffwave
