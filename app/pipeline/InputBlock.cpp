#include "app/pipeline/InputBlock.hpp"

#include "audio/riffwave/SampleBytes.hpp"
#include "audio/riffwave/WaveFile_type.hpp"

namespace marrowvale {

InputBlock::InputBlock(std::size_t capacity_frames, std::size_t new_frame_bytes,
                       unsigned new_sample_bytes)
    : capacity(capacity_frames), frame_bytes(new_frame_bytes), sample_bytes(new_sample_bytes),
      bytes(capacity_frames * new_frame_bytes) {}

void InputBlock::Read(audio::riffwave::WaveFile_type& file) {
    frames = file.ReadFrames(bytes.data(), capacity);
}

void InputBlock::DecodeChannel(unsigned c, std::size_t first, std::size_t count,
                               std::int32_t* out) const {
    audio::riffwave::DecodeChannel(bytes.data() + first * frame_bytes +
                                       std::size_t{c} * sample_bytes,
                                   count, sample_bytes, frame_bytes, out);
}

void InputBlock::DecodeChannel(unsigned c, std::size_t first, std::size_t count,
                               double* out) const {
    audio::riffwave::DecodeChannel(bytes.data() + first * frame_bytes +
                                       std::size_t{c} * sample_bytes,
                                   count, sample_bytes, frame_bytes, out);
}

} // namespace marrowvale
