#include "audio/riffwave/WaveFormat_type.hpp"

#include "audio/riffwave/ByteOrder.hpp"

#include <algorithm>
#include <boost/format.hpp>
#include <limits>

namespace audio::riffwave {

void WaveFormat_type::ToBytes(unsigned char (&bytes)[kStoredBytes]) const {
    Put16(bytes + 0, format_tag);
    Put16(bytes + 2, channels);
    Put32(bytes + 4, sample_rate);
    Put32(bytes + 8, byte_rate);
    Put16(bytes + 12, block_align);
    Put16(bytes + 14, bits_per_sample);
    Put16(bytes + 16, extra_size);
}

void WaveFormat_type::ExtensionToBytes(unsigned char (&bytes)[kExtensibleExtraBytes]) const {
    // The family of the standard sub-format GUIDs: xxxx0000-0000-0010-8000-00aa00389b71.
    static constexpr std::array<unsigned char, 14> standard_tail = {
        0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    const bool have_tail =
        std::any_of(guid_tail.begin(), guid_tail.end(), [](unsigned char b) { return b != 0; });
    Put16(bytes + 0, valid_bits);
    Put32(bytes + 2, channel_mask);
    Put16(bytes + 6, sub_format);
    const std::array<unsigned char, 14>& tail = have_tail ? guid_tail : standard_tail;
    std::copy(tail.begin(), tail.end(), bytes + 8);
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

std::string WaveFormat_type::UnreadableReason() const {
    const std::uint16_t coding = Coding();
    if (coding != format_pcm && coding != format_ieee_float) {
        return (format_tag == format_extensible
                    ? boost::format("extensible format with sub-format %d is neither integer PCM "
                                    "nor IEEE float") %
                          sub_format
                    : boost::format("format tag %d is neither integer PCM nor IEEE float") %
                          format_tag)
            .str();
    }
    if (coding == format_ieee_float && bits_per_sample != 32 && bits_per_sample != 64) {
        return (boost::format("float samples of %d bits cannot be converted (32 or 64 can)") %
                bits_per_sample)
            .str();
    }
    if (coding == format_pcm && (bits_per_sample == 0 || bits_per_sample > 32)) {
        return (boost::format("%d bits per sample cannot be converted (8, 16, 24 or 32 can)") %
                bits_per_sample)
            .str();
    }
    if (channels == 0) {
        return "the file has no channels";
    }
    // Samples are read in whole-byte containers; fewer valid bits are read as
    // the container's width, more cannot be held by it.
    const unsigned container_bytes = (bits_per_sample + 7u) / 8u;
    if (valid_bits > container_bytes * 8u) {
        return (boost::format("the header gives %d valid bits for %d-bit samples") % valid_bits %
                (container_bytes * 8u))
            .str();
    }
    // Any other frame size would read each sample from the wrong bytes: 24-bit
    // samples in 4-byte slots, for instance, decode as noise. A frame too
    // large for the 16-bit field leaves its low 16 bits there.
    const unsigned frame_bytes = channels * container_bytes;
    if (block_align != (frame_bytes & 0xFFFFu)) {
        return (boost::format("block_align is %d bytes, but %d channels of %d-bit samples take %d; "
                              "the header does not add up") %
                block_align % channels % (container_bytes * 8u) % frame_bytes)
            .str();
    }
    if (bits_per_sample % 8u != 0) {
        return (boost::format("%d bits per sample cannot be converted (8, 16, 24 or 32 can)") %
                bits_per_sample)
            .str();
    }
    if (sample_rate == 0) {
        return "the sampling rate is 0";
    }
    if (sample_rate > static_cast<std::uint32_t>(std::numeric_limits<int>::max())) {
        return (boost::format("the sampling rate %u is out of range") % sample_rate).str();
    }
    return {};
}

} // namespace audio::riffwave
