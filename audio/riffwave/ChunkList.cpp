#include "audio/riffwave/ChunkList.hpp"

#include "audio/riffwave/ByteOrder.hpp"

#include <algorithm>

namespace audio::riffwave {

void ChunkList::Add(const ChunkPlace& place, std::uint64_t file_size) {
    if (place.offset > file_size || place.size > file_size - place.offset) {
        return;
    }
    if (places.size() >= kMaxPlaces) {
        complete = false;
        return;
    }
    places.push_back(place);
}

void AppendChunk(std::vector<unsigned char>& block, const std::string& id,
                 const std::vector<unsigned char>& body) {
    unsigned char header[8] = {};
    std::copy_n(id.begin(), std::min<std::size_t>(id.size(), 4), header);
    Put32(header + 4, static_cast<std::uint32_t>(body.size()));
    block.insert(block.end(), header, header + 8);
    block.insert(block.end(), body.begin(), body.end());
    if (body.size() % 2 == 1) {
        block.push_back(0);
    }
}

} // namespace audio::riffwave
