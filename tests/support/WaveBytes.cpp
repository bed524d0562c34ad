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
                       std::uint32_t sub_format, std::uint32_t channel_mask) {
    return WaveBytes()
        .Raw(PcmFormat(channels, rate, bits, 65534))
        .U16(22)
        .U16(bits)
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
    const Bytes fmt =
        layout.format_tag == 65534
            ? ExtensibleFormat(channels, layout.rate, bits,
                               static_cast<std::uint32_t>(layout.sub_format))
            : PcmFormat(channels, layout.rate, bits, static_cast<std::uint32_t>(layout.format_tag));
    const std::uint32_t data_size = layout.data_size_override >= 0
                                        ? static_cast<std::uint32_t>(layout.data_size_override)
                                        : static_cast<std::uint32_t>(data.size());
    WaveBytes body;
    body.Text("WAVE").Chunk("fmt ", fmt).Raw(layout.chunks_before_data);
    body.Text("data").U32(data_size).Raw(data);
    if (!layout.chunks_after_data.empty()) {
        if (data.size() % 2 == 1) {
            body.Raw({0});
        }
        body.Raw(layout.chunks_after_data);
    }
    return WaveBytes()
        .Text("RIFF")
        .U32(static_cast<std::uint32_t>(body.Size()))
        .Raw(body.Get())
        .Get();
}

namespace {

std::uint32_t Get32(const Bytes& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t b = 4; b-- > 0;) {
        value = (value << 8) | bytes[at + b];
    }
    return value;
}

int Get16(const Bytes& bytes, std::size_t at) {
    return bytes[at] | (bytes[at + 1] << 8);
}

} // namespace

ParsedWav ParseWav(const Bytes& bytes) {
    ParsedWav wav;
    if (bytes.size() < 12 || TextBytes("RIFF") != Bytes(bytes.begin(), bytes.begin() + 4) ||
        TextBytes("WAVE") != Bytes(bytes.begin() + 8, bytes.begin() + 12)) {
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
            have_fmt = true;
        } else if (id == "data") {
            wav.data_size = size;
            const std::size_t end = std::min<std::size_t>(bytes.size(), body + size);
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
