#pragma once

#include "audio/riffwave/ChunkList.hpp"
#include "audio/riffwave/WaveFormat_type.hpp"

#include <cstdint>
#include <string>

namespace audio::riffwave {

// What the header of a RIFF WAVE file says: as a reader found it, or as a
// writer puts it around the samples it is given.
struct WaveHeader {
    WaveFormat_type format;
    bool rf64 = false;
    std::uint64_t riff_size = 0;
    // The data body's size as the header gives it (from "ds64" in RF64).
    std::uint64_t data_size = 0;

    // Found by a reader: the file's length, where the data body starts, the
    // chunks other than "fmt " and "data", and why the header does not add up
    // (empty when it does).
    std::uint64_t file_size = 0;
    std::uint64_t data_start = 0;
    bool have_data = false;
    ChunkList chunks;
    std::string problem;
};

} // namespace audio::riffwave
