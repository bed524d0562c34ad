#include "audio/riffwave/WaveFile_type.hpp"

#include "audio/riffwave/SampleBytes.hpp"
#include "audio/riffwave/WaveReader.hpp"
#include "audio/riffwave/WrittenLayout.hpp"

#include <algorithm>

namespace audio::riffwave {

bool WaveFile_type::OpenRead(const boost::filesystem::path& new_path) {
    path = new_path;
    if (stream->is_open()) {
        return valid;
    }
    stream->clear();
    stream->open(path, std::ios_base::in | std::ios_base::binary);
    valid = stream->is_open();
    if (valid) {
        // A reused object must not show the previous file's header.
        header = WaveHeader();
        writer.reset();
        data_read = 0;
        valid = WaveReader(*stream, header).Read(stop_check);
    }
    if (!valid) {
        stream->close();
    }
    return valid;
}

std::string WaveFile_type::UnreadableReason() const {
    return header.problem.empty() ? header.format.UnreadableReason() : header.problem;
}

bool WaveFile_type::ReadChunk(const ChunkPlace& place, std::vector<unsigned char>& body) {
    if (!stream->is_open() || writer) {
        return false;
    }
    std::istream& in = *stream;
    in.clear();
    const std::streamoff position = in.tellg();
    body.resize(static_cast<std::size_t>(place.size));
    in.seekg(static_cast<std::streamoff>(place.offset));
    in.read(reinterpret_cast<char*>(body.data()), static_cast<std::streamsize>(body.size()));
    const bool whole = static_cast<std::uint64_t>(in.gcount()) == place.size;
    in.clear();
    in.seekg(position);
    return whole && !in.fail();
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
    return OpenWrite(new_path, new_format, false, nullptr);
}

bool WaveFile_type::OpenWrite(const boost::filesystem::path& new_path,
                              const WaveFormat_type& new_format, bool large,
                              std::shared_ptr<const ChunkBlocks> new_chunks) {
    path = new_path;
    if (stream->is_open()) {
        return true;
    }
    header.riff_size = 0;
    header.data_size = 0;
    stream->clear();
    stream->open(path, std::ios_base::out | std::ios_base::trunc | std::ios_base::binary);
    if (!stream->is_open()) {
        failed = true;
        return false;
    }
    header.rf64 = large;
    header.format = WrittenFormat(new_format);
    writer.emplace(*stream, header, std::move(new_chunks));
    failed = stream->fail();
    return true;
}

void WaveFile_type::Close() {
    if (!stream->is_open()) {
        return;
    }
    if (writer) {
        failed = stream->fail() || failed;
        failed = !writer->Finish() || failed;
    }
    stream->close();
    if (writer && stream->fail()) {
        failed = true;
    }
}

std::uint32_t WaveFile_type::MaxDataSize(const WaveFormat_type& written) {
    // The whole file stays within 4 GiB, so that no size field can wrap.
    return static_cast<std::uint32_t>(kPlainFileLimit - PlainFileSize(written, nullptr, 0));
}

std::uint64_t WaveFile_type::PlainFileSize(const WaveFormat_type& written, const ChunkBlocks* other,
                                           std::uint64_t data_bytes) {
    const WaveFormat_type format = WrittenFormat(written);
    const std::uint64_t before = other != nullptr ? other->before.size() : 0;
    return WrittenHeader(format, false, 0, 0).size() + before + 8u + data_bytes +
           BytesAfterData(other, data_bytes);
}

std::uint64_t WaveFile_type::FramesInFile() const {
    const std::size_t frame_bytes = FrameBytes();
    if (frame_bytes == 0 || !header.have_data || header.data_start > header.file_size) {
        return 0;
    }
    return std::min<std::uint64_t>(SamplesPerChannel(),
                                   (header.file_size - header.data_start) / frame_bytes);
}

double WaveFile_type::DurationMs() const {
    if (header.format.sample_rate == 0) {
        return 0.0;
    }
    return static_cast<double>(SamplesPerChannel()) * 1000.0 /
           static_cast<double>(header.format.sample_rate);
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
    const unsigned width = SampleWidth();
    const std::size_t wanted = std::min<std::size_t>(count, buffer.size());
    if (wanted == 0 || !IsTransferableWidth(width)) {
        return 0;
    }
    byte_buffer.resize(std::max(byte_buffer.size(), wanted * width));
    const std::size_t samples = ReadUnits(byte_buffer.data(), wanted, width);
    DecodeSamples(byte_buffer.data(), samples, width, buffer.data());
    return static_cast<unsigned>(samples);
}

unsigned WaveFile_type::Deinterleave(const std::vector<std::int32_t>& buffer, unsigned count,
                                     int channel, std::vector<std::int32_t>& out) const {
    if (!HasChannel(channel)) {
        return 0;
    }
    const std::size_t channels = header.format.channels;
    const auto offset = static_cast<std::size_t>(channel - 1);
    const std::size_t frames =
        std::min(std::min<std::size_t>(count, buffer.size()) / channels, out.size());
    for (std::size_t i = 0; i < frames; ++i) {
        out[i] = buffer[offset + i * channels];
    }
    return static_cast<unsigned>(frames);
}

void WaveFile_type::Interleave(const std::vector<std::int32_t>& in, unsigned count, int channel,
                               std::vector<std::int32_t>& out) const {
    const auto offset = static_cast<std::size_t>(channel - 1);
    if (!HasChannel(channel) || out.size() <= offset) {
        return;
    }
    const std::size_t channels = header.format.channels;
    // Frames of out that still hold a slot for this channel.
    const std::size_t room = (out.size() - offset - 1) / channels + 1;
    const std::size_t frames = std::min({std::size_t{count}, in.size(), room});
    for (std::size_t i = 0; i < frames; ++i) {
        out[offset + i * channels] = in[i];
    }
}

void WaveFile_type::WriteSamples(const std::vector<std::int32_t>& buffer, unsigned count) {
    const std::size_t samples = std::min<std::size_t>(count, buffer.size());
    if (samples == 0 || !CanWrite()) {
        return;
    }
    const std::size_t bytes = samples * SampleWidth();
    byte_buffer.resize(std::max(byte_buffer.size(), bytes));
    EncodeSamples(buffer.data(), samples, SampleWidth(), byte_buffer.data());
    failed = !writer->Append(byte_buffer.data(), bytes);
}

std::size_t WaveFile_type::ReadFrames(unsigned char* bytes, std::size_t frames) {
    return ReadUnits(bytes, frames, FrameBytes());
}

std::size_t WaveFile_type::ReadUnits(unsigned char* bytes, std::size_t count, std::size_t unit) {
    // A writer's stream is output only; a read would leave it failed.
    if (!stream->is_open() || writer || unit == 0) {
        return 0;
    }
    const std::uint64_t left = header.data_size / unit - data_read / unit;
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(count, left));
    stream->read(reinterpret_cast<char*>(bytes), static_cast<std::streamsize>(wanted * unit));
    // A partial sample or frame at the end of the file is dropped.
    const std::size_t got = static_cast<std::size_t>(stream->gcount()) / unit;
    data_read += got * unit;
    return got;
}

void WaveFile_type::WriteFrames(const unsigned char* bytes, std::size_t frames) {
    if (frames != 0 && CanWrite()) {
        failed = !writer->Append(bytes, frames * FrameBytes());
    }
}

bool WaveFile_type::CanWrite() {
    // After a failure the file already misses samples; adding later ones would
    // only hide the gap.
    if (!stream->is_open() || !writer || failed) {
        return false;
    }
    failed = !IsTransferableWidth(SampleWidth());
    return !failed;
}

} // namespace audio::riffwave
