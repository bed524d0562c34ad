#pragma once

#include "audio/riffwave/ChunkWalker.hpp"
#include "audio/riffwave/WaveHeader.hpp"

#include <cstdint>
#include <functional>
#include <iosfwd>

namespace audio::riffwave {

// Reads the header of a RIFF WAVE file, RF64 included, into a header record
// through one bounded walk of its chunks.
class WaveReader {
public:
    WaveReader(std::istream& stream, WaveHeader& read) : in(stream), header(read) {}

    // Reads from the start of the stream and leaves it at the first sample
    // byte (at the end when there is no data chunk). False when the stream
    // holds no RIFF WAVE file; true when it has a format chunk, and also when
    // its chunks break the rules of the form, which `problem` then says. Once
    // `stop` answers true the header is left with a reason.
    bool Read(const std::function<bool()>& stop);

private:
    void ReadFormatBody(std::uint64_t size);
    void ListChunksAfterData(const std::function<bool()>& stop);
    void NormaliseWidth();

    std::istream& in;
    WaveHeader& header;
    bool ds64_seen = false;
    Ds64Sizes ds64;
};

} // namespace audio::riffwave
