#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

namespace audio::riffwave {

// 64-bit sizes of the chunks whose 32-bit size field holds 0xFFFFFFFF, as an
// RF64 file's "ds64" table gives them.
using ChunkSizeTable = std::vector<std::pair<std::string, std::uint64_t>>;

// The sizes an RF64 file keeps in its "ds64" chunk.
struct Ds64Sizes {
    std::uint64_t riff_size = 0;
    std::uint64_t data_size = 0;
    std::uint64_t sample_count = 0;
    ChunkSizeTable table;
};

// Tables longer than this are refused: no file has that many chunks past
// 4 GiB, and the table is held in memory.
constexpr std::uint32_t kMaxDs64TableEntries = 4096;

// Reads a "ds64" body of `size` bytes from `in` at its current position.
// Returns why the chunk cannot be used (too short, a table longer than the
// body or than kMaxDs64TableEntries, a short read); empty when it can.
std::string ReadDs64Reason(std::istream& in, std::uint64_t size, Ds64Sizes& sizes);

// One chunk header as a walk found it.
struct ChunkHeader {
    std::string id;               // four bytes
    std::uint32_t size_field = 0; // as stored
    std::uint64_t size = 0;       // the true size: from the table for 0xFFFFFFFF
    std::uint64_t offset = 0;     // of the body
    std::uint64_t header_at = 0;  // of the identifier
};

// Walks the chunks that stand one after another between two offsets of a
// stream or of bytes in memory: a RIFF form's top level, or the sub-chunks of
// a list. Every position and size is checked in 64 bits against what is left
// before the end, so no size can wrap, step back or repeat a position; each
// step moves forward by at least 8 bytes, and a walk takes time proportional
// to the number of chunks whatever their sizes say.
class ChunkWalker {
public:
    ChunkWalker(std::istream& in, std::uint64_t begin, std::uint64_t end);
    ChunkWalker(const unsigned char* bytes, std::uint64_t begin, std::uint64_t end);

    // Sizes for 0xFFFFFFFF size fields; the table must outlive the walker and
    // may still be filled while it walks.
    void UseSizeTable(const ChunkSizeTable* table) { sizes = table; }
    // Only identifiers of printable characters count as chunks; anything
    // else ends the walk without a reason (trailing bytes that are not chunks).
    void RequirePrintableIds() { printable_ids = true; }
    // Polled now and then; once it answers true the walk ends with a reason.
    void PollStop(std::function<bool()> stop) { stop_requested = std::move(stop); }

    // Reads the chunk header at the current position. False at the end, when
    // a read fails or an identifier is not printable when asked, and with a
    // reason when 1 to 7 bytes are left or a stop was requested.
    bool Next(ChunkHeader& chunk);
    // Whether the body of the chunk last read ends by the end of the walk.
    bool BodyFits() const;
    // Moves past the body of the chunk last read and its pad byte (a missing
    // pad byte at the very end is tolerated). False, with a reason, when the
    // body runs past the end.
    bool Skip();

    // Why the walk ended early; empty when it simply came to its end.
    const std::string& Reason() const { return reason; }
    std::uint64_t Position() const { return at; }

private:
    bool ReadHeaderBytes(unsigned char* header);

    std::istream* stream = nullptr;
    const unsigned char* memory = nullptr;
    std::uint64_t at;
    std::uint64_t end;
    const ChunkSizeTable* sizes = nullptr;
    bool printable_ids = false;
    std::function<bool()> stop_requested;
    std::uint64_t steps = 0;
    ChunkHeader last;
    bool have_last = false;
    std::string reason;
};

} // namespace audio::riffwave
