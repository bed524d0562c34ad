#include "audio/riffwave/WrittenLayout.hpp"

#include "audio/riffwave/ByteOrder.hpp"

#include <algorithm>

namespace audio::riffwave {

WaveFormat_type WrittenFormat(const WaveFormat_type& asked) {
    WaveFormat_type format;
    format.channels = asked.channels;
    format.sample_rate = asked.sample_rate;
    format.bits_per_sample = asked.bits_per_sample;
    format.block_align =
        static_cast<std::uint16_t>(std::uint32_t{format.channels} * format.bits_per_sample / 8u);
    format.byte_rate = format.sample_rate * format.block_align;
    if (asked.format_tag == format_extensible) {
        format.format_tag = format_extensible;
        format.extra_size = WaveFormat_type::kExtensibleExtraBytes;
        format.sub_format = asked.IsFloat() ? format_ieee_float : format_pcm;
        format.valid_bits = asked.valid_bits == 0 || asked.valid_bits > format.bits_per_sample
                                ? format.bits_per_sample
                                : asked.valid_bits;
        format.channel_mask = asked.channel_mask;
        format.guid_tail = asked.guid_tail;
    } else {
        format.format_tag = asked.format_tag == format_ieee_float ? format_ieee_float : format_pcm;
        format.extra_size = 0;
    }
    return format;
}

std::uint32_t FmtBodySize(const WaveFormat_type& format) {
    return format.IsExtensible()
               ? WaveFormat_type::kStoredBytes + WaveFormat_type::kExtensibleExtraBytes
               : WaveFormat_type::kStoredBytes;
}

std::uint64_t BytesAfterData(const ChunkBlocks* chunks, std::uint64_t data_bytes) {
    return PadBytes(data_bytes) + (chunks != nullptr ? chunks->after.size() : 0);
}

std::vector<unsigned char> WrittenHeader(const WaveFormat_type& format, bool rf64,
                                         std::uint64_t riff_size, std::uint64_t data_size) {
    std::vector<unsigned char> header;
    auto append = [&header](const void* bytes, std::size_t count) {
        const auto* begin = static_cast<const unsigned char*>(bytes);
        header.insert(header.end(), begin, begin + count);
    };
    auto append32 = [&append](std::uint32_t value) {
        unsigned char bytes[4];
        Put32(bytes, value);
        append(bytes, 4);
    };
    auto append64 = [&append](std::uint64_t value) {
        unsigned char bytes[8];
        Put64(bytes, value);
        append(bytes, 8);
    };
    const std::uint64_t frames = format.block_align == 0 ? 0 : data_size / format.block_align;
    if (rf64) {
        append("RF64", 4);
        append32(0xFFFFFFFFu);
        append("WAVE", 4);
        append("ds64", 4);
        append32(28);
        append64(riff_size);
        append64(data_size);
        append64(frames);
        append32(0); // no table: no other chunk is that large
    } else {
        append("RIFF", 4);
        append32(static_cast<std::uint32_t>(riff_size));
        append("WAVE", 4);
    }
    append("fmt ", 4);
    append32(FmtBodySize(format));
    unsigned char record[WaveFormat_type::kStoredBytes];
    format.ToBytes(record);
    append(record, sizeof record);
    if (format.IsExtensible()) {
        unsigned char extension[WaveFormat_type::kExtensibleExtraBytes];
        format.ExtensionToBytes(extension);
        append(extension, sizeof extension);
    }
    if (format.IsFloat()) {
        append("fact", 4);
        append32(4);
        append32(static_cast<std::uint32_t>(std::min<std::uint64_t>(frames, 0xFFFFFFFFu)));
    }
    return header;
}

} // namespace audio::riffwave
