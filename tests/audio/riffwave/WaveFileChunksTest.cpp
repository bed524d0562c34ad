// The other chunks of a wave file, as the reader lists them before and after
// the data body.

#include "audio/riffwave/WaveFile_type.hpp"
#include "support/ScratchFolder.hpp"

#include <gtest/gtest.h>

using audio::riffwave::WaveFile_type;
using namespace testsupport;

namespace {

// The listing of a file: id, body offset, size and place, one line each.
std::vector<std::string> Listing(const Bytes& bytes) {
    ScratchFolder dir;
    WriteFileBytes(dir / "in.wav", bytes);
    WaveFile_type wave;
    EXPECT_TRUE(wave.OpenRead(dir / "in.wav"));
    std::vector<std::string> lines;
    for (const auto& c : wave.Chunks()) {
        lines.push_back(c.id + " " + std::to_string(c.offset) + " " + std::to_string(c.size) +
                        (c.after_data ? " after" : " before"));
    }
    return lines;
}

} // namespace

TEST(WaveFileChunks, ListedBeforeAndAfterTheDataAsFarAsTheyAreChunks) {
    const Bytes fmt = WaveBytes().Chunk("fmt ", PcmFormat(1, 8000, 8)).Get();
    EXPECT_EQ(
        Listing(WaveBytes()
                    .Head(0)
                    .Chunk("JUNK", Bytes(6, 0)) // body at 20
                    .Raw(fmt)
                    .Chunk("bext", Bytes(5, 1))  // 58, then a pad byte
                    .Chunk("data", {1, 2, 3})    // 72, pad at 75
                    .Chunk("LIST", Bytes(24, 2)) // 84
                    .Get()),
        (std::vector<std::string>{"JUNK 20 6 before", "bext 58 5 before", "LIST 84 24 after"}));
    // An odd body without its pad byte, as some writers leave it.
    EXPECT_EQ(Listing(WaveBytes()
                          .Head(0)
                          .Raw(fmt)
                          .Text("data")
                          .U32(3)
                          .Raw({1, 2, 3})
                          .Chunk("iXML", {4})
                          .Get()),
              std::vector<std::string>{"iXML 55 1 after"});
    // Bytes that are no chunk end the walk; a chunk cut by the end of the file,
    // or past the end of the RIFF form, is not listed.
    const Bytes head = WaveBytes().Raw(fmt).Chunk("data", {1, 2}).Chunk("iXML", {'x', 'y'}).Get();
    const Bytes late = WaveBytes().Chunk("LIST", {'l', 'a', 't', 'e'}).Get();
    for (const Bytes& tail : {WaveBytes().Raw({0, 1, 2, 3, 4, 0, 0, 0}).Raw(late).Get(),
                              WaveBytes().Text("LIST").U32(100).Raw(Bytes(99, 1)).Get()}) {
        EXPECT_EQ(Listing(WaveBytes().Head(0).Raw(head).Raw(tail).Get()),
                  std::vector<std::string>{"iXML 54 2 after"});
    }
    EXPECT_EQ(Listing(WaveBytes()
                          .Head(4 + static_cast<std::uint32_t>(head.size()))
                          .Raw(head)
                          .Raw(late)
                          .Get()),
              std::vector<std::string>{"iXML 54 2 after"});
    // A data size past the end of the file leaves nothing after it.
    EXPECT_TRUE(Listing(WaveBytes().Head(0).Raw(fmt).Text("data").U32(99).Raw(late).Get()).empty());
}
