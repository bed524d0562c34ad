#include "audio/riffwave/WaveFile_type.hpp"

#include "audio/riffwave/ByteOrder.hpp"
#include "audio/riffwave/ChunkWalker.hpp"
#include "audio/riffwave/SampleBytes.hpp"
#include "audio/riffwave/WrittenLayout.hpp"
#include "utility/streaming/CharArray.hpp"

#include <algorithm>
#include <cstring>
#include <istream>
#include <limits>

namespace audio::riffwave {

namespace {

using Identifier = utility::streaming::CharArray<4>;

// "fmt " body offsets of the extensible form's fields: valid bits, channel
// mask, the sub-format GUID (whose first two bytes carry its code), its end.
constexpr unsigned kValidBitsOffset = 18;
constexpr unsigned kChannelMaskOffset = 20;
constexpr unsigned kSubFormatOffset = 24;
constexpr unsigned kExtensibleEnd = 40;

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
            rf64 = false;
            riff_size = 0;
            fmt_size = 0;
            data_size = 0;
            format = WaveFormat_type();
            header_problem.clear();
            file_size = 0;
            data_start = 0;
            have_data = false;
            ds64_seen = false;
            ds64 = Ds64Sizes();
            chunks.clear();
            chunks_complete = true;
            extra_chunks.reset();
            frames_read = 0;
            samples_read = 0;
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

// Walks the chunks from the "RIFF"/"WAVE" head up to the "data" chunk header,
// then lists the chunks after the data body. A chunk before the data whose
// size runs past the end of the file, or an unusable ds64 chunk, leaves the
// file unreadable with the walker's reason.
bool WaveFile_type::ReadHeader() {
    std::istream& in = *stream;
    in.seekg(0, std::ios_base::end);
    const std::streamoff length = in.tellg();
    file_size = length > 0 ? static_cast<std::uint64_t>(length) : 0;
    in.seekg(0);

    const Identifier head = ReadIdentifier(in);
    rf64 = head == "RF64" || head == "BW64";
    if (head != "RIFF" && !rf64) {
        return false;
    }
    std::uint32_t riff_size32 = 0;
    ReadU32(in, riff_size32);
    riff_size = riff_size32;
    if (ReadIdentifier(in) != "WAVE") {
        return false;
    }

    bool format_seen = false;
    std::string ds64_problem;
    ChunkWalker walker(in, 12, file_size);
    if (rf64) {
        walker.UseSizeTable(&ds64.table);
    }
    walker.PollStop(stop_check);
    ChunkHeader chunk;
    while (walker.Next(chunk) && chunk.id != "data") {
        if (chunk.id == "fmt ") {
            format_seen = true;
            fmt_size = chunk.size_field;
            ReadFormatBody(chunk.size);
        } else if (rf64 && chunk.id == "ds64" && !ds64_seen) {
            ds64_seen = true;
            ds64_problem = ReadDs64(in, chunk.size, ds64);
            if (!ds64_problem.empty()) {
                break;
            }
        } else {
            ListChunk(chunk.id, chunk.offset, chunk.size, false);
        }
        if (!walker.Skip()) {
            break;
        }
    }
    header_problem = ds64_problem.empty() ? walker.Reason() : ds64_problem;
    if (header_problem.empty() && chunk.id == "data" && chunk.offset <= file_size) {
        have_data = true;
        data_start = chunk.offset;
        data_size = chunk.size_field;
        if (rf64 && chunk.size_field == 0xFFFFFFFFu) {
            data_size = ds64.data_size;
            if (!ds64_seen) {
                header_problem = "the RF64 file has no ds64 chunk to give the size of its data";
            }
        }
    }
    if (rf64 && riff_size32 == 0xFFFFFFFFu && ds64_seen) {
        riff_size = ds64.riff_size;
    }
    NormaliseWidth();
    if (have_data) {
        ListChunksAfterData(data_start);
    }
    // Without a data chunk there are no samples to read.
    in.clear();
    in.seekg(static_cast<std::streamoff>(have_data ? data_start : file_size));
    // A file whose chunks break the rules stays open, so that Unreadable()
    // can say how.
    return format_seen || !header_problem.empty();
}

// Only the record and the extensible form's fields are ever read; the rest of
// a longer body is stepped over by the walk.
void WaveFile_type::ReadFormatBody(std::uint64_t size) {
    std::istream& in = *stream;
    unsigned char body[kExtensibleEnd] = {};
    in.read(reinterpret_cast<char*>(body),
            static_cast<std::streamsize>(std::min<std::uint64_t>(size, sizeof body)));
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
    format.valid_bits = 0;
    format.channel_mask = 0;
    format.guid_tail = {};
    if (format.format_tag == format_extensible) {
        if (got >= kValidBitsOffset + 2) {
            format.valid_bits = Get16(body + kValidBitsOffset);
        }
        if (got >= kChannelMaskOffset + 4) {
            format.channel_mask = Get32(body + kChannelMaskOffset);
        }
        if (got >= kSubFormatOffset + 2) {
            format.sub_format = Get16(body + kSubFormatOffset);
        }
        if (got >= kExtensibleEnd) {
            std::memcpy(format.guid_tail.data(), body + kSubFormatOffset + 2,
                        format.guid_tail.size());
        }
    }
}

void WaveFile_type::ListChunk(const std::string& id, std::uint64_t offset, std::uint64_t size,
                              bool after) {
    // A chunk cut by the end of the file cannot be carried whole.
    if (offset > file_size || size > file_size - offset) {
        return;
    }
    if (chunks.size() >= kMaxListedChunks) {
        chunks_complete = false;
        return;
    }
    chunks.push_back(ChunkPlace{id, offset, size, after});
}

// Chunks after the data body, up to the end of the RIFF form (or of the file,
// when the RIFF size is too small to be true). The walk ends at anything that
// does not look like a chunk: trailing bytes that are not chunks are left.
void WaveFile_type::ListChunksAfterData(std::uint64_t data_body) {
    if (data_body > file_size || data_size >= file_size - data_body) {
        return;
    }
    const std::uint64_t data_end = data_body + data_size;
    std::uint64_t end = file_size;
    if (riff_size <= file_size - 8 && riff_size + 8 >= data_end) {
        end = riff_size + 8;
    }
    auto walk_from = [&](std::uint64_t at) {
        ChunkWalker walker(*stream, at, end);
        walker.RequirePrintableIds();
        if (rf64) {
            walker.UseSizeTable(&ds64.table);
        }
        walker.PollStop(stop_check);
        ChunkHeader chunk;
        bool any = false;
        while (walker.Next(chunk) && walker.BodyFits()) {
            ListChunk(chunk.id, chunk.offset, chunk.size, true);
            any = true;
            walker.Skip();
        }
        return any;
    };
    // Some writers leave out the pad byte after an odd data body.
    if (!walk_from(data_end + (data_size & 1u)) && (data_size & 1u) != 0) {
        walk_from(data_end);
    }
}

// Plain headers name a width that is not a whole number of bytes (20 in 24,
// 12 in 16) by its valid bits; samples are read as the container's width.
// Only a header whose block_align agrees is taken this way; any other is
// refused by Unreadable().
void WaveFile_type::NormaliseWidth() {
    const unsigned container = (format.bits_per_sample + 7u) / 8u * 8u;
    if (format.valid_bits == 0) {
        format.valid_bits = format.bits_per_sample;
    }
    if (format.bits_per_sample % 8u != 0 && format.Coding() == format_pcm &&
        format.block_align == ((format.channels * container / 8u) & 0xFFFFu)) {
        format.bits_per_sample = static_cast<std::uint16_t>(container);
    }
}

std::string WaveFile_type::Unreadable() const {
    return header_problem.empty() ? format.Unreadable() : header_problem;
}

bool WaveFile_type::ReadChunk(const ChunkPlace& place, std::vector<unsigned char>& body) {
    if (!stream->is_open() || writing) {
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
    rf64 = large;
    extra_chunks = std::move(new_chunks);
    format = WrittenFormat(new_format);
    fmt_size = FmtBodySize(format);
    const std::vector<unsigned char> head = HeaderBytes();
    const std::size_t before = extra_chunks ? extra_chunks->before.size() : 0;
    data_header_at = head.size() + before;
    if (rf64) {
        max_data_size = std::numeric_limits<std::uint64_t>::max() / 2;
    } else {
        // WriteData keeps room for the pad byte of an odd data body.
        const std::uint64_t fixed = data_header_at + 8 + BytesAfterData(extra_chunks.get(), 0);
        max_data_size = fixed < kPlainFileLimit ? kPlainFileLimit - fixed : 0;
    }
    WriteHeader();
    if (before != 0) {
        stream->write(reinterpret_cast<const char*>(extra_chunks->before.data()),
                      static_cast<std::streamsize>(before));
    }
    WriteDataHeader();
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
        const std::uint64_t data_end = data_header_at + 8 + data_size;
        stream->seekp(static_cast<std::streamoff>(data_end));
        if (PadBytes(data_size) != 0) {
            stream->put(0);
        }
        if (extra_chunks && !extra_chunks->after.empty()) {
            stream->write(reinterpret_cast<const char*>(extra_chunks->after.data()),
                          static_cast<std::streamsize>(extra_chunks->after.size()));
        }
        riff_size = data_end + BytesAfterData(extra_chunks.get(), data_size) - 8;
        stream->seekp(0);
        WriteHeader();
        stream->seekp(static_cast<std::streamoff>(data_header_at));
        WriteDataHeader();
        if (stream->fail()) {
            failed = true;
        }
    }
    stream->close();
    if (writing && stream->fail()) {
        failed = true;
    }
}

std::vector<unsigned char> WaveFile_type::HeaderBytes() const {
    return WrittenHeader(format, rf64, riff_size, data_size);
}

void WaveFile_type::WriteHeader() {
    const std::vector<unsigned char> header = HeaderBytes();
    stream->write(reinterpret_cast<const char*>(header.data()),
                  static_cast<std::streamsize>(header.size()));
}

void WaveFile_type::WriteDataHeader() {
    unsigned char header[8] = {'d', 'a', 't', 'a'};
    Put32(header + 4, rf64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(data_size));
    stream->write(reinterpret_cast<const char*>(header), sizeof header);
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

int WaveFile_type::SubFormat() const {
    return format.sub_format;
}

std::uint64_t WaveFile_type::TotalSamples() const {
    const unsigned width = SampleWidth();
    return width == 0 ? 0 : data_size / width;
}

std::uint64_t WaveFile_type::SamplesPerChannel() const {
    return format.channels == 0 ? 0 : TotalSamples() / format.channels;
}

std::uint64_t WaveFile_type::FramesInFile() const {
    const std::size_t frame_bytes = FrameBytes();
    if (frame_bytes == 0 || !have_data || data_start > file_size) {
        return 0;
    }
    return std::min<std::uint64_t>(SamplesPerChannel(), (file_size - data_start) / frame_bytes);
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
    const std::size_t wanted = static_cast<std::size_t>(
        std::min<std::uint64_t>({count, buffer.size(), TotalSamples() - samples_read}));
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
    samples_read += samples;
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
    if (count > max_data_size || data_size > max_data_size - count ||
        PadBytes(data_size + count) > max_data_size - count - data_size) {
        failed = true;
        return;
    }
    stream->write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(count));
    if (stream->fail()) {
        failed = true;
        return;
    }
    data_size += count;
}

} // namespace audio::riffwave
