#pragma once

#include "audio/riffwave/WaveHeader.hpp"
#include "audio/riffwave/WaveWriter.hpp"

#include <boost/filesystem/fstream.hpp>
#include <boost/filesystem/path.hpp>
#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace audio::riffwave {

// One RIFF WAVE file of PCM samples, opened either for reading (a WaveReader
// parses the header and leaves the stream at the first sample byte) or for
// writing (a WaveWriter writes a provisional header at once and completes it
// on Close or destruction).
//
// Files past 4 GiB are RF64: the RIFF id "RF64" (or "BW64" when read), a
// "ds64" chunk with the 64-bit RIFF, data and sample counts, and 0xFFFFFFFF in
// the 32-bit size fields. A writer is told at OpenWrite which form to write,
// since a header cannot grow once samples follow it.
//
// Samples travel as signed 32-bit values right-justified in the file's sample
// width; buffers are interleaved frames unless a channel is named. Channels
// count from 1.
//
// Failures are answered by results, never thrown: OpenRead/OpenWrite give a
// bool, and Failed() tells whether anything written may be missing from the
// file.
class WaveFile_type {
public:
    // The header this object writes for integer PCM: RIFF, "fmt " with an
    // 18-byte body, "data". IEEE float adds a 12-byte "fact" chunk.
    static constexpr unsigned kHeaderSize = 46;
    // Largest plain RIFF file this object writes: 4 GiB, so that neither the
    // RIFF size nor the data size can wrap.
    static constexpr std::uint64_t kPlainFileLimit = WaveWriter::kPlainFileLimit;
    // Largest data body that keeps an integer PCM file within that limit.
    static constexpr std::uint32_t kMaxDataSize = 0xFFFFFFFFu - (kHeaderSize - 1);
    // The same for a file written in `format` without other chunks.
    static std::uint32_t MaxDataSize(const WaveFormat_type& format);
    // Bytes of the whole plain RIFF file that `format`, `chunks` (may be null)
    // and a data body of `data_bytes` make; past kPlainFileLimit it must be
    // written as RF64.
    static std::uint64_t PlainFileSize(const WaveFormat_type& format, const ChunkBlocks* chunks,
                                       std::uint64_t data_bytes);

    WaveFile_type() : stream(new boost::filesystem::fstream) {}
    WaveFile_type(const WaveFile_type&) = delete;
    WaveFile_type& operator=(const WaveFile_type&) = delete;
    virtual ~WaveFile_type() { Close(); }

    // Opens an existing file and reads its header. True when the header is
    // valid and the stream open, and also when its chunks break the rules of
    // the form, so that UnreadableReason() can say how; a file that is no
    // RIFF WAVE file is closed again. On an object whose stream is already
    // open nothing is read.
    bool OpenRead(const boost::filesystem::path& path);
    // Asked now and then while a header is read; once it answers true the
    // file is left unreadable with a reason, so that a header of millions of
    // chunks does not hold up a stop request.
    void PollStop(std::function<bool()> stop) { stop_check = std::move(stop); }
    // Creates (or truncates) the file and writes the provisional header. True
    // when the stream is open; on an already open object nothing happens.
    bool OpenWrite(const boost::filesystem::path& path, int channels, int sample_rate,
                   int bits_per_sample);
    // The same for integer PCM (format tag 1) or IEEE float (3) samples of the
    // format's channels, rate and width; the other fields are derived. The
    // extensible tag (65534) writes the extensible form with the format's
    // channel mask and valid bits (0 or more than the width: the width), and
    // the sub-format that IsFloat() names.
    bool OpenWrite(const boost::filesystem::path& path, const WaveFormat_type& format);
    // The same as RF64 when `rf64` is set, with `chunks` (may be null) written
    // before the data chunk at once and after the data body at Close.
    bool OpenWrite(const boost::filesystem::path& path, const WaveFormat_type& format, bool rf64,
                   std::shared_ptr<const ChunkBlocks> chunks);
    bool IsOpen() const { return stream->is_open(); }
    // Writes the final header when writing, then closes the stream. Does
    // nothing on a closed object.
    void Close();

    // Header values; they stay readable after Close.
    const boost::filesystem::path& Path() const { return path; }
    int FormatTag() const { return header.format.format_tag; }
    int Channels() const { return header.format.channels; }
    std::uint32_t SampleRate() const { return header.format.sample_rate; }
    std::uint32_t ByteRate() const { return header.format.byte_rate; }
    int BlockAlign() const { return header.format.block_align; }
    int BitsPerSample() const { return header.format.bits_per_sample; }
    int ExtraSize() const { return header.format.extra_size; }
    // First two bytes of the sub-format GUID of an extensible (65534) "fmt "
    // body: 1 for integer PCM, 3 for float. 0 for any other format tag or when
    // the body is too short to hold it.
    int SubFormat() const { return header.format.sub_format; }
    const WaveFormat_type& Format() const { return header.format; }
    // The data body's size as the header gives it (from "ds64" in RF64).
    std::uint64_t DataSize() const { return header.data_size; }
    // Whether the file read or written is RF64.
    bool IsRf64() const { return header.rf64; }

