#pragma once

#include "audio/riffwave/ChunkList.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace audio::riffwave {

class WaveFile_type;

// Whether a chunk is copied into a converted file: all but those that describe
// the stored samples ("fmt ", "data", "fact", "ds64", "PEAK", "levl") and
// padding ("JUNK", "junk", "PAD ", "FLLR"), which the writer makes afresh or
// which would no longer be true of the converted samples.
bool IsCarried(const std::string& id);

// Counts of sample frames at one rate expressed at another, rounded to the
// nearest frame (halves up) and saturated rather than wrapped.
class FrameScale {
public:
    FrameScale(std::uint32_t from_rate, std::uint32_t to_rate);

    // A position (frames since a start) or a length.
    std::uint64_t Frames(std::uint64_t frames) const;
    std::uint32_t Frames32(std::uint32_t frames) const;
    // The last frame of a span given by its first and last frames: the end of
    // the span is scaled, so that spans keep their lengths and adjoining spans
    // stay adjoining. Never before the scaled first frame.
    std::uint32_t LastFrame32(std::uint32_t first, std::uint32_t last) const;
    // The duration of one frame in nanoseconds, which scales the other way.
    std::uint32_t Period32(std::uint32_t period) const;

private:
    static std::uint64_t Scale(std::uint64_t value, std::uint64_t to, std::uint64_t from);

    std::uint64_t from;
    std::uint64_t to;
};

// Rewrites the sample-frame counts of one chunk body for the output rate:
// the "bext" time reference, "cue " positions, "smpl" loops and sample period,
// and the lengths of "ltxt" entries in a "LIST" of type "adtl". Bodies too
// short for a field keep it; every other byte stays as it was.
void RescaleChunk(const std::string& id, std::vector<unsigned char>& body, const FrameScale& scale);

// Carried chunk bodies are held in memory while a file converts; a file with
// more than this is refused rather than stripped unasked.
constexpr std::uint64_t kMaxCarriedBytes = std::uint64_t{64} << 20;

// The carried chunks of an open input, read and rescaled; the stream's
// position is kept. Null with `reason` set when they cannot all be carried.
std::shared_ptr<const ChunkBlocks> ReadCarriedChunks(WaveFile_type& input, const FrameScale& scale,
                                                     std::string& reason);

} // namespace audio::riffwave
