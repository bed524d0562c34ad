#include "audio/riffwave/WaveReader.hpp"

#include "audio/riffwave/ByteOrder.hpp"

#include <algorithm>
#include <cstring>
#include <istream>

namespace audio::riffwave {

namespace {

// "fmt " body offsets of the extensible form's fields: valid bits, channel
// mask, the sub-format GUID (whose first two bytes carry its code), its end.
constexpr unsigned kValidBitsOffset = 18;
constexpr unsigned kChannelMaskOffset = 20;
constexpr unsigned kSubFormatOffset = 24;
constexpr unsigned kExtensibleEnd = 40;

} // namespace

// Walks the chunks from the "RIFF"/"WAVE" head up to the "data" chunk header,
// then lists the chunks after the data body. A chunk before the data whose
// size runs past the end of the file, or an unusable ds64 chunk, leaves the
// file unreadable with the walker's reason.
bool WaveReader::Read(const std::function<bool()>& stop) {
    in.seekg(0, std::ios_base::end);
    const std::streamoff length = in.tellg();
    header.file_size = length > 0 ? static_cast<std::uint64_t>(length) : 0;
    in.seekg(0);

    // Bytes past a short file stay zero, so that no partial code matches.
    unsigned char head[12] = {};
    in.read(reinterpret_cast<char*>(head), sizeof head);
    auto is = [&head](std::size_t at, const char* id) {
        return std::memcmp(head + at, id, 4) == 0;
    };
    header.rf64 = is(0, "RF64") || is(0, "BW64");
    const std::uint32_t riff_size32 = Get32(head + 4);
    header.riff_size = riff_size32;
    if ((!is(0, "RIFF") && !header.rf64) || !is(8, "WAVE")) {
        return false;
    }

    bool format_seen = false;
    ChunkWalker walker(in, 12, header.file_size);
    if (header.rf64) {
        walker.UseSizeTable(&ds64.table);
    }
    walker.PollStop(stop);
    ChunkHeader chunk;
    while (walker.Next(chunk) && chunk.id != "data") {
        if (chunk.id == "fmt ") {
            format_seen = true;
            ReadFormatBody(chunk.size);
        } else if (header.rf64 && chunk.id == "ds64" && !ds64_seen) {
            ds64_seen = true;
            header.problem = ReadDs64Reason(in, chunk.size, ds64);
            if (!header.problem.empty()) {
                break;
            }
        } else {
            header.chunks.Add(ChunkPlace{chunk.id, chunk.offset, chunk.size, false},
                              header.file_size);
        }
        if (!walker.Skip()) {
            break;
        }
    }
    if (header.problem.empty()) {
        header.problem = walker.Reason();
    }
    if (header.problem.empty() && chunk.id == "data" && chunk.offset <= header.file_size) {
        header.have_data = true;
        header.data_start = chunk.offset;
        header.data_size = chunk.size_field;
        if (header.rf64 && chunk.size_field == 0xFFFFFFFFu) {
            header.data_size = ds64.data_size;
            if (!ds64_seen) {
                header.problem = "the RF64 file has no ds64 chunk to give the size of its data";
            }
        }
    }
    if (header.rf64 && riff_size32 == 0xFFFFFFFFu && ds64_seen) {
        header.riff_size = ds64.riff_size;
    }
    NormaliseWidth();
    if (header.have_data) {
        ListChunksAfterData(stop);
    }
    // Without a data chunk there are no samples to read.
    in.clear();
    in.seekg(static_cast<std::streamoff>(header.have_data ? header.data_start : header.file_size));
    return format_seen || !header.problem.empty();
}

// Only the record and the extensible form's fields are ever read; the rest of
// a longer body is stepped over by the walk.
void WaveReader::ReadFormatBody(std::uint64_t size) {
    unsigned char body[kExtensibleEnd] = {};
    in.read(reinterpret_cast<char*>(body),
            static_cast<std::streamsize>(std::min<std::uint64_t>(size, sizeof body)));
    const auto got = static_cast<std::size_t>(in.gcount());

    // Fields beyond a short body keep what they held.
    WaveFormat_type& format = header.format;
    unsigned char record[WaveFormat_type::kStoredBytes];
    format.ToBytes(record);
    std::memcpy(record, body, std::min<std::size_t>(got, sizeof record));
    format.FromBytes(record);
    if (format.format_tag == format_pcm) {
        format.extra_size = 0;
    }
    // The extensible form's fields count only when the body holds them whole.
    const bool extensible = format.format_tag == format_extensible;
    auto holds = [extensible, got](unsigned end) { return extensible && got >= end; };
    format.valid_bits = holds(kValidBitsOffset + 2) ? Get16(body + kValidBitsOffset) : 0;
    format.channel_mask = holds(kChannelMaskOffset + 4) ? Get32(body + kChannelMaskOffset) : 0;
    format.sub_format = holds(kSubFormatOffset + 2) ? Get16(body + kSubFormatOffset) : 0;
    format.guid_tail = {};
    if (holds(kExtensibleEnd)) {
        std::memcpy(format.guid_tail.data(), body + kSubFormatOffset + 2, format.guid_tail.size());
    }
}

// Chunks after the data body, up to the end of the RIFF form (or of the file,
// when the RIFF size is too small to be true). The walk ends at anything that
// does not look like a chunk: trailing bytes that are not chunks are left.
void WaveReader::ListChunksAfterData(const std::function<bool()>& stop) {
    const std::uint64_t file_size = header.file_size;
    const std::uint64_t data_size = header.data_size;
    if (header.data_start > file_size || data_size >= file_size - header.data_start) {
        return;
    }
    const std::uint64_t data_end = header.data_start + data_size;
    std::uint64_t end = file_size;
    if (header.riff_size <= file_size - 8 && header.riff_size + 8 >= data_end) {
        end = header.riff_size + 8;
    }
    auto walk_from = [&](std::uint64_t at) {
        ChunkWalker walker(in, at, end);
        walker.RequirePrintableIds();
        if (header.rf64) {
            walker.UseSizeTable(&ds64.table);
        }
        walker.PollStop(stop);
        ChunkHeader chunk;
        bool any = false;
        while (walker.Next(chunk) && walker.BodyFits()) {
            header.chunks.Add(ChunkPlace{chunk.id, chunk.offset, chunk.size, true}, file_size);
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
// refused by UnreadableReason().
void WaveReader::NormaliseWidth() {
    WaveFormat_type& format = header.format;
    const unsigned container = (format.bits_per_sample + 7u) / 8u * 8u;
    if (format.valid_bits == 0) {
        format.valid_bits = format.bits_per_sample;
    }
    if (format.bits_per_sample % 8u != 0 && format.Coding() == format_pcm &&
        format.block_align == ((format.channels * container / 8u) & 0xFFFFu)) {
        format.bits_per_sample = static_cast<std::uint16_t>(container);
    }
}

} // namespace audio::riffwave
