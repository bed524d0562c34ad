#include "support/WaveBytes.hpp"

#include <algorithm>

namespace testsupport {

Bytes TextBytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

WaveBytes& WaveBytes::Text(const std::string& text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
    return *this;
}

WaveBytes& WaveBytes::U16(std::uint32_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
    return *this;
}

WaveBytes& WaveBytes::U32(std::uint32_t value) {
    U16(value & 0xFFFF);
    return U16(value >> 16);
}

WaveBytes& WaveBytes::U64(std::uint64_t value) {
    U32(static_cast<std::uint32_t>(value & 0xFFFFFFFFu));
    return U32(static_cast<std::uint32_t>(value >> 32));
}

WaveBytes& WaveBytes::Raw(const Bytes& more) {
    bytes.insert(bytes.end(), more.begin(), more.end());
    return *this;
}

WaveBytes& WaveBytes::Chunk(const std::string& id, const Bytes& body) {
    Text(id).U32(static_cast<std::uint32_t>(body.size())).Raw(body);
    if (body.size() % 2 == 1) {
        bytes.push_back(0);
    }
    return *this;
}

WaveBytes& WaveBytes::Head(std::uint32_t riff_size, const std::string& form) {
    return Text("RIFF").U32(riff_size).Text(form);
}

// Written from the definition: bytes by powers of 256, the sign by
// subtracting 2^(8w) when the top bit is set.
Bytes EncodeSamples(const Samples& values, unsigned width) {
    Bytes bytes;
    if (width < 1 || width > 4) {
        return bytes;
    }
    const std::int64_t modulus = std::int64_t{1} << (8 * width);
    for (const std::int64_t value : values) {
        std::int64_t stored = width == 1 ? value + 128 : value;
        stored = ((stored % modulus) + modulus) % modulus;
        for (unsigned k = 0; k < width; ++k) {
            bytes.push_back(static_cast<std::uint8_t>(stored % 256));
            stored /= 256;
        }
    }
    return bytes;
}

Samples DecodeSamples(const Bytes& bytes, unsigned width) {
    Samples values;
    if (width < 1 || width > 4) {
        return values;
    }
    for (std::size_t at = 0; at + width <= bytes.size(); at += width) {
        std::int64_t value = 0;
        for (unsigned k = width; k-- > 0;) {
            value = value * 256 + bytes[at + k];
        }
        if (width == 1) {
            value -= 128;
        } else if (value >= (std::int64_t{1} << (8 * width - 1))) {
            value -= std::int64_t{1} << (8 * width);
        }
        values.push_back(static_cast<std::int32_t>(value));
    }
    return values;
}

Bytes PcmFormat(std::uint32_t channels, std::uint32_t rate, std::uint32_t bits, std::uint32_t tag) {
    const std::uint32_t align = channels * (bits / 8);
    return WaveBytes()
        .U16(tag)
        .U16(channels)
        .U32(rate)
        .U32(rate * align)
        .U16(align)
        .U16(bits)
        .Get();
}

Bytes ExtensibleFormat(std::uint32_t channels, std::uint32_t rate, std::uint32_t bits,
                       std::uint32_t sub_format, std::uint32_t channel_mask,
                       std::uint32_t valid_bits) {
    return WaveBytes()
        .Raw(PcmFormat(channels, rate, bits, 65534))
        .U16(22)
        .U16(valid_bits == 0 ? bits : valid_bits)
        .U32(channel_mask)
        .U16(sub_format)
        .Raw({0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71})
        .Get();
}

Bytes SimpleWave(std::uint32_t channels, std::uint32_t rate, std::uint32_t bits,
                 const Bytes& data) {
    return WaveBytes()
        .Head(static_cast<std::uint32_t>(36 + data.size()))
        .Chunk("fmt ", PcmFormat(channels, rate, bits))
        .Chunk("data", data)
        .Get();
}

Bytes MakeWav(const WavLayout& layout, const Samples& samples) {
    const auto channels = static_cast<std::uint32_t>(layout.channels);
    const auto bits = static_cast<std::uint32_t>(layout.bits);
    const Bytes data = EncodeSamples(samples, bits / 8);
    Bytes fmt =
        layout.format_tag == 65534
            ? ExtensibleFormat(channels, layout.rate, bits,
                               static_cast<std::uint32_t>(layout.sub_format), layout.channel_mask,
                               static_cast<std::uint32_t>(layout.valid_bits))
            : PcmFormat(channels, layout.rate, bits, static_cast<std::uint32_t>(layout.format_tag));
    if (layout.block_align_override >= 0) {
        const auto align = static_cast<std::uint32_t>(layout.block_align_override);
        const Bytes fields = WaveBytes().U32(layout.rate * align).U16(align).Get();
        std::copy(fields.begin(), fields.end(), fmt.begin() + 8);
    }
    const std::uint64_t data_size = layout.data_size_override >= 0
                                        ? static_cast<std::uint64_t>(layout.data_size_override)
                                        : data.size();
    WaveBytes rest;
    rest.Chunk("fmt ", fmt).Raw(layout.chunks_before_data);
    rest.Text("data").U32(layout.rf64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(data_size));
    rest.Raw(data);
    if (!layout.chunks_after_data.empty()) {
        if (data.size() % 2 == 1) {
            rest.Raw({0});
        }
        rest.Raw(layout.chunks_after_data);
    }
    if (!layout.rf64) {
        return WaveBytes()
            .Text("RIFF")
            .U32(static_cast<std::uint32_t>(rest.Size() + 4))
            .Text("WAVE")
            .Raw(rest.Get())
            .Get();
    }
    const std::uint64_t block_align = channels * (bits / 8);
    WaveBytes ds64;
    ds64.U64(4 + 36 + rest.Size())
        .U64(data_size)
        .U64(block_align == 0 ? 0 : data_size / block_align);
    ds64.U32(0);
    return WaveBytes()
        .Text("RF64")
        .U32(0xFFFFFFFFu)
        .Text("WAVE")
        .Chunk("ds64", ds64.Get())
        .Raw(rest.Get())
        .Get();
}

std::uint32_t Get32(const Bytes& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t b = 4; b-- > 0;) {
        value = (value << 8) | bytes.at(at + b);
    }
    return value;
}

