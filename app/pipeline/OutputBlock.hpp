#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace audio::riffwave {
class WaveFile_type;
}
namespace task {
class ITaskProgress;
}

namespace marrowvale {

// A block of interleaved frames in the output file's stored form. Each
// channel encodes its samples into it; the block is written once every
// channel has delivered the same number.
class OutputBlock {
public:
    OutputBlock(std::size_t capacity_frames, unsigned channels, unsigned sample_bytes);

    std::size_t Capacity() const { return capacity; }
    // Encodes count samples (at most the capacity) as channel c (from 0):
    // integers in the block's width, or 4-byte IEEE floats.
    void Put(unsigned c, const std::int32_t* samples, std::size_t count);
    void Put(unsigned c, const float* samples, std::size_t count);
    // Frames every channel has delivered; 0 until they agree.
    std::size_t Frames() const;

    // Appends the frames to the file, reports them as progress (one unit a
    // sample) and empties the block. False, with the reason, when the
    // channels delivered different counts or the file failed.
    bool Write(audio::riffwave::WaveFile_type& file, task::ITaskProgress& progress,
               std::string& failure);

private:
    bool Agree() const;

    std::size_t capacity;
    unsigned sample_bytes;
    std::vector<unsigned char> bytes;
    std::vector<std::size_t> counts; // per channel
};

} // namespace marrowvale
