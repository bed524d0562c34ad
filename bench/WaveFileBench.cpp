// Throughput of moving sample blocks between WAVE files and integer buffers,
// with the block sizes the conversion loop uses (width x channels x 10240
// samples), for stereo 16- and 24-bit audio. Files live in the temporary
// folder, so reads come from the page cache.

#include "audio/riffwave/SampleBytes.hpp"
#include "audio/riffwave/WaveFile_type.hpp"

#include <benchmark/benchmark.h>
#include <boost/filesystem.hpp>
#include <cstdint>
#include <fstream>
#include <vector>

namespace {

using audio::riffwave::WaveFile_type;

constexpr int kChannels = 2;
constexpr unsigned kFramesPerFile = 4u << 20; // 4 Mi frames: 16 or 24 MiB of data

unsigned BlockSamples(int bits) {
    return static_cast<unsigned>(bits / 8 * kChannels * 10240);
}

std::vector<std::int32_t> TestSignal(std::size_t count, int bits) {
    std::vector<std::int32_t> samples(count);
    const std::uint32_t mask = (1u << (bits - 1)) - 1;
    std::uint32_t state = 12345;
    for (auto& sample : samples) {
        state = state * 1664525u + 1013904223u;
        sample = static_cast<std::int32_t>(state >> 8 & mask) - static_cast<std::int32_t>(mask / 2);
    }
    return samples;
}

class TempFile {
public:
    TempFile()
        : path(boost::filesystem::temp_directory_path() /
               boost::filesystem::unique_path("marrowvale-bench-%%%%-%%%%.wav")) {}
    ~TempFile() {
        boost::system::error_code ignored;
        boost::filesystem::remove(path, ignored);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    boost::filesystem::path path;
};

void MakeInput(const boost::filesystem::path& path, int bits) {
    WaveFile_type out;
    out.OpenWrite(path, kChannels, 44100, bits);
    const auto block = TestSignal(BlockSamples(bits), bits);
    const unsigned frames_per_block = BlockSamples(bits) / kChannels;
    for (unsigned frames = 0; frames < kFramesPerFile; frames += frames_per_block) {
        out.WriteSamples(block, static_cast<unsigned>(block.size()));
    }
}

void ReadSamplesBlocks(benchmark::State& state) {
    const int bits = static_cast<int>(state.range(0));
    TempFile file;
    MakeInput(file.path, bits);
    WaveFile_type in;
    in.OpenRead(file.path);
    std::vector<std::int32_t> block(BlockSamples(bits));
    std::int64_t bytes = 0;
    for (auto _ : state) {
        const unsigned n = in.ReadSamples(block, static_cast<unsigned>(block.size()));
        benchmark::DoNotOptimize(block.data());
        bytes += static_cast<std::int64_t>(n) * (bits / 8);
        if (n < block.size()) {
            in.Close();
            in.OpenRead(file.path);
        }
    }
    state.SetBytesProcessed(bytes);
}

void WriteSamplesBlocks(benchmark::State& state) {
    const int bits = static_cast<int>(state.range(0));
    TempFile file;
    const auto block = TestSignal(BlockSamples(bits), bits);
    const std::uint64_t block_bytes = block.size() * static_cast<unsigned>(bits / 8);
    WaveFile_type out;
    out.OpenWrite(file.path, kChannels, 44100, bits);
    std::int64_t bytes = 0;
    for (auto _ : state) {
        if (out.DataSize() + block_bytes > (64u << 20)) {
            out.Close();
            out.OpenWrite(file.path, kChannels, 44100, bits);
        }
        out.WriteSamples(block, static_cast<unsigned>(block.size()));
        bytes += static_cast<std::int64_t>(block_bytes);
    }
    state.SetBytesProcessed(bytes);
}

// The byte conversions alone, in memory.
void DecodeBlock(benchmark::State& state) {
    const auto width = static_cast<unsigned>(state.range(0) / 8);
    const std::size_t count = BlockSamples(static_cast<int>(state.range(0)));
    std::vector<unsigned char> bytes(count * width, 0x5A);
    std::vector<std::int32_t> values(count);
    for (auto _ : state) {
        audio::riffwave::DecodeSamples(bytes.data(), count, width, values.data());
        benchmark::DoNotOptimize(values.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}

void EncodeBlock(benchmark::State& state) {
    const auto width = static_cast<unsigned>(state.range(0) / 8);
    const std::size_t count = BlockSamples(static_cast<int>(state.range(0)));
    const auto values = TestSignal(count, static_cast<int>(state.range(0)));
    std::vector<unsigned char> bytes(count * width);
    for (auto _ : state) {
        audio::riffwave::EncodeSamples(values.data(), count, width, bytes.data());
        benchmark::DoNotOptimize(bytes.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}

// For comparison: one stream read per sample, as a plain reader would do.
void ReadPerSampleStream(benchmark::State& state) {
    const int bits = static_cast<int>(state.range(0));
    const int width = bits / 8;
    TempFile file;
    MakeInput(file.path, bits);
    std::ifstream in(file.path.string(), std::ios::binary);
    in.seekg(46);
    std::vector<std::int32_t> block(BlockSamples(bits));
    std::int64_t bytes = 0;
    for (auto _ : state) {
        std::size_t n = 0;
        for (; n < block.size(); ++n) {
            unsigned char b[4] = {0, 0, 0, 0};
            in.read(reinterpret_cast<char*>(b), width);
            if (in.gcount() != width) {
                break;
            }
            std::uint32_t word = 0;
            for (int k = 0; k < width; ++k) {
                word |= static_cast<std::uint32_t>(b[k]) << (8 * (4 - width + k));
            }
            block[n] = static_cast<std::int32_t>(word) >> (32 - 8 * width);
        }
        benchmark::DoNotOptimize(block.data());
        bytes += static_cast<std::int64_t>(n) * width;
        if (n < block.size()) {
            in.clear();
            in.seekg(46);
        }
    }
    state.SetBytesProcessed(bytes);
}

} // namespace

BENCHMARK(ReadSamplesBlocks)->Arg(16)->Arg(24);
BENCHMARK(WriteSamplesBlocks)->Arg(16)->Arg(24);
BENCHMARK(DecodeBlock)->Arg(16)->Arg(24);
BENCHMARK(EncodeBlock)->Arg(16)->Arg(24);
BENCHMARK(ReadPerSampleStream)->Arg(16)->Arg(24);
