#pragma once

#include "audio/riffwave/ChunkList.hpp"
#include "audio/riffwave/WaveHeader.hpp"

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>

namespace audio::riffwave {

// Writes a RIFF or RF64 file around the sample bytes it is given: the header
// record's format and form, other chunks before the data chunk and after the
// data body, and the pad byte of an odd data body. The record's sizes follow
// what was written.
class WaveWriter {
public:
    // Largest plain RIFF file: 4 GiB, so that neither the RIFF size nor the
    // data size can wrap.
    static constexpr std::uint64_t kPlainFileLimit = std::uint64_t{1} << 32;

    // Writes the provisional header and the chunks before the data at once.
    WaveWriter(std::ostream& out, WaveHeader& header, std::shared_ptr<const ChunkBlocks> chunks);

    // Appends sample bytes. False, writing nothing, when they would take a
    // plain RIFF file past kPlainFileLimit; false too when the write fails.
    bool Append(const unsigned char* bytes, std::size_t count);
    // Writes the pad byte, the chunks after the data and the final header,
    // even after a failed write, so that the file at least describes the
    // bytes that did reach it. False when a write fails.
    bool Finish();

private:
    // Returns the bytes written.
    std::size_t WriteHeader();
    void WriteDataHeader();

    std::ostream& out;
    WaveHeader& header;
    std::shared_ptr<const ChunkBlocks> chunks;
    std::uint64_t data_header_at = 0; // where the data chunk's header stands
    std::uint64_t max_data_size = 0;  // the largest data body the file can take
};

} // namespace audio::riffwave
