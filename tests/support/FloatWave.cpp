#include "support/FloatWave.hpp"

#include <cstring>

namespace testsupport {

namespace {

// Chunks from offset 12 on: id, body offset, size. In an RF64 file a data
// size of 0xFFFFFFFF is the one in "ds64".
template <class Visit>
void WalkChunks(const Bytes& file, Visit visit) {
    std::size_t at = 12;
    std::size_t ds64_data_size = 0;
    while (at + 8 <= file.size()) {
        const std::string id(file.begin() + static_cast<std::ptrdiff_t>(at),
                             file.begin() + static_cast<std::ptrdiff_t>(at + 4));
        std::size_t size = Get32(file, at + 4);
        if (id == "ds64" && at + 20 <= file.size()) {
            ds64_data_size = Get32(file, at + 16); // sizes of a test file fit 32 bits
        } else if (id == "data" && size == 0xFFFFFFFFu) {
            size = ds64_data_size;
        }
        if (!visit(id, at + 8, size)) {
            return;
        }
        at += 8 + size + (size & 1u);
    }
}

} // namespace

Bytes EncodeFloats(const Values& values, unsigned width) {
    Bytes bytes;
    for (const double value : values) {
        std::uint64_t bits = 0;
        if (width == 4) {
            const float single = static_cast<float>(value);
            std::uint32_t word = 0;
            std::memcpy(&word, &single, 4);
            bits = word;
        } else {
            std::memcpy(&bits, &value, 8);
        }
        for (unsigned k = 0; k < width; ++k) {
            bytes.push_back(static_cast<std::uint8_t>(bits >> (8 * k)));
        }
    }
    return bytes;
}

Values DecodeFloats(const Bytes& bytes, unsigned width) {
    Values values;
    for (std::size_t at = 0; at + width <= bytes.size(); at += width) {
        std::uint64_t bits = 0;
        for (unsigned k = 0; k < width; ++k) {
            bits |= static_cast<std::uint64_t>(bytes[at + k]) << (8 * k);
        }
        if (width == 4) {
            const auto word = static_cast<std::uint32_t>(bits);
            float single = 0;
            std::memcpy(&single, &word, 4);
            values.push_back(single);
        } else {
            double value = 0;
            std::memcpy(&value, &bits, 8);
            values.push_back(value);
        }
    }
    return values;
}

Bytes MakeFloatWav(int channels, std::uint32_t rate, int bits, const Values& samples,
                   bool extensible) {
    const auto c = static_cast<std::uint32_t>(channels);
    const auto b = static_cast<std::uint32_t>(bits);
    const Bytes format = extensible ? ExtensibleFormat(c, rate, b, 3) : PcmFormat(c, rate, b, 3);
    const Bytes data = EncodeFloats(samples, b / 8);
    WaveBytes fact;
    fact.U32(static_cast<std::uint32_t>(samples.size() / c));
    WaveBytes body;
    body.Text("WAVE").Chunk("fmt ", format).Chunk("fact", fact.Get()).Chunk("data", data);
    WaveBytes file;
    file.Text("RIFF").U32(static_cast<std::uint32_t>(body.Size())).Raw(body.Get());
    return file.Get();
}

Bytes ChunkBody(const Bytes& file, const std::string& id) {
    Bytes body;
    WalkChunks(file, [&](const std::string& found, std::size_t at, std::size_t size) {
        if (found != id) {
            return true;
        }
        const std::size_t end = std::min(file.size(), at + size);
        body.assign(file.begin() + static_cast<std::ptrdiff_t>(at),
                    file.begin() + static_cast<std::ptrdiff_t>(end));
        return false;
    });
    return body;
}

std::vector<std::string> ChunkIds(const Bytes& file) {
    std::vector<std::string> ids;
    WalkChunks(file, [&](const std::string& id, std::size_t, std::size_t) {
        ids.push_back(id);
        return true;
    });
    return ids;
}

} // namespace testsupport
