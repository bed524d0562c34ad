// libFuzzer target: arbitrary bytes as a wave file. Opens it, reads every
// accessor, all samples (split into channels), and every listed chunk, which
// it rescales; a readable file is then written back with its chunks, plain or
// RF64, and read again.

#include "audio/riffwave/WaveFile_type.hpp"
#include "audio/riffwave/WaveMetadata.hpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // In memory where the system has it: rewriting a file on disk waits for
    // the disk at every close, and that, not the reading, set the pace.
    static const std::string folder = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    static const std::string path = folder + "/marrowvale_fuzz_wave_" + std::to_string(::getpid());
    static const std::string copy_path = path + "_copy";
    if (FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    } else {
        return 0;
    }

    audio::riffwave::WaveFile_type wave;
    if (!wave.OpenRead(path)) {
        return 0;
    }
    std::uint16_t h = 0, m = 0, s = 0, ms = 0;
    wave.SplitDuration(h, m, s, ms);
    const std::string unreadable = wave.UnreadableReason();
    volatile double sink = wave.DurationMs() + static_cast<double>(wave.TotalSamples()) +
                           static_cast<double>(wave.SamplesPerChannel()) +
                           static_cast<double>(wave.FramesInFile()) + wave.SampleRate() +
                           wave.Channels() + wave.FormatTag() + wave.SubFormat() +
                           wave.Format().valid_bits + wave.Format().channel_mask +
                           static_cast<double>(unreadable.size() + wave.IsRf64()) + h + m + s + ms;
    (void)sink;
    if (wave.FramesInFile() > wave.SamplesPerChannel()) {
        std::abort(); // a file never holds more frames than its header gives
    }

    // Every chunk, rescaled both ways; then the carried ones as a whole.
    std::vector<unsigned char> body;
    for (const audio::riffwave::ChunkPlace& place : wave.Chunks()) {
        if (place.offset + place.size > size || !wave.ReadChunk(place, body)) {
            std::abort(); // listed chunks lie within the file
        }
        audio::riffwave::RescaleChunk(place.id, body, audio::riffwave::FrameScale(48000, 44100));
        audio::riffwave::RescaleChunk(place.id, body, audio::riffwave::FrameScale(1, 768000));
    }
    std::string reason;
    const auto chunks =
        audio::riffwave::ReadCarriedChunks(wave, audio::riffwave::FrameScale(44100, 96000), reason);

    std::vector<std::int32_t> block(4096);
    std::vector<std::int32_t> channel(4096);
    const int channels = wave.Channels();
    std::vector<std::int32_t> all;
    for (unsigned read = 0; (read = wave.ReadSamples(block, 4096)) != 0;) {
        for (int c = 1; c <= channels && c <= 8; ++c) {
            wave.Deinterleave(block, read, c, channel);
        }
        if (all.size() < 65536) {
            all.insert(all.end(), block.begin(), block.begin() + read);
        }
    }

    // Written back, the chunks and samples must read again.
    if (unreadable.empty() && chunks && channels <= 8 && !wave.Format().IsFloat()) {
        std::size_t carried = 0;
        for (const audio::riffwave::ChunkPlace& place : wave.Chunks()) {
            carried += audio::riffwave::IsCarried(place.id) ? 1 : 0;
        }
        audio::riffwave::WaveFile_type copy;
        const bool rf64 = (size & 1u) != 0;
        copy.OpenWrite(copy_path, wave.Format(), rf64, chunks);
        copy.WriteSamples(all, static_cast<unsigned>(all.size()));
        copy.Close();
        audio::riffwave::WaveFile_type back;
        if (!copy.Failed() && (!back.OpenRead(copy_path) || !back.UnreadableReason().empty() ||
                               back.IsRf64() != rf64 || back.TotalSamples() != all.size() ||
                               back.Chunks().size() != carried)) {
            std::abort();
        }
    }
    return 0;
}
