#include "audio/riffwave/ChunkWalker.hpp"

#include "audio/riffwave/ByteOrder.hpp"

#include <algorithm>
#include <boost/format.hpp>
#include <cstring>
#include <istream>

namespace audio::riffwave {

namespace {

constexpr std::uint64_t kDs64FixedBytes = 28; // three sizes and the table's length
constexpr std::uint64_t kDs64EntryBytes = 12; // identifier and 64-bit size
// A stop request is looked at after this many chunks.
constexpr std::uint64_t kStepsBetweenPolls = 1024;

} // namespace

std::string ReadDs64Reason(std::istream& in, std::uint64_t size, Ds64Sizes& sizes) {
    if (size < 16) {
        return (boost::format("its ds64 chunk has %u bytes, too few for the 64-bit sizes") % size)
            .str();
    }
    unsigned char fixed[kDs64FixedBytes] = {};
    const std::uint64_t head = std::min<std::uint64_t>(size, kDs64FixedBytes);
    in.read(reinterpret_cast<char*>(fixed), static_cast<std::streamsize>(head));
    if (static_cast<std::uint64_t>(in.gcount()) != head) {
        return "its ds64 chunk is cut short by the end of the file";
    }
    sizes.riff_size = Get64(fixed);
    sizes.data_size = Get64(fixed + 8);
    sizes.sample_count = head >= 24 ? Get64(fixed + 16) : 0;
    sizes.table.clear();
    const std::uint32_t entries = size < kDs64FixedBytes ? 0 : Get32(fixed + 24);
    if (entries == 0) {
        return {};
    }
    if (entries > (size - kDs64FixedBytes) / kDs64EntryBytes) {
        return (boost::format("its ds64 table lists %u chunks but its body holds at most %u") %
                entries % ((size - kDs64FixedBytes) / kDs64EntryBytes))
            .str();
    }
    if (entries > kMaxDs64TableEntries) {
        return (boost::format("its ds64 table lists %u chunks, more than the %u read") % entries %
                kMaxDs64TableEntries)
            .str();
    }
    std::vector<unsigned char> table(std::size_t{entries} * kDs64EntryBytes);
    in.read(reinterpret_cast<char*>(table.data()), static_cast<std::streamsize>(table.size()));
    if (static_cast<std::size_t>(in.gcount()) != table.size()) {
        return "its ds64 table is cut short by the end of the file";
    }
    for (std::size_t e = 0; e < entries; ++e) {
        const unsigned char* entry = table.data() + e * kDs64EntryBytes;
        sizes.table.emplace_back(std::string(reinterpret_cast<const char*>(entry), 4),
                                 Get64(entry + 4));
    }
    return {};
}

ChunkWalker::ChunkWalker(std::istream& in, std::uint64_t begin, std::uint64_t new_end)
    : stream(&in), at(begin), end(new_end) {}

ChunkWalker::ChunkWalker(const unsigned char* bytes, std::uint64_t begin, std::uint64_t new_end)
    : memory(bytes), at(begin), end(new_end) {}

bool ChunkWalker::ReadHeaderBytes(unsigned char* header) {
    if (memory != nullptr) {
        std::memcpy(header, memory + at, 8);
        return true;
    }
    stream->clear();
    stream->seekg(static_cast<std::streamoff>(at));
    stream->read(reinterpret_cast<char*>(header), 8);
    return stream->gcount() == 8;
}

bool ChunkWalker::Next(ChunkHeader& chunk) {
    have_last = false;
    if (at >= end || !reason.empty()) {
        return false;
    }
    if (end - at < 8) {
        reason = (boost::format("the file ends inside a chunk header at byte %u") % at).str();
        return false;
    }
    if (stop_requested && ++steps % kStepsBetweenPolls == 0 && stop_requested()) {
        reason = "stopped while its header was read";
        return false;
    }
    unsigned char header[8];
    if (!ReadHeaderBytes(header)) {
        return false;
    }
    if (printable_ids &&
        !std::all_of(header, header + 4, [](unsigned char c) { return c >= 0x20 && c <= 0x7E; })) {
        return false;
    }
    last.id.assign(reinterpret_cast<const char*>(header), 4);
    last.size_field = Get32(header + 4);
    last.size = last.size_field;
    if (sizes != nullptr && last.size_field == 0xFFFFFFFFu) {
        for (const auto& [name, true_size] : *sizes) {
            if (name == last.id) {
                last.size = true_size;
                break;
            }
        }
    }
    last.header_at = at;
    last.offset = at + 8;
    have_last = true;
    chunk = last;
    return true;
}

bool ChunkWalker::BodyFits() const {
    return have_last && last.size <= end - last.offset;
}

bool ChunkWalker::Skip() {
    if (!have_last) {
        return false;
    }
    have_last = false;
    const std::uint64_t left = end - last.offset;
    if (last.size > left) {
        reason = (boost::format("its \"%s\" chunk at byte %u gives a size of %u bytes, more than "
                                "the %u left in the file") %
                  last.id % last.header_at % last.size % left)
                     .str();
        return false;
    }
    // The pad byte after an odd body; a file that ends without it ends here.
    at = last.offset + last.size + std::min<std::uint64_t>(last.size & 1u, left - last.size);
    return true;
}

} // namespace audio::riffwave
