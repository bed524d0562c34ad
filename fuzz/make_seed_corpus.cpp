// Writes a seed corpus for the fuzz targets: valid files of every width with
// 1 to 8 channels, extensible headers, odd and trailing chunks, cut files,
// RF64 files with and without ds64 tables, metadata chunks that count frames,
// float headers, and headers that do not add up.
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

std::string U64(std::uint64_t v) {
    return U32(static_cast<std::uint32_t>(v & 0xFFFFFFFFu)) +
           U32(static_cast<std::uint32_t>(v >> 32));
}

// The same file in the 64-bit form: ds64 first, 0xFFFFFFFF in the sizes.
std::string Rf64(const std::string& riff, const std::string& head = "RF64") {
    const std::size_t data_at = riff.find("data");
    const std::uint64_t data_size = riff.compare(data_at + 4, 4, "\0\0\0\0") == 0
                                        ? 0
                                        : static_cast<unsigned char>(riff[data_at + 4]) |
                                              static_cast<unsigned char>(riff[data_at + 5]) << 8 |
                                              static_cast<unsigned char>(riff[data_at + 6]) << 16;
    std::string rest = riff.substr(12);
    rest.replace(data_at - 12 + 4, 4, U32(0xFFFFFFFFu));
    const std::string ds64 =
        Chunk("ds64", U64(riff.size() + 36 - 8) + U64(data_size) + U64(data_size / 4) + U32(0));
    return head + U32(0xFFFFFFFFu) + "WAVE" + ds64 + rest;
}

std::string Bext(std::uint64_t time_reference) {
    return Chunk("bext",
                 std::string(338, 'd') + U64(time_reference) + U16(1) + std::string(254, '\0'));
}

std::string Cue() {
    return Chunk("cue ", U32(2) + U32(1) + U32(10) + "data" + U32(0) + U32(0) + U32(10) + U32(2) +
                             U32(25) + "data" + U32(0) + U32(0) + U32(25));
}

std::string Smpl() {
    return Chunk("smpl", U32(0) + U32(0) + U32(22676) + U32(60) + U32(0) + U32(0) + U32(0) +
                             U32(1) + U32(0) + U32(0) + U32(0) + U32(5) + U32(30) + U32(0) +
                             U32(0));
}

std::string Lists() {
    return Chunk("LIST", "INFO" + Chunk("INAM", "Title")) +
           Chunk("LIST", "adtl" + Chunk("labl", U32(1) + "in") +
                             Chunk("ltxt", U32(2) + U32(15) + "rgn " + U32(0) + U32(0) + "t"));
}

// An RF64 file whose ds64 table sizes the chunk `id` before the data, whose
// 32-bit size field holds 0xFFFFFFFF; `table_size` is what the table says.
std::string Rf64Table(const std::string& plain, const std::string& id, const std::string& body,
                      std::uint64_t table_size, std::uint32_t entries = 1) {
    std::string rf64 = Rf64(plain);
    const std::size_t fmt_at = rf64.find("fmt ");
    std::string ds64 = rf64.substr(20, 24) + U32(entries) + id + U64(table_size);
    rf64.replace(12, 36, Chunk("ds64", ds64));
    const std::size_t data_at = rf64.find("data", fmt_at);
    rf64.insert(data_at, id + U32(0xFFFFFFFFu) + body + (body.size() % 2 ? "\0" : ""));
    return rf64;
}

// A float header: tag 3 with a fact chunk, or the extensible form naming float.
std::string Float(int channels, int bits, unsigned frames, bool extensible) {
    std::string wave = Wave(extensible ? 65534 : 3, channels, 48000, bits, frames);
    if (extensible) {
        wave.replace(wave.find("fmt ") + 8 + 24, 2, U16(3));
    } else {
        wave.insert(wave.find("data"), Chunk("fact", U32(frames)));
    }
    return wave;
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
    // Metadata before and after the data, and chunks that are dropped.
    const std::string metadata = Wave(1, 2, 48000, 16, 40, Bext(172800000) + Chunk("iXML", "<x/>"),
                                      Lists() + Cue() + Smpl() + Chunk("PEAK", std::string(24, 1)));
    seeds.push_back(metadata);
    // An odd data body with chunks after it, with and without the pad byte.
    const std::string odd = Wave(1, 1, 8000, 8, 41, "", Cue() + Chunk("iXML", "odd"));
    seeds.push_back(odd);
    std::string unpadded = odd;
    unpadded.erase(odd.find("cue ") - 1, 1);
    seeds.push_back(unpadded);
    // RF64 and BW64 forms, with metadata too.
    seeds.push_back(Rf64(Wave(1, 2, 44100, 16, 30)));
    seeds.push_back(Rf64(Wave(3, 1, 48000, 32, 12), "BW64"));
    seeds.push_back(Rf64(metadata));
    // Six extensible channels of 24 bits in 32 with a mask; 24 bits in 4-byte
    // slots; 20 bits in 3 bytes.
    std::string ext = Wave(65534, 6, 48000, 32, 8);
    ext.replace(ext.find("fmt ") + 8 + 18, 6, U16(24) + U32(0x60F));
    seeds.push_back(ext);
    std::string slots = Wave(1, 2, 44100, 24, 10);
    slots.replace(slots.find("fmt ") + 8 + 8, 6, U32(44100 * 8) + U16(8));
    seeds.push_back(slots);
    std::string twenty = Wave(1, 1, 44100, 24, 10);
    twenty.replace(twenty.find("fmt ") + 8 + 14, 2, U16(20));
    seeds.push_back(twenty);

    // RF64 with ds64 tables: a chunk sized by the table, every rescaled
    // chunk after it, and sizes that must be refused: one that wraps the
    // position (2^64 - 8), one that would step back, 2^63, and a table that
    // claims 2^32 - 1 entries.
    const std::string tabled = Rf64Table(metadata, "iXML", "<xml/>", 6);
    seeds.push_back(tabled);
    seeds.push_back(Rf64Table(Wave(1, 1, 44100, 24, 11), "bext", std::string(602, 'b'), 602));
    for (const std::uint64_t size :
         {~std::uint64_t{7}, ~std::uint64_t{15}, std::uint64_t{1} << 63}) {
        seeds.push_back(Rf64Table(metadata, "junk", "", size));
    }
    seeds.push_back(Rf64Table(metadata, "iXML", "<xml/>", 6, 0xFFFFFFFFu));
    // Float headers of both forms, 32 and 64 bits.
    seeds.push_back(Float(2, 32, 16, false));
    seeds.push_back(Float(1, 64, 9, false));
    seeds.push_back(Float(2, 32, 12, true));
    seeds.push_back(Rf64(Float(1, 32, 10, false)));

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
