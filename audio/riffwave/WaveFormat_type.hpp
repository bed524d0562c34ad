#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace audio::riffwave {

// Format tags of a "fmt " chunk, and of the sub-format of the extensible form.
constexpr std::uint16_t format_pcm = 1;
constexpr std::uint16_t format_ieee_float = 3;
constexpr std::uint16_t format_extensible = 65534;

// The fields of a "fmt " chunk body, in file order. The 18 bytes they occupy
// in a file are all that ToBytes/FromBytes move; the extensible form's valid
// bits, channel mask and sub-format GUID are kept beside them.
struct WaveFormat_type {
    static constexpr unsigned kStoredBytes = 18;
    // Extra bytes of the extensible form: valid bits, channel mask, GUID.
    static constexpr unsigned kExtensibleExtraBytes = 22;

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
    // Bits of each sample that carry signal. A reader sets it for every
    // format: the extensible form's wValidBitsPerSample, or the width a plain
    // header named before it was rounded up to its container. 0 means "all of
    // the container".
    std::uint16_t valid_bits = 0;
    // Speaker positions of the extensible form; 0 when absent.
    std::uint32_t channel_mask = 0;
    // Bytes 2 to 15 of the extensible form's sub-format GUID, so that a
    // non-standard family of GUIDs survives a change of sample coding; all
    // zero when absent.
    std::array<unsigned char, 14> guid_tail{};

    // The tag that says how samples are coded: the sub-format's for the
    // extensible form, else the format tag.
    std::uint16_t Coding() const {
        return format_tag == format_extensible ? sub_format : format_tag;
    }
    bool IsFloat() const { return Coding() == format_ieee_float; }
    bool IsExtensible() const { return format_tag == format_extensible; }

    // Little-endian field bytes, exactly as they stand in a "fmt " body.
    void ToBytes(unsigned char (&bytes)[kStoredBytes]) const;
    void FromBytes(const unsigned char (&bytes)[kStoredBytes]);
    // The 22 bytes that follow the record in an extensible body: valid bits,
    // channel mask, and the GUID of `sub_format` (the standard family when
    // guid_tail is all zero).
    void ExtensionToBytes(unsigned char (&bytes)[kExtensibleExtraBytes]) const;

    // Why samples of this format cannot be read; empty when they can.
    std::string UnreadableReason() const;
};

} // namespace audio::riffwave
