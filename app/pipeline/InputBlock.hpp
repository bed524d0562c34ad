#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace audio::riffwave {
class WaveFile_type;
}

namespace marrowvale {

// A block of interleaved frames as stored in the input file, read in one
// call. Channels decode their own samples from it.
class InputBlock {
public:
    InputBlock(std::size_t capacity_frames, std::size_t frame_bytes, unsigned sample_bytes);

    // Reads up to the capacity; fewer frames only at the end of the data.
    void Read(audio::riffwave::WaveFile_type& file);
    std::size_t Frames() const { return frames; }
    bool Full() const { return frames == capacity; }

    // Decodes channel c (from 0) of frames [first, first + count) into
    // out[0 .. count-1]: integer samples right-justified, or IEEE float
    // samples as they are.
    void DecodeChannel(unsigned c, std::size_t first, std::size_t count, std::int32_t* out) const;
    void DecodeChannel(unsigned c, std::size_t first, std::size_t count, double* out) const;

private:
    std::size_t capacity;
    std::size_t frame_bytes;
    unsigned sample_bytes;
    std::vector<unsigned char> bytes;
    std::size_t frames = 0;
};

} // namespace marrowvale
