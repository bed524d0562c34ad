#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace audio::riffwave {

// Where one chunk stands in a file that was read: its four-character
// identifier, the offset and size of its body, and whether it comes after the
// "data" chunk.
struct ChunkPlace {
    std::string id;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    bool after_data = false;
};

// The chunks of a file read other than "fmt " and "data", in file order.
// Only chunks whose body lies wholly within the file are listed, at most
// kMaxPlaces of them; `complete` is false when the file held more.
struct ChunkList {
    static constexpr std::size_t kMaxPlaces = 4096;
    std::vector<ChunkPlace> places;
    bool complete = true;

    // Lists a chunk of a file of `file_size` bytes unless its body is cut by
    // the end of the file (it could not be carried whole) or the list is full.
    void Add(const ChunkPlace& place, std::uint64_t file_size);
};

// Whole chunks as they are written, each with its header and, after an odd
// body, its pad byte.
struct ChunkBlocks {
    std::vector<unsigned char> before; // between the format chunks and "data"
    std::vector<unsigned char> after;  // after the data body
    bool Empty() const { return before.empty() && after.empty(); }
};

void AppendChunk(std::vector<unsigned char>& block, const std::string& id,
                 const std::vector<unsigned char>& body);

} // namespace audio::riffwave
