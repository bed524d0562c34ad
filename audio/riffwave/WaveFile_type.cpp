#include "audio/riffwave/WaveFile_type.hpp"

#include "audio/riffwave/ByteOrder.hpp"
#include "audio/riffwave/SampleBytes.hpp"
#include "utility/streaming/CharArray.hpp"

#include <algorithm>
#include <cstring>
#include <istream>
#include <limits>

namespace audio::riffwave {

namespace {

using Identifier = utility::streaming::CharArray<4>;

constexpr std::uint32_t kWrittenFmtSize = WaveFormat_type::kStoredBytes;
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
            ds64_riff_size = 0;
            ds64_data_size = 0;
            ds64_table.clear();
            chunks.clear();
            chunks_complete = true;
            extra_chunks.reset();
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

// Walks the chunks from the "RIFF"/"WAVE" head up to the "data" chunk header,
// then lists the chunks after the data body. Each chunk's start is computed
// from the previous one's in 64 bits, so no size can wrap the position or step
// backwards; any short read ends the walk.
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
    std::uint64_t chunk_start = 12;
    Identifier id = ReadIdentifier(in);
    while (!in.fail() && id != "data") {
        std::uint32_t size32 = 0;
        const bool have_size = ReadU32(in, size32);
        const std::string name(id.c_str(), 4);
        const std::uint64_t size = SizeFromTable(name, size32);
        if (id == "fmt ") {
            format_seen = true;
            if (!have_size) {
                break;
            }
            fmt_size = size32;
            // Only the record and the extensible form's fields are ever read;
            // the rest of a longer body is stepped over below.
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
        } else if (!have_size) {
            break;
        } else if (rf64 && id == "ds64" && !ds64_seen) {
            ReadDs64(size);
        } else {
            ListChunk(name, chunk_start + 8, size, false);
        }
        chunk_start += 8u + size + (size & 1u);
        in.seekg(static_cast<std::streamoff>(chunk_start));
        id = ReadIdentifier(in);
    }

