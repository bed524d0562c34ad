#include "audio/riffwave/WaveFormat_type.hpp"

#include "audio/riffwave/ByteOrder.hpp"

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

void WaveFormat_type::FromBytes(const unsigned char (&bytes)[kStoredBytes]) {
    format_tag = Get16(bytes + 0);
    channels = Get16(bytes + 2);
    sample_rate = Get32(bytes + 4);
    byte_rate = Get32(bytes + 8);
    block_align = Get16(bytes + 12);
    bits_per_sample = Get16(bytes + 14);
    extra_size = Get16(bytes + 16);
}

std::string WaveFormat_type::Unreadable() const {
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
    if (coding == format_pcm && bits_per_sample != 8 && bits_per_sample != 16 &&
        bits_per_sample != 24 && bits_per_sample != 32) {
        return (boost::format("%d bits per sample cannot be converted (8, 16, 24 or 32 can)") %
                bits_per_sample)
            .str();
    }
    if (channels == 0) {
        return "the file has no channels";
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
