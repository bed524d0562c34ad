#include "support/TestWav.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace testsupport {

std::string U16(unsigned value) {
    return {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF)};
}

std::string U32(std::uint32_t value) {
    return U16(value & 0xFFFF) + U16(value >> 16);
}

std::string Chunk(const std::string& id, const std::string& body) {
    std::string chunk = id + U32(static_cast<std::uint32_t>(body.size())) + body;
    if (body.size() % 2 == 1) {
        chunk += '\0';
    }
    return chunk;
}

std::string MakeWav(const WavLayout& layout, const std::vector<std::int32_t>& samples) {
    const int width = layout.bits / 8;
    std::string data;
    for (std::int32_t value : samples) {
        const std::uint32_t word = width == 1 ? static_cast<std::uint32_t>(value + 128)
                                              : static_cast<std::uint32_t>(value);
        for (int b = 0; b < width; ++b) {
            data += static_cast<char>((word >> (8 * b)) & 0xFF);
        }
    }
    const unsigned align = static_cast<unsigned>(layout.channels * width);
    std::string fmt = U16(static_cast<unsigned>(layout.format_tag)) +
                      U16(static_cast<unsigned>(layout.channels)) + U32(layout.rate) +
                      U32(layout.rate * align) + U16(align) +
                      U16(static_cast<unsigned>(layout.bits));
    if (layout.format_tag == 65534) {
        // cbSize 22, valid bits, channel mask, then the sub-format GUID.
        fmt += U16(22) + U16(static_cast<unsigned>(layout.bits)) + U32(0) +
               U16(static_cast<unsigned>(layout.sub_format)) +
               std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    }
    const std::uint32_t data_size = layout.data_size_override >= 0
                                        ? static_cast<std::uint32_t>(layout.data_size_override)
                                        : static_cast<std::uint32_t>(data.size());
    std::string body =
        "WAVE" + Chunk("fmt ", fmt) + layout.chunks_before_data + "data" + U32(data_size) + data;
    if (!layout.chunks_after_data.empty()) {
        if (data.size() % 2 == 1) {
            body += '\0';
        }
        body += layout.chunks_after_data;
    }
    return "RIFF" + U32(static_cast<std::uint32_t>(body.size())) + body;
}

namespace {
std::uint32_t Get32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int b = 3; b >= 0; --b) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(b)]);
    }
    return value;
}
unsigned Get16(const std::string& bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]) |
           (static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 1])) << 8);
}
} // namespace

ParsedWav ParseWav(const std::string& bytes) {
    ParsedWav wav;
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) {
        return wav;
    }
    wav.riff_size = Get32(bytes, 4);
    std::size_t at = 12;
    bool have_fmt = false;
    while (at + 8 <= bytes.size()) {
        const std::string id = bytes.substr(at, 4);
        const std::uint32_t size = Get32(bytes, at + 4);
        const std::size_t body = at + 8;
        if (id == "fmt " && body + 16 <= bytes.size()) {
            wav.format_tag = static_cast<int>(Get16(bytes, body));
            wav.channels = static_cast<int>(Get16(bytes, body + 2));
            wav.rate = Get32(bytes, body + 4);
            wav.byte_rate = Get32(bytes, body + 8);
            wav.block_align = static_cast<int>(Get16(bytes, body + 12));
            wav.bits = static_cast<int>(Get16(bytes, body + 14));
            have_fmt = true;
        } else if (id == "data") {
            wav.data_size = size;
            const int width = wav.bits / 8;
            const std::size_t end = std::min<std::size_t>(bytes.size(), body + size);
            for (std::size_t p = body; width > 0 && p + static_cast<std::size_t>(width) <= end;
                 p += static_cast<std::size_t>(width)) {
                std::uint32_t word = 0;
                for (int b = width - 1; b >= 0; --b) {
                    word = (word << 8) |
                           static_cast<unsigned char>(bytes[p + static_cast<std::size_t>(b)]);
                }
                std::int64_t value = word;
                if (width == 1) {
                    value -= 128;
                } else if (word >= (std::uint64_t{1} << (8 * width - 1))) {
                    value -= static_cast<std::int64_t>(std::uint64_t{1} << (8 * width));
                }
                wav.samples.push_back(static_cast<std::int32_t>(value));
            }
            wav.ok = have_fmt;
            return wav;
        }
        at = body + size + (size & 1U);
    }
    return wav;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

ScratchFolder::ScratchFolder() {
    char pattern[] = "/tmp/marrowvale_scratch_XXXXXX";
    const char* made = ::mkdtemp(pattern);
    path = made != nullptr ? made : "/tmp";
}

ScratchFolder::~ScratchFolder() {
    if (path.rfind("/tmp/marrowvale_scratch_", 0) == 0) {
        const std::string command = "rm -rf '" + path + "'";
        if (std::system(command.c_str()) != 0) {
            std::perror("rm");
        }
    }
}

std::vector<std::string> ScratchFolder::List(const std::string& sub) const {
    std::vector<std::string> names;
    const std::string folder = sub.empty() ? path : path + "/" + sub;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::int32_t> NoiseSamples(std::size_t count, int bits, std::uint32_t seed) {
    std::vector<std::int32_t> samples(count);
    std::uint64_t state = seed * 0x9E3779B97F4A7C15ULL + 1;
    const std::int64_t span = std::int64_t{1} << bits;
    for (std::size_t i = 0; i < count; ++i) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        const std::int64_t value =
            static_cast<std::int64_t>((state >> 20) % static_cast<std::uint64_t>(span)) - span / 2;
        samples[i] = static_cast<std::int32_t>(value);
    }
    // Both rails and zero appear in every set.
    if (count >= 3) {
        samples[0] = static_cast<std::int32_t>(-span / 2);
        samples[1] = static_cast<std::int32_t>(span / 2 - 1);
        samples[2] = 0;
    }
    return samples;
}

} // namespace testsupport