    // Why the samples of the file read cannot be converted (its format, or a
    // header that does not add up); empty when they can.
    std::string UnreadableReason() const;
    // The chunks of the file read other than "fmt " and "data", in file
    // order. Only chunks whose body lies wholly within the file are listed,
    // at most kMaxListedChunks of them.
    static constexpr std::size_t kMaxListedChunks = ChunkList::kMaxPlaces;
    const std::vector<ChunkPlace>& Chunks() const { return header.chunks.places; }
    // False when the file held more chunks than were listed.
    bool ChunksComplete() const { return header.chunks.complete; }
    // Reads a listed chunk's body, leaving the stream where it was.
    bool ReadChunk(const ChunkPlace& place, std::vector<unsigned char>& body);

    // Whole samples in the data body (all channels); 0 for widths below 8 bits.
    std::uint64_t TotalSamples() const {
        return SampleWidth() == 0 ? 0 : header.data_size / SampleWidth();
    }
    // Whole frames in the data body; 0 when there are no channels.
    std::uint64_t SamplesPerChannel() const {
        return Channels() == 0 ? 0 : TotalSamples() / header.format.channels;
    }
    // Whole frames of the data body that the file really holds: fewer than
    // SamplesPerChannel when the file ends early.
    std::uint64_t FramesInFile() const;
    // Playing time in milliseconds; 0 for a sample rate of 0.
    double DurationMs() const;
    // DurationMs split by truncation; hours saturate at 65535.
    void SplitDuration(std::uint16_t& hours, std::uint16_t& minutes, std::uint16_t& seconds,
                       std::uint16_t& milliseconds) const;

    // True once a file could not be created, a write or the size limit of a
    // plain RIFF file refused samples, or the final header or the close
    // failed. Once set, further writes are dropped. Cleared by the next
    // OpenWrite that creates a file.
    bool Failed() const { return failed; }

    // Reads up to count samples (clamped to buffer.size()) from the current
    // position into buffer[0..]; returns how many whole samples arrived. Stops
    // at the end of the data body or of the file; a trailing partial sample is
    // dropped.
    unsigned ReadSamples(std::vector<std::int32_t>& buffer, unsigned count);
    // Copies channel's samples of the count / Channels() whole frames in
    // buffer into out[0..]; returns the frames copied, clamped to out.size().
    // Returns 0 for a channel outside 1..Channels().
    unsigned Deinterleave(const std::vector<std::int32_t>& buffer, unsigned count, int channel,
                          std::vector<std::int32_t>& out) const;
    // Places in[0..count) as channel's samples of the first count frames of
    // out, leaving the other channels untouched; stops at the end of either
    // vector. Does nothing for a channel outside 1..Channels().
    void Interleave(const std::vector<std::int32_t>& in, unsigned count, int channel,
                    std::vector<std::int32_t>& out) const;
    // Appends count samples (clamped to buffer.size()), dropping the bits above
    // the sample width. A write that would take a plain RIFF file past
    // kPlainFileLimit writes nothing and sets Failed().
    void WriteSamples(const std::vector<std::int32_t>& buffer, unsigned count);

    // Bytes of one frame: a sample of every channel.
    std::size_t FrameBytes() const { return std::size_t{header.format.channels} * SampleWidth(); }
    // Reads up to `frames` whole frames of stored bytes into `bytes`, never
    // past the end of the data body; returns the frames read.
    std::size_t ReadFrames(unsigned char* bytes, std::size_t frames);
    // Appends `frames` frames of stored bytes, as WriteSamples does.
    void WriteFrames(const unsigned char* bytes, std::size_t frames);

protected:
    // Lets tests stand a writer just below the size limit without writing
    // gigabytes. The bytes then present no longer match the data size.
    void SetDataSizeForTesting(std::uint64_t size) { header.data_size = size; }

private:
    // Reads up to `count` whole units (samples or frames) of `unit` bytes,
    // never past the end of the data body; returns the units read.
    std::size_t ReadUnits(unsigned char* bytes, std::size_t count, std::size_t unit);
    bool CanWrite();
    bool HasChannel(int channel) const { return channel >= 1 && channel <= Channels(); }
    unsigned SampleWidth() const { return header.format.bits_per_sample / 8u; }

    bool valid = false;
    bool failed = false;
    boost::filesystem::path path;
    WaveHeader header;
    std::function<bool()> stop_check;
    std::optional<WaveWriter> writer; // while writing
    std::uint64_t data_read = 0;      // bytes of the data body read
    boost::shared_ptr<boost::filesystem::fstream> stream;
    // Stored sample bytes of one block; grown on demand and reused.
    std::vector<unsigned char> byte_buffer;
};

} // namespace audio::riffwave
