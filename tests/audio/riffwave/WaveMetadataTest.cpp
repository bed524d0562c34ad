// Which chunks a conversion carries, and how their frame counts follow the
// rate; expected counts are worked out from the rates by hand.

#include "audio/riffwave/WaveMetadata.hpp"

#include "support/MetadataChunks.hpp"

#include <gtest/gtest.h>

using audio::riffwave::FrameScale;
using audio::riffwave::RescaleChunk;
using namespace testsupport;

TEST(WaveChunks, CarriedAreAllButSampleDescriptionsAndPadding) {
    for (const char* id : {"bext", "iXML", "LIST", "cue ", "smpl", "cart", "list", "Fmt "}) {
        EXPECT_TRUE(audio::riffwave::IsCarried(id)) << id;
    }
    for (const char* id :
         {"fmt ", "data", "fact", "ds64", "PEAK", "levl", "JUNK", "junk", "PAD ", "FLLR"}) {
        EXPECT_FALSE(audio::riffwave::IsCarried(id)) << id;
    }
}

TEST(FrameScale, NearestFrameHalvesUpSaturatingAndSpansKeepTheirLength) {
    const FrameScale down(48000, 44100);
    EXPECT_EQ(down.Frames(172800000), 158760000u); // one hour either way
    EXPECT_EQ(FrameScale(44100, 48000).Frames(158760000), 172800000u);
    EXPECT_EQ(down.Frames32(12345), 11342u);   // 11341.97
    EXPECT_EQ(down.Frames32(777), 714u);       // 713.87
    EXPECT_EQ(FrameScale(2, 1).Frames(3), 2u); // 1.5 goes up
    EXPECT_EQ(FrameScale(3, 1).Frames(1), 0u);
    EXPECT_EQ(FrameScale(1, 768000).Frames(~std::uint64_t{0} / 2), ~std::uint64_t{0});
    EXPECT_EQ(FrameScale(44100, 48000).Frames32(0xFFFFFFFFu), 0xFFFFFFFFu);
    EXPECT_EQ(down.Frames32(0xFFFFFFFFu), 3946001202u); // 3946001202.28, no overflow
    // A loop's last frame is the one before its scaled end: a second at
    // 44.1 kHz is 96000 frames at 96 kHz, where scaling the last frame itself
    // would give 96001. A loop shorter than an output frame keeps one.
    EXPECT_EQ(FrameScale(44100, 96000).LastFrame32(0, 44099), 95999u);
    EXPECT_EQ(down.LastFrame32(24000, 71999), 66149u);
    EXPECT_EQ(FrameScale(48000, 8000).LastFrame32(10, 10), 2u);
    // Periods in ns scale the other way; the input rate's own becomes the
    // output rate's (1e9 / 44100 = 22675.7); equal rates change nothing.
    EXPECT_EQ(down.Period32(20833), 22676u);
    EXPECT_EQ(down.Period32(20834), 22676u);
    EXPECT_EQ(down.Period32(1000), 1088u); // 1088.4
    EXPECT_EQ(down.Period32(0), 0u);
    EXPECT_EQ(FrameScale(44100, 44100).Period32(22675), 22675u);
}

TEST(RescaleChunk, FrameCountsChangeAndNothingElse) {
    const FrameScale scale(48000, 44100);
    auto rescaled = [&](const char* id, Bytes body) {
        RescaleChunk(id, body, scale);
        return body;
    };
    EXPECT_EQ(rescaled("bext", BextBody(172800000)), BextBody(158760000));
    EXPECT_EQ(rescaled("bext", BextBody(172800000, 700)), BextBody(158760000, 700));
    EXPECT_EQ(rescaled("cue ", CueBody({{1, 48000, 48000}, {2, 72000, 12345}})),
              CueBody({{1, 44100, 44100}, {2, 66150, 11342}}));
    EXPECT_EQ(rescaled("smpl", SmplBody(20833, {{24000, 71999}, {0, 47999}})),
              SmplBody(22676, {{22050, 66149}, {0, 44099}}));
    EXPECT_EQ(rescaled("LIST", AdtlList({48000, 777})), AdtlList({44100, 714}));
    // Text lists, other chunks and bodies too short for their fields keep
    // every byte; counts beyond the records present change only those present.
    const Bytes info = WaveBytes().Text("INFO").Chunk("ltxt", Bytes(20, 0x30)).Get();
    EXPECT_EQ(rescaled("LIST", info), info);
    const Bytes xml = TextBytes("<TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>172800000<");
    EXPECT_EQ(rescaled("iXML", xml), xml);
    for (const std::size_t size : {0u, 338u, 345u}) {
        EXPECT_EQ(rescaled("bext", BextBody(172800000, size)), BextBody(172800000, size));
    }
    EXPECT_EQ(rescaled("smpl", Bytes(35, 0x11)), Bytes(35, 0x11));
    Bytes overclaimed = CueBody({{7, 48000, 48000}});
    overclaimed[0] = 5;
    overclaimed.push_back(0xCC);
    Bytes expected = CueBody({{7, 44100, 44100}});
    expected[0] = 5;
    expected.push_back(0xCC);
    EXPECT_EQ(rescaled("cue ", overclaimed), expected);
    // An adtl sub-chunk claiming more than the list holds ends the walk.
    const Bytes tail = {'l', 't', 'x', 't', 0xFF, 0, 0, 0, 1, 0, 0, 0, 0x80, 0xBB, 0, 0};
    Bytes cut = AdtlList({48000});
    cut.insert(cut.end(), tail.begin(), tail.end());
    expected = AdtlList({44100});
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(rescaled("LIST", cut), expected);
    // At an equal rate every chunk is its own copy.
    for (const auto& [id, body] :
         std::vector<std::pair<const char*, Bytes>>{{"bext", BextBody(123)},
                                                    {"cue ", CueBody({{1, 5, 7}})},
                                                    {"smpl", SmplBody(10417, {{3, 9}})},
                                                    {"LIST", AdtlList({99})}}) {
        Bytes copy = body;
        RescaleChunk(id, copy, FrameScale(96000, 96000));
        EXPECT_EQ(copy, body) << id;
    }
}
