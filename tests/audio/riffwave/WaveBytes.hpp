#pragma once

// Builds RIFF WAVE file images byte by byte, independently of the code under
// test, and moves them to and from disk.

#include "audio/riffwave/TempDirectory.hpp"

#include <boost/filesystem.hpp>
#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

namespace wavetest {

using Bytes = std::vector<std::uint8_t>;

class WaveBytes {
public:
    WaveBytes& Text(const std::string& text) {
        bytes.insert(bytes.end(), text.begin(), text.end());
        return *this;
    }
    WaveBytes& U16(std::uint32_t value) {
        bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
        return *this;
    }
    WaveBytes& U32(std::uint32_t value) {
        U16(value & 0xFFFF);
        return U16(value >> 16);
    }
    WaveBytes& Raw(const Bytes& more) {
        bytes.insert(bytes.end(), more.begin(), more.end());
        return *this;
    }
    // A chunk with its true size and, for an odd size, the pad byte.
    WaveBytes& Chunk(const std::string& id, const Bytes& body) {
        Text(id).U32(static_cast<std::uint32_t>(body.size())).Raw(body);
        if (body.size() % 2 == 1) {
            bytes.push_back(0);
        }
        return *this;
    }
    // The "RIFF" head with a RIFF size that callers may leave wrong on purpose.
    WaveBytes& Head(std::uint32_t riff_size = 0, const std::string& form = "WAVE") {
        return Text("RIFF").U32(riff_size).Text(form);
    }
    const Bytes& Get() const { return bytes; }
    std::size_t Size() const { return bytes.size(); }

private:
    Bytes bytes;
};

// The 16-byte PCM "fmt " body.
inline Bytes PcmFormat(std::uint32_t channels, std::uint32_t rate, std::uint32_t bits,
                       std::uint32_t tag = 1) {
    const std::uint32_t align = channels * (bits / 8);
    WaveBytes body;
    body.U16(tag).U16(channels).U32(rate).U32(rate * align).U16(align).U16(bits);
    return body.Get();
}

// A plain file: head, 16-byte "fmt ", "data" holding the given bytes.
inline Bytes SimpleWave(std::uint32_t channels, std::uint32_t rate, std::uint32_t bits,
                        const Bytes& data) {
    WaveBytes file;
    file.Head(static_cast<std::uint32_t>(36 + data.size()))
        .Chunk("fmt ", PcmFormat(channels, rate, bits))
        .Chunk("data", data);
    return file.Get();
}

inline void WriteFile(const boost::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path.string(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline Bytes ReadFile(const boost::filesystem::path& path) {
    std::ifstream in(path.string(), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace wavetest
