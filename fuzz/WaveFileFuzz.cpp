// libFuzzer target: arbitrary bytes as a wave file. Opens it, reads every
// accessor and all samples, and splits them into channels.

#include "audio/riffwave/WaveFile_type.hpp"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/marrowvale_fuzz_wave_" + std::to_string(::getpid());
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
    volatile double sink = wave.DurationMs() + wave.TotalSamples() + wave.SamplesPerChannel() +
                           wave.SampleRate() + wave.Channels() + wave.FormatTag() +
                           wave.SubFormat() + h + m + s + ms;
    (void)sink;

    std::vector<std::int32_t> block(4096);
    std::vector<std::int32_t> channel(4096);
    const int channels = wave.Channels();
    for (unsigned read = 0; (read = wave.ReadSamples(block, 4096)) != 0;) {
        for (int c = 1; c <= channels && c <= 8; ++c) {
            wave.Deinterleave(block, read, c, channel);
        }
    }
    return 0;
}
