// Writes a seed corpus for the fuzz targets: valid files of every width with
// 1 to 8 channels, extensible headers, odd and trailing chunks, cut files.
// Conversion seeds carry four setting bytes before the file.
//
// Usage: make_seed_corpus WAVE_FOLDER CONVERSION_FOLDER

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::string U16(unsigned v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}
std::string U32(std::uint32_t v) {
    return U16(v & 0xFFFF) + U16(v >> 16);
}
std::string Chunk(const std::string& id, const std::string& body) {
    return id + U32(static_cast<std::uint32_t>(body.size())) + body +
           (body.size() % 2 ? std::string(1, '\0') : "");
}

std::string Wave(int tag, int channels, std::uint32_t rate, int bits, unsigned frames,
                 const std::string& before = "", const std::string& after = "") {
    const unsigned align = static_cast<unsigned>(channels * bits / 8);
    std::string fmt = U16(static_cast<unsigned>(tag)) + U16(static_cast<unsigned>(channels)) +
                      U32(rate) + U32(rate * align) + U16(align) + U16(static_cast<unsigned>(bits));
    if (tag == 65534) {
        fmt += U16(22) + U16(static_cast<unsigned>(bits)) + U32(3) + U16(1) +
               std::string("\0\0\0\0\x10\0\x80\0\0\xAA\0\x38\x9B\x71", 14);
    }
    std::string data;
    for (unsigned i = 0; i < frames * align; ++i) {
        data += static_cast<char>((i * 37 + 11) & 0xFF);
    }
    const std::string body = "WAVE" + Chunk("fmt ", fmt) + before + Chunk("data", data) + after;
    return "RIFF" + U32(static_cast<std::uint32_t>(body.size())) + body;
}

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        return 2;
    }
    std::vector<std::string> seeds;
    for (int bits : {8, 16, 24, 32}) {
        for (int channels = 1; channels <= 8; ++channels) {
            seeds.push_back(Wave(1, channels, 44100, bits, 37));
        }
        seeds.push_back(Wave(65534, 2, 48000, bits, 20));
    }
    seeds.push_back(Wave(1, 2, 44100, 16, 50, Chunk("LIST", "odd"), Chunk("LIST", "trailing")));
    seeds.push_back(Wave(1, 1, 22050, 12, 10));
    seeds.push_back(Wave(3, 1, 44100, 32, 10));
    seeds.push_back(Wave(1, 0, 44100, 16, 0));
    seeds.push_back(Wave(1, 1, 0, 16, 10));
    const std::string whole = Wave(1, 2, 96000, 24, 40);
    seeds.push_back(whole.substr(0, 30));
    seeds.push_back(whole.substr(0, whole.size() - 5));

    const char settings[][4] = {{7, 16, 0, 0}, {9, 24, 4, 3},  {11, 16, 7, 1}, {1, 0, 2, 2},
                                {3, 8, 5, 3},  {14, 32, 1, 0}, {12, 20, 8, 2}, {0, 16, 4, 3}};
    for (std::size_t i = 0; i < seeds.size(); ++i) {
        Write(std::string(argv[1]) + "/seed" + std::to_string(i) + ".wav", seeds[i]);
        const char* s = settings[i % 8];
        Write(std::string(argv[2]) + "/seed" + std::to_string(i), std::string(s, 4) + seeds[i]);
    }
    return 0;
}
