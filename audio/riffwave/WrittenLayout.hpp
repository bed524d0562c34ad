#pragma once

#include "audio/riffwave/ChunkList.hpp"
#include "audio/riffwave/WaveFormat_type.hpp"

#include <cstdint>
#include <vector>

namespace audio::riffwave {

// The bytes a writer puts around the samples of a file it writes.

// The format written in the "fmt " chunk: tag 1, 3 or the extensible form,
// with the fields that follow from channels, rate and width.
WaveFormat_type WrittenFormat(const WaveFormat_type& asked);

// Bytes of the "fmt " body written for `format`.
std::uint32_t FmtBodySize(const WaveFormat_type& format);

// RIFF (or RF64 and "ds64"), "fmt " with an 18-byte body (40 for the
// extensible form), and for float samples a "fact" chunk with the frames per
// channel. Other chunks and the "data" chunk header follow.
std::vector<unsigned char> WrittenHeader(const WaveFormat_type& format, bool rf64,
                                         std::uint64_t riff_size, std::uint64_t data_size);

// The pad byte that follows every chunk body of odd size, "data" included:
// the chunk's size field leaves it out, the RIFF (or ds64) size counts it.
constexpr std::uint64_t PadBytes(std::uint64_t body_size) {
    return body_size & 1u;
}

// Bytes after a data body of `data_bytes`: its pad byte and the chunks
// written after it (`chunks` may be null).
std::uint64_t BytesAfterData(const ChunkBlocks* chunks, std::uint64_t data_bytes);

} // namespace audio::riffwave
