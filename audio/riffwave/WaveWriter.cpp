#include "audio/riffwave/WaveWriter.hpp"

#include "audio/riffwave/ByteOrder.hpp"
#include "audio/riffwave/WrittenLayout.hpp"

#include <limits>
#include <ostream>
#include <vector>

namespace audio::riffwave {

WaveWriter::WaveWriter(std::ostream& stream, WaveHeader& written,
                       std::shared_ptr<const ChunkBlocks> other)
    : out(stream), header(written), chunks(std::move(other)) {
    const std::size_t before = chunks ? chunks->before.size() : 0;
    data_header_at = WriteHeader() + before;
    if (header.rf64) {
        max_data_size = std::numeric_limits<std::uint64_t>::max() / 2;
    } else {
        // Append keeps room for the pad byte of an odd data body.
        const std::uint64_t fixed = data_header_at + 8 + BytesAfterData(chunks.get(), 0);
        max_data_size = fixed < kPlainFileLimit ? kPlainFileLimit - fixed : 0;
    }
    if (before != 0) {
        out.write(reinterpret_cast<const char*>(chunks->before.data()),
                  static_cast<std::streamsize>(before));
    }
    WriteDataHeader();
}

bool WaveWriter::Append(const unsigned char* bytes, std::size_t count) {
    const std::uint64_t size = header.data_size;
    if (count > max_data_size || size > max_data_size - count ||
        PadBytes(size + count) > max_data_size - count - size) {
        return false;
    }
    out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(count));
    if (out.fail()) {
        return false;
    }
    header.data_size += count;
    return true;
}

bool WaveWriter::Finish() {
    out.clear();
    const std::uint64_t data_end = data_header_at + 8 + header.data_size;
    out.seekp(static_cast<std::streamoff>(data_end));
    if (PadBytes(header.data_size) != 0) {
        out.put(0);
    }
    if (chunks && !chunks->after.empty()) {
        out.write(reinterpret_cast<const char*>(chunks->after.data()),
                  static_cast<std::streamsize>(chunks->after.size()));
    }
    header.riff_size = data_end + BytesAfterData(chunks.get(), header.data_size) - 8;
    out.seekp(0);
    WriteHeader();
    out.seekp(static_cast<std::streamoff>(data_header_at));
    WriteDataHeader();
    return !out.fail();
}

std::size_t WaveWriter::WriteHeader() {
    const std::vector<unsigned char> bytes =
        WrittenHeader(header.format, header.rf64, header.riff_size, header.data_size);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return bytes.size();
}

void WaveWriter::WriteDataHeader() {
    unsigned char bytes[8] = {'d', 'a', 't', 'a'};
    Put32(bytes + 4, header.rf64 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(header.data_size));
    out.write(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

} // namespace audio::riffwave
