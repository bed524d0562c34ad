#pragma once

// Bodies of the metadata chunks that count sample frames, built and read
// field by field from their published layouts, independently of the
// project's own rescaling.

#include "support/WaveBytes.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// A "bext" body of `size` bytes (602: version 1 without coding history) with a
// description and the 64-bit time reference at byte 338, where they fit.
Bytes BextBody(std::uint64_t time_reference, std::size_t size = 602);
std::uint64_t TimeReference(const Bytes& bext);

// "cue " body: the count, then 24 bytes a point: id, position, "data", chunk
// and block starts 0, sample offset. Points are {id, position, offset}.
using CuePoint = std::vector<std::uint32_t>;
Bytes CueBody(const std::vector<CuePoint>& points);
std::vector<CuePoint> CuePoints(const Bytes& cue);

// "smpl" body: 36 bytes of header (sample period at byte 8, loop count at
// 28), then 24 bytes a loop, given as {start, last frame}.
using Loop = std::vector<std::uint32_t>;
Bytes SmplBody(std::uint32_t sample_period, const std::vector<Loop>& loops);
std::vector<Loop> Loops(const Bytes& smpl);
std::uint32_t SamplePeriod(const Bytes& smpl);

// A "LIST" body of type "INFO" with a title, or of type "adtl" with a label
// and one "ltxt" a length (cue ids from 1).
Bytes InfoList(const std::string& title);
Bytes AdtlList(const std::vector<std::uint32_t>& lengths);

} // namespace testsupport
