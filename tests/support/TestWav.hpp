#pragma once

// Test-side RIFF WAVE bytes, built and parsed independently of the
// project's own reader and writer.

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct WavLayout {
    int channels = 2;
    std::uint32_t rate = 44100;
    int bits = 16;
    int format_tag = 1;
    int sub_format = 1;                // used when format_tag is 65534
    std::string chunks_before_data;    // raw chunk bytes placed between "fmt " and "data"
    std::string chunks_after_data;     // raw chunk bytes after the data body
    long long data_size_override = -1; // claim another data size than the samples give
};

// Little-endian helpers.
std::string U16(unsigned value);
std::string U32(std::uint32_t value);
std::string Chunk(const std::string& id, const std::string& body); // adds the pad byte

// Encodes samples (right-justified in `bits`) as a complete file.
std::string MakeWav(const WavLayout& layout, const std::vector<std::int32_t>& samples);

struct ParsedWav {
    bool ok = false;
    int format_tag = 0;
    int channels = 0;
    std::uint32_t rate = 0;
    std::uint32_t byte_rate = 0;
    int block_align = 0;
    int bits = 0;
    std::uint32_t riff_size = 0;
    std::uint32_t data_size = 0;
    std::vector<std::int32_t> samples;
};

ParsedWav ParseWav(const std::string& bytes);

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

// A fresh folder under /tmp, removed with everything in it at the end.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& Path() const { return path; }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    // Names of the entries of a sub-folder ("" for the folder itself), sorted.
    std::vector<std::string> List(const std::string& sub = "") const;

private:
    std::string path;
};

// Deterministic pseudo-random samples spanning the whole range of `bits`.
std::vector<std::int32_t> NoiseSamples(std::size_t count, int bits, std::uint32_t seed);

} // namespace testsupport
