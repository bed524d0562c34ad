#pragma once

// RIFF WAVE files built and read by the tests themselves, field by field and
// independently of the project's reader and writer, so that each side can be
// checked against the other. The builder makes odd files as readily as plain
// ones: extensible and float tags, chunks before and after the data, sizes
// that disagree with the bytes present.

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;
using Samples = std::vector<std::int32_t>;

Bytes TextBytes(const std::string& text);
// The little-endian 32-bit field at `at`.
std::uint32_t Get32(const Bytes& bytes, std::size_t at);

// Appends little-endian fields and whole chunks.
class WaveBytes {
public:
    WaveBytes& Text(const std::string& text);
    WaveBytes& U16(std::uint32_t value);
    WaveBytes& U32(std::uint32_t value);
    WaveBytes& U64(std::uint64_t value);
    WaveBytes& Raw(const Bytes& more);
    // A chunk with its true size and, for an odd size, the pad byte.
    WaveBytes& Chunk(const std::string& id, const Bytes& body);
    // The "RIFF" head with a RIFF size that callers may leave wrong on purpose.
    WaveBytes& Head(std::uint32_t riff_size = 0, const std::string& form = "WAVE");
    const Bytes& Get() const { return bytes; }
    std::size_t Size() const { return bytes.size(); }

private:
    Bytes bytes;
};

// Stored samples: `width` bytes each, little-endian; 1-byte samples are
// unsigned around 128, wider ones two's complement. Encoding keeps the low
// 8 * width bits of each value; decoding drops a trailing partial sample.
// Widths other than 1 to 4 bytes give nothing.
Bytes EncodeSamples(const Samples& values, unsigned width);
Samples DecodeSamples(const Bytes& bytes, unsigned width);

// The 16-byte PCM "fmt " body.
Bytes PcmFormat(std::uint32_t channels, std::uint32_t rate, std::uint32_t bits,
                std::uint32_t tag = 1);
// The 40-byte extensible (tag 65534) "fmt " body: extra size 22, valid bits
// (0: `bits`), channel mask and the sub-format GUID, whose first two bytes
// carry the sub-format tag (1 integer PCM, 3 float).
Bytes ExtensibleFormat(std::uint32_t channels, std::uint32_t rate, std::uint32_t bits,
                       std::uint32_t sub_format, std::uint32_t channel_mask = 0,
                       std::uint32_t valid_bits = 0);
// A plain file: head, 16-byte "fmt ", "data" holding the given bytes.
Bytes SimpleWave(std::uint32_t channels, std::uint32_t rate, std::uint32_t bits, const Bytes& data);

// A whole file from samples, with the unusual parts a test may ask for.
struct WavLayout {
    int channels = 2;
    std::uint32_t rate = 44100;
    int bits = 16; // also the container: bits / 8 bytes a sample
    int format_tag = 1;
    int sub_format = 1;                // used when format_tag is 65534
    Bytes chunks_before_data;          // whole chunks between "fmt " and "data"
    Bytes chunks_after_data;           // whole chunks after the data body
    long long data_size_override = -1; // claim another data size than the samples give
    std::uint32_t channel_mask = 0;    // extensible only
    int valid_bits = 0;                // extensible only; 0: bits
    int block_align_override = -1;     // claim another block_align than channels * bits / 8
    // "RF64" head with 0xFFFFFFFF in the RIFF and data sizes, and the true ones
    // (the data size override included) in a "ds64" chunk first.
    bool rf64 = false;
};

// Plain PCM of the given shape, everything else as WavLayout has it.
inline WavLayout PcmLayout(int channels, std::uint32_t rate, int bits) {
    WavLayout layout;
    layout.channels = channels;
    layout.rate = rate;
    layout.bits = bits;
    return layout;
}
Bytes MakeWav(const WavLayout& layout, const Samples& samples);

struct ParsedWav {
    bool ok = false; // a "fmt " and then a "data" chunk were found
    int format_tag = 0;
    int channels = 0;
    std::uint32_t rate = 0;
    std::uint32_t byte_rate = 0;
    int block_align = 0;
    int bits = 0;
    std::uint32_t riff_size = 0;
    std::uint32_t data_size = 0;
    Samples samples; // the whole samples of the data body present in the file
    // The extensible form's fields; 0 for other tags.
    int valid_bits = 0;
    std::uint32_t channel_mask = 0;
    int sub_format = 0;
    // RF64 files: the "ds64" sizes, from which the data body is taken when
    // the data chunk gives 0xFFFFFFFF.
    bool rf64 = false;
    std::uint64_t ds64_riff_size = 0;
    std::uint64_t ds64_data_size = 0;
    std::uint64_t ds64_sample_count = 0;
};
ParsedWav ParseWav(const Bytes& bytes);

// Interleaved frames from per-channel samples (all of one length), and one
// channel (from 0) back out of them.
Samples Interleave(const std::vector<Samples>& channels);
Samples ChannelOf(const Samples& frames, std::size_t channels, std::size_t c);
// x[from .. from+count-1].
Samples Slice(const Samples& x, std::size_t from, std::size_t count);

} // namespace testsupport
