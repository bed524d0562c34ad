#include "audio/riffwave/WaveFile_type.hpp"

#include "audio/riffwave/ByteOrder.hpp"
#include "audio/riffwave/SampleBytes.hpp"
#include "utility/streaming/CharArray.hpp"

#include <algorithm>
#include <cstring>
#include <istream>

namespace audio::riffwave {

namespace {

using Identifier = utility::streaming::CharArray<4>;

constexpr std::uint32_t kWrittenFmtSize = WaveFormat_type::kStoredBytes;
// "fmt " body offset of the sub-format GUID's first two bytes in the
// extensible form.
constexpr unsigned kSubFormatOffset = 24;

// A short read leaves the identifier zeroed (and the stream failed), so a
// partial code never matches.
Identifier ReadIdentifier(std::istream& in) {
    Identifier id;
    char bytes[4];
    in.read(bytes, 4);
    if (in.gcount() == 4) {
        std::memcpy(id.data(), bytes, 4);
    }
    return id;
}

bool ReadU32(std::istream& in, std::uint32_t& value) {
    unsigned char bytes[4];
    in.read(reinterpret_cast<char*>(bytes), 4);
    if (in.gcount() != 4) {
        return false;
    }
    value = Get32(bytes);
    return true;
}

} // namespace

WaveFile_type::WaveFile_type() : stream(new boost::filesystem::fstream) {}

WaveFile_type::~WaveFile_type() {
    Close();
}

bool WaveFile_type::OpenRead(const boost::filesystem::path& new_path) {
    path = new_path;
    if (!stream->is_open()) {
        stream->clear();
        stream->open(path, std::ios_base::in | std::ios_base::binary);
        if (stream->is_open()) {
            // A reused object must not show the previous file's header.
            writing = false;
            riff_size = 0;
            fmt_size = 0;
            data_size = 0;
            format = WaveFormat_type();
            frames_read = 0;
            valid = ReadHeader();
            if (!valid) {
                stream->close();
            }
        } else {
            valid = false;
        }
    }
    return valid && stream->is_open();
}

// Walks the chunks from the "RIFF"/"WAVE" head up to the "data" chunk header.
// Each chunk's start is computed from the previous one's in 64 bits, so no
// size can wrap the position or step backwards; any short read ends the walk.
bool WaveFile_type::ReadHeader() {
    std::istream& in = *stream;
    if (ReadIdentifier(in) != "RIFF") {
        return false;
    }
    ReadU32(in, riff_size);
    if (ReadIdentifier(in) != "WAVE") {
        return false;
    }

    bool format_seen = false;
    std::uint64_t chunk_start = 12;
    Identifier id = ReadIdentifier(in);
    while (!in.fail() && id != "data") {
        std::uint32_t size = 0;
        const bool have_size = ReadU32(in, size);
        if (id == "fmt ") {
            format_seen = true;
            if (!have_size) {
                break;
            }
            fmt_size = size;
            // Only the record and the sub-format bytes are ever read; the
            // rest of a longer body is stepped over below.
            unsigned char body[kSubFormatOffset + 2] = {};
            in.read(reinterpret_cast<char*>(body), std::min<std::uint32_t>(size, sizeof body));
            const auto got = static_cast<std::size_t>(in.gcount());

            // Fields beyond a short body keep what they held.
            unsigned char record[WaveFormat_type::kStoredBytes];
            format.ToBytes(record);
            std::memcpy(record, body, std::min<std::size_t>(got, sizeof record));
            format.FromBytes(record);
            if (format.format_tag == format_pcm) {
                format.extra_size = 0;
            }
            format.sub_format = 0;
            if (format.format_tag == format_extensible && got >= kSubFormatOffset + 2) {
                format.sub_format = Get16(body + kSubFormatOffset);
            }
        } else if (!have_size) {
            break;
        }
        chunk_start += 8u + static_cast<std::uint64_t>(size) + (size & 1u);
        in.seekg(static_cast<std::streamoff>(chunk_start));
        id = ReadIdentifier(in);
    }

    if (!in.fail() && id == "data") {
        ReadU32(in, data_size);
    }
    return format_seen;
}

bool WaveFile_type::OpenWrite(const boost::filesystem::path& new_path, int channels,
                              int sample_rate, int bits_per_sample) {
    WaveFormat_type pcm;
    pcm.format_tag = format_pcm;
    pcm.channels = static_cast<std::uint16_t>(channels);
    pcm.sample_rate = static_cast<std::uint32_t>(sample_rate);
    pcm.bits_per_sample = static_cast<std::uint16_t>(bits_per_sample);
    return OpenWrite(new_path, pcm);
}

bool WaveFile_type::OpenWrite(const boost::filesystem::path& new_path,
                              const WaveFormat_type& new_format) {
    path = new_path;
    if (stream->is_open()) {
        return true;
    }
    riff_size = 0;
    data_size = 0;
    stream->clear();
    stream->open(path, std::ios_base::out | std::ios_base::trunc | std::ios_base::binary);
    if (!stream->is_open()) {
        failed = true;
        return false;
    }

    failed = false;
    writing = true;
    format = WaveFormat_type();
    format.format_tag = new_format.format_tag == format_ieee_float ? format_ieee_float : format_pcm;
    format.channels = new_format.channels;
    format.sample_rate = new_format.sample_rate;
    format.bits_per_sample = new_format.bits_per_sample;
    format.block_align =
        static_cast<std::uint16_t>(std::uint32_t{format.channels} * format.bits_per_sample / 8u);
    format.byte_rate = format.sample_rate * format.block_align;
    format.extra_size = 0;
    fmt_size = kWrittenFmtSize;
    WriteHeader();
    if (stream->fail()) {
        failed = true;
    }
    return true;
}

bool WaveFile_type::IsOpen() const {
    return stream->is_open();
}

void WaveFile_type::Close() {
    if (!stream->is_open()) {
        return;
    }
    if (writing) {
        if (stream->fail()) {
            failed = true;
        }
        // Try the header even after a failed write, so that the file at least
        // describes the bytes that did reach it.
        stream->clear();
        stream->seekp(0);
        riff_size = static_cast<std::uint32_t>(HeaderBytes().size() - 8) + data_size;
        WriteHeader();
        if (stream->fail()) {
            failed = true;
        }
    }
    stream->close();
    if (writing && stream->fail()) {
        failed = true;
    }
}

// RIFF, "fmt " with an 18-byte body, for samples that are not integer PCM a
// "fact" chunk with the frames per channel, then the "data" chunk header.
std::vector<unsigned char> WaveFile_type::HeaderBytes() const {
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
    append("RIFF", 4);
    append32(riff_size);
    append("WAVE", 4);
    append("fmt ", 4);
    append32(kWrittenFmtSize);
    unsigned char record[WaveFormat_type::kStoredBytes];
    format.ToBytes(record);
    append(record, sizeof record);
    if (format.format_tag != format_pcm) {
        append("fact", 4);
        append32(4);
        append32(format.block_align == 0 ? 0 : data_size / format.block_align);
    }
    append("data", 4);
    append32(data_size);
    return header;
}

void WaveFile_type::WriteHeader() {
    const std::vector<unsigned char> header = HeaderBytes();
    stream->write(reinterpret_cast<const char*>(header.data()),
                  static_cast<std::streamsize>(header.size()));
}

std::uint32_t WaveFile_type::MaxDataSize(const WaveFormat_type& written) {
    // The whole file stays within 4 GiB, so that no size field can wrap.
    const std::uint32_t header = written.format_tag == format_pcm ? kHeaderSize : kHeaderSize + 12;
    return 0xFFFFFFFFu - (header - 1);
}

int WaveFile_type::SubFormat() const {
    return format.sub_format;
}

std::uint32_t WaveFile_type::TotalSamples() const {
    const unsigned width = SampleWidth();
    return width == 0 ? 0 : data_size / width;
}

std::uint32_t WaveFile_type::SamplesPerChannel() const {
    return format.channels == 0 ? 0 : TotalSamples() / format.channels;
}

double WaveFile_type::DurationMs() const {
    if (format.sample_rate == 0) {
        return 0.0;
    }
    return static_cast<double>(SamplesPerChannel()) * 1000.0 /
           static_cast<double>(format.sample_rate);
}

void WaveFile_type::SplitDuration(std::uint16_t& hours, std::uint16_t& minutes,
                                  std::uint16_t& seconds, std::uint16_t& milliseconds) const {
    // Truncating the duration once and splitting it in integers gives the same
    // parts as successive floored divisions, without rounding drift that could
    // leave a negative remainder.
    auto total = static_cast<std::uint64_t>(DurationMs());
    const std::uint64_t whole_hours = total / 3600000u;
    total %= 3600000u;
    hours = static_cast<std::uint16_t>(std::min<std::uint64_t>(whole_hours, 65535u));
    minutes = static_cast<std::uint16_t>(total / 60000u);
    total %= 60000u;
    seconds = static_cast<std::uint16_t>(total / 1000u);
    milliseconds = static_cast<std::uint16_t>(total % 1000u);
}

unsigned WaveFile_type::ReadSamples(std::vector<std::int32_t>& buffer, unsigned count) {
    // A writer's stream is output only; a read would leave it failed.
    if (!stream->is_open() || writing || count == 0) {
        return 0;
    }
    const unsigned width = SampleWidth();
    const std::size_t wanted = std::min<std::size_t>(count, buffer.size());
    if (wanted == 0 || !IsTransferableWidth(width)) {
        return 0;
    }
    const std::size_t bytes = wanted * width;
    if (byte_buffer.size() < bytes) {
        byte_buffer.resize(bytes);
    }
    stream->read(reinterpret_cast<char*>(byte_buffer.data()), static_cast<std::streamsize>(bytes));
    // A partial sample at the end of the file is dropped.
    const std::size_t samples = static_cast<std::size_t>(stream->gcount()) / width;
    DecodeSamples(byte_buffer.data(), samples, width, buffer.data());
    return static_cast<unsigned>(samples);
}

unsigned WaveFile_type::Deinterleave(const std::vector<std::int32_t>& buffer, unsigned count,
                                     int channel, std::vector<std::int32_t>& out) const {
    const std::size_t channels = format.channels;
    if (channels == 0 || channel < 1 || static_cast<std::size_t>(channel) > channels) {
        return 0;
    }
    const std::size_t samples = std::min<std::size_t>(count, buffer.size());
    const std::size_t frames = std::min(samples / channels, out.size());
    const std::int32_t* source = buffer.data() + (channel - 1);
    std::int32_t* target = out.data();
    for (std::size_t i = 0; i < frames; ++i) {
        target[i] = source[i * channels];
    }
    return static_cast<unsigned>(frames);
}

void WaveFile_type::Interleave(const std::vector<std::int32_t>& in, unsigned count, int channel,
                               std::vector<std::int32_t>& out) const {
    const std::size_t channels = format.channels;
    if (channels == 0 || channel < 1 || static_cast<std::size_t>(channel) > channels) {
        return;
    }
    const auto offset = static_cast<std::size_t>(channel - 1);
    if (out.size() <= offset) {
        return;
    }
    // Frames of out that still hold a slot for this channel.
    const std::size_t room = (out.size() - offset - 1) / channels + 1;
    const std::size_t frames = std::min({static_cast<std::size_t>(count), in.size(), room});
    const std::int32_t* source = in.data();
    std::int32_t* target = out.data() + offset;
    for (std::size_t i = 0; i < frames; ++i) {
        target[i * channels] = source[i];
    }
}

void WaveFile_type::WriteSamples(const std::vector<std::int32_t>& buffer, unsigned count) {
    const std::size_t samples = std::min<std::size_t>(count, buffer.size());
    if (samples == 0 || !CanWrite()) {
        return;
    }
    const unsigned width = SampleWidth();
    const std::size_t bytes = samples * width;
    if (byte_buffer.size() < bytes) {
        byte_buffer.resize(bytes);
    }
    EncodeSamples(buffer.data(), samples, width, byte_buffer.data());
    WriteData(byte_buffer.data(), bytes);
}

std::size_t WaveFile_type::ReadFrames(unsigned char* bytes, std::size_t frames) {
    const std::size_t frame_bytes = FrameBytes();
    if (!stream->is_open() || writing || frame_bytes == 0) {
        return 0;
    }
    const std::uint64_t left = SamplesPerChannel() - frames_read;
    const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(frames, left));
    stream->read(reinterpret_cast<char*>(bytes),
                 static_cast<std::streamsize>(wanted * frame_bytes));
    // A partial frame at the end of the file is dropped.
    const std::size_t got = static_cast<std::size_t>(stream->gcount()) / frame_bytes;
    frames_read += got;
    return got;
}

void WaveFile_type::WriteFrames(const unsigned char* bytes, std::size_t frames) {
    if (frames != 0 && CanWrite()) {
        WriteData(bytes, frames * FrameBytes());
    }
}

bool WaveFile_type::CanWrite() {
    // After a failure the file already misses samples; adding later ones would
    // only hide the gap.
    if (!stream->is_open() || !writing || failed) {
        return false;
    }
    if (!IsTransferableWidth(SampleWidth())) {
        failed = true;
        return false;
    }
    return true;
}

void WaveFile_type::WriteData(const unsigned char* bytes, std::size_t count) {
    if (std::uint64_t{data_size} + count > MaxDataSize(format)) {
        failed = true;
        return;
    }
    stream->write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(count));
    if (stream->fail()) {
        failed = true;
        return;
    }
    data_size += static_cast<std::uint32_t>(count);
}

} // namespace audio::riffwave
