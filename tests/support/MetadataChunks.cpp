#include "support/MetadataChunks.hpp"

#include <algorithm>

namespace testsupport {

Bytes BextBody(std::uint64_t time_reference, std::size_t size) {
    Bytes body = WaveBytes().Text("Scene 4, take 2").Raw(Bytes(323, 0)).U64(time_reference).Get();
    body.resize(std::max<std::size_t>(size, 602), 0);
    body[346] = 1; // version
    body.resize(size);
    return body;
}

std::uint64_t TimeReference(const Bytes& bext) {
    return Get32(bext, 338) | std::uint64_t{Get32(bext, 342)} << 32;
}

Bytes CueBody(const std::vector<CuePoint>& points) {
    WaveBytes body;
    body.U32(static_cast<std::uint32_t>(points.size()));
    for (const CuePoint& p : points) {
        body.U32(p[0]).U32(p[1]).Text("data").U32(0).U32(0).U32(p[2]);
    }
    return body.Get();
}

std::vector<CuePoint> CuePoints(const Bytes& cue) {
    std::vector<CuePoint> points;
    for (std::size_t at = 4; at + 24 <= cue.size(); at += 24) {
        points.push_back({Get32(cue, at), Get32(cue, at + 4), Get32(cue, at + 20)});
    }
    return points;
}

Bytes SmplBody(std::uint32_t sample_period, const std::vector<Loop>& loops) {
    WaveBytes body;
    body.U32(0).U32(0).U32(sample_period).U32(60).U32(0).U32(0).U32(0);
    body.U32(static_cast<std::uint32_t>(loops.size())).U32(0);
    for (const Loop& loop : loops) {
        body.U32(0).U32(0).U32(loop[0]).U32(loop[1]).U32(0).U32(0);
    }
    return body.Get();
}

std::vector<Loop> Loops(const Bytes& smpl) {
    std::vector<Loop> loops;
    for (std::size_t at = 36; at + 24 <= smpl.size(); at += 24) {
        loops.push_back({Get32(smpl, at + 8), Get32(smpl, at + 12)});
    }
    return loops;
}

std::uint32_t SamplePeriod(const Bytes& smpl) {
    return Get32(smpl, 8);
}

Bytes InfoList(const std::string& title) {
    return WaveBytes().Text("INFO").Chunk("INAM", TextBytes(title + '\0')).Get();
}

Bytes AdtlList(const std::vector<std::uint32_t>& lengths) {
    WaveBytes list;
    list.Text("adtl").Chunk("labl", WaveBytes().U32(1).Text("Verse").Raw({0}).Get());
    std::uint32_t id = 1;
    for (const std::uint32_t length : lengths) {
        list.Chunk("ltxt",
                   WaveBytes().U32(id++).U32(length).Text("rgn ").U32(0).U32(0).Text("x").Get());
    }
    return list.Get();
}

} // namespace testsupport