    if (!in.fail() && id == "data") {
        std::uint32_t size32 = 0;
        if (ReadU32(in, size32)) {
            have_data = true;
            data_start = chunk_start + 8;
            data_size = size32;
            if (rf64 && size32 == 0xFFFFFFFFu) {
                if (ds64_seen) {
                    data_size = ds64_data_size;
                } else {
                    data_size = 0;
                    header_problem = "the RF64 file has no ds64 chunk to give the size of its data";
                }
            }
        }
    }
    if (rf64 && riff_size32 == 0xFFFFFFFFu && ds64_seen) {
        riff_size = ds64_riff_size;
    }
    NormaliseWidth();
    if (have_data) {
        ListChunksAfterData(data_start);
        in.clear();
        in.seekg(static_cast<std::streamoff>(data_start));
    }
    return format_seen;
}

// Reads the 64-bit RIFF and data sizes and the table of other chunks' sizes.
void WaveFile_type::ReadDs64(std::uint64_t size) {
    std::istream& in = *stream;
    unsigned char body[28] = {};
    in.read(reinterpret_cast<char*>(body),
            static_cast<std::streamsize>(std::min<std::uint64_t>(size, sizeof body)));
    if (static_cast<std::size_t>(in.gcount()) < 16) {
        in.clear(); // the walk goes on from the chunk's end
        return;
    }
    ds64_seen = true;
    ds64_riff_size = Get64(body);
    ds64_data_size = Get64(body + 8);
    if (size < sizeof body) {
        return;
    }
    // The table holds one 12-byte entry a chunk; a count beyond the body, or
    // beyond what any file needs, is cut.
    const std::uint64_t entries =
        std::min<std::uint64_t>({Get32(body + 24), (size - sizeof body) / 12, 64});
    for (std::uint64_t e = 0; e < entries; ++e) {
        unsigned char entry[12];
        in.read(reinterpret_cast<char*>(entry), sizeof entry);
        if (in.gcount() != sizeof entry) {
            in.clear();
            return;
        }
        ds64_table.emplace_back(std::string(reinterpret_cast<const char*>(entry), 4),
                                Get64(entry + 4));
    }
}

// An RF64 file gives 0xFFFFFFFF as the size of a chunk whose true size is in
// the ds64 table.
std::uint64_t WaveFile_type::SizeFromTable(const std::string& id, std::uint32_t size) const {
    if (rf64 && size == 0xFFFFFFFFu) {
        for (const auto& [name, true_size] : ds64_table) {
            if (name == id) {
                return true_size;
            }
        }
    }
    return size;
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

// A chunk header at `at` that names a chunk of printable characters whose
// body ends by `end`.
bool WaveFile_type::ChunkHeaderAt(std::uint64_t at, std::uint64_t end, std::string& id,
                                  std::uint64_t& size) {
    if (at > end || end - at < 8) {
        return false;
    }
    std::istream& in = *stream;
    in.clear();
    in.seekg(static_cast<std::streamoff>(at));
    unsigned char header[8];
    in.read(reinterpret_cast<char*>(header), sizeof header);
    if (in.gcount() != sizeof header) {
        return false;
    }
    for (int b = 0; b < 4; ++b) {
        if (header[b] < 0x20 || header[b] > 0x7E) {
            return false;
        }
    }
    id.assign(reinterpret_cast<const char*>(header), 4);
    size = SizeFromTable(id, Get32(header + 4));
    return size <= end - at - 8;
}

// Chunks after the data body, up to the end of the RIFF form (or of the file,
// when the RIFF size is too small to be true). The walk ends at anything that
// does not look like a chunk: trailing bytes that are not chunks are left.
void WaveFile_type::ListChunksAfterData(std::uint64_t data_body) {
    const std::uint64_t data_end = data_body + data_size;
    if (data_end < data_body || data_end >= file_size) {
        return;
    }
    std::uint64_t end = file_size;
    if (riff_size <= file_size - 8 && riff_size + 8 >= data_end) {
        end = riff_size + 8;
    }
    std::string id;
    std::uint64_t size = 0;
    std::uint64_t at = data_end + (data_size & 1u);
    // Some writers leave out the pad byte after an odd data body.
    if (!ChunkHeaderAt(at, end, id, size) && at != data_end) {
        at = data_end;
    }
    while (ChunkHeaderAt(at, end, id, size)) {
        ListChunk(id, at + 8, size, true);
        at += 8u + size + (size & 1u);
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
    std::string reason = format.Unreadable();
    return reason.empty() ? header_problem : reason;
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

namespace {

// The format a writer puts in its "fmt " chunk: tag 1, 3 or the extensible
// form, with the fields that follow from channels, rate and width.
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
    return format.IsExtensible() ? kWrittenFmtSize + WaveFormat_type::kExtensibleExtraBytes
                                 : kWrittenFmtSize;
}

std::uint64_t AfterBytes(const ChunkBlocks* chunks, std::uint64_t data_bytes) {
    if (chunks == nullptr || chunks->after.empty()) {
        return 0;
    }
    return (data_bytes & 1u) + chunks->after.size();
}

// RIFF (or RF64 and "ds64"), "fmt " with an 18-byte body (40 for the
// extensible form), and for float samples a "fact" chunk with the frames per
// channel. Other chunks and the "data" chunk header follow.
std::vector<unsigned char> HeaderOf(const WaveFormat_type& format, bool rf64,
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

} // namespace

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
        // The pad byte before later chunks is counted whatever the parity.
        const std::uint64_t fixed = data_header_at + 8 + AfterBytes(extra_chunks.get(), 1);
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
        std::uint64_t file_end = data_end;
        if (extra_chunks && !extra_chunks->after.empty()) {
            // Chunks after an odd data body start on an even offset.
            stream->seekp(static_cast<std::streamoff>(data_end));
            if ((data_size & 1u) != 0) {
                stream->put(0);
            }
            stream->write(reinterpret_cast<const char*>(extra_chunks->after.data()),
                          static_cast<std::streamsize>(extra_chunks->after.size()));
            file_end += AfterBytes(extra_chunks.get(), data_size);
        }
        riff_size = file_end - 8;
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
    return HeaderOf(format, rf64, riff_size, data_size);
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
    return HeaderOf(format, false, 0, 0).size() + before + 8u + data_bytes +
           AfterBytes(other, data_bytes);
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
    if (count > max_data_size || data_size > max_data_size - count) {
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
