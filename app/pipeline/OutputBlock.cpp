#include "app/pipeline/OutputBlock.hpp"

#include "audio/riffwave/SampleBytes.hpp"
#include "audio/riffwave/WaveFile_type.hpp"
#include "task/ITaskProgress.hpp"

#include <algorithm>

namespace marrowvale {

OutputBlock::OutputBlock(std::size_t capacity_frames, unsigned channels, unsigned new_sample_bytes)
    : capacity(capacity_frames), sample_bytes(new_sample_bytes),
      bytes(capacity_frames * channels * new_sample_bytes), counts(channels, 0) {}

void OutputBlock::Put(unsigned c, const std::int32_t* samples, std::size_t count) {
    count = std::min(count, capacity);
    const std::size_t frame_bytes = counts.size() * sample_bytes;
    audio::riffwave::EncodeChannel(samples, count, sample_bytes, frame_bytes,
                                   bytes.data() + std::size_t{c} * sample_bytes);
    counts[c] = count;
}

bool OutputBlock::Agree() const {
    return std::all_of(counts.begin(), counts.end(), [&](std::size_t n) { return n == counts[0]; });
}

void OutputBlock::Put(unsigned c, const float* samples, std::size_t count) {
    count = std::min(count, capacity);
    const std::size_t frame_bytes = counts.size() * sample_bytes;
    audio::riffwave::EncodeChannel(samples, count, frame_bytes,
                                   bytes.data() + std::size_t{c} * sample_bytes);
    counts[c] = count;
}

std::size_t OutputBlock::Frames() const {
    return Agree() ? counts[0] : 0;
}

bool OutputBlock::Write(audio::riffwave::WaveFile_type& file, task::ITaskProgress& progress,
                        std::string& failure) {
    if (!Agree()) {
        failure = "internal error: channels out of step";
        return false;
    }
    const std::size_t frames = counts[0];
    std::fill(counts.begin(), counts.end(), 0);
    if (frames == 0) {
        // Empty passes report nothing: after a complete bar an Advance(0)
        // would draw a stray mark.
        return true;
    }
    file.WriteFrames(bytes.data(), frames);
    if (file.Failed()) {
        failure = "writing the output failed (disk full or write error)";
        return false;
    }
    progress.Advance(static_cast<std::int64_t>(frames * counts.size()));
    return true;
}

} // namespace marrowvale