namespace {

std::uint64_t Get64(const Bytes& bytes, std::size_t at) {
    return Get32(bytes, at) | std::uint64_t{Get32(bytes, at + 4)} << 32;
}

bool IsHead(const Bytes& bytes, const char* id) {
    return bytes.size() >= 12 && std::equal(bytes.begin(), bytes.begin() + 4, id) &&
           std::equal(bytes.begin() + 8, bytes.begin() + 12, "WAVE");
}

int Get16(const Bytes& bytes, std::size_t at) {
    return bytes[at] | (bytes[at + 1] << 8);
}

} // namespace

ParsedWav ParseWav(const Bytes& bytes) {
    ParsedWav wav;
    wav.rf64 = IsHead(bytes, "RF64");
    if (!IsHead(bytes, "RIFF") && !wav.rf64) {
        return wav;
    }
    wav.riff_size = Get32(bytes, 4);
    std::size_t at = 12;
    bool have_fmt = false;
    while (at + 8 <= bytes.size()) {
        const std::string id(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                             bytes.begin() + static_cast<std::ptrdiff_t>(at + 4));
        const std::uint32_t size = Get32(bytes, at + 4);
        const std::size_t body = at + 8;
        if (id == "fmt " && body + 16 <= bytes.size()) {
            wav.format_tag = Get16(bytes, body);
            wav.channels = Get16(bytes, body + 2);
            wav.rate = Get32(bytes, body + 4);
            wav.byte_rate = Get32(bytes, body + 8);
            wav.block_align = Get16(bytes, body + 12);
            wav.bits = Get16(bytes, body + 14);
            if (wav.format_tag == 65534 && body + 26 <= bytes.size()) {
                wav.valid_bits = Get16(bytes, body + 18);
                wav.channel_mask = Get32(bytes, body + 20);
                wav.sub_format = Get16(bytes, body + 24);
            }
            have_fmt = true;
        } else if (id == "ds64" && wav.rf64 && body + 24 <= bytes.size()) {
            wav.ds64_riff_size = Get64(bytes, body);
            wav.ds64_data_size = Get64(bytes, body + 8);
            wav.ds64_sample_count = Get64(bytes, body + 16);
        } else if (id == "data") {
            wav.data_size = size;
            const std::uint64_t true_size =
                wav.rf64 && size == 0xFFFFFFFFu ? wav.ds64_data_size : size;
            const std::size_t end =
                static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), body + true_size));
            wav.samples = DecodeSamples(Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(body),
                                              bytes.begin() + static_cast<std::ptrdiff_t>(end)),
                                        static_cast<unsigned>(wav.bits / 8));
            wav.ok = have_fmt;
            return wav;
        }
        at = body + size + (size & 1U);
    }
    return wav;
}

Samples Interleave(const std::vector<Samples>& channels) {
    Samples frames;
    for (std::size_t i = 0; !channels.empty() && i < channels[0].size(); ++i) {
        for (const Samples& channel : channels) {
            frames.push_back(channel[i]);
        }
    }
    return frames;
}

Samples ChannelOf(const Samples& frames, std::size_t channels, std::size_t c) {
    Samples out;
    for (std::size_t i = c; i < frames.size(); i += channels) {
        out.push_back(frames[i]);
    }
    return out;
}

Samples Slice(const Samples& x, std::size_t from, std::size_t count) {
    return Samples(x.begin() + static_cast<std::ptrdiff_t>(from),
                   x.begin() + static_cast<std::ptrdiff_t>(from + count));
}

} // namespace testsupport
