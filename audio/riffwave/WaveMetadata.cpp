#include "audio/riffwave/WaveMetadata.hpp"

#include "audio/riffwave/ByteOrder.hpp"
#include "audio/riffwave/ChunkWalker.hpp"
#include "audio/riffwave/WaveFile_type.hpp"

#include <algorithm>
#include <boost/format.hpp>
#include <limits>

namespace audio::riffwave {

bool IsCarried(const std::string& id) {
    static const char* const left_out[] = {"fmt ", "data", "fact", "ds64", "PEAK",
                                           "levl", "JUNK", "junk", "PAD ", "FLLR"};
    return std::none_of(std::begin(left_out), std::end(left_out),
                        [&id](const char* name) { return id == name; });
}

FrameScale::FrameScale(std::uint32_t from_rate, std::uint32_t to_rate)
    : from(std::max<std::uint32_t>(from_rate, 1)), to(std::max<std::uint32_t>(to_rate, 1)) {}

// value * to / from to the nearest whole number, halves up, without an
// intermediate product that could overflow: the whole quotient and the
// remainder are scaled apart. Saturates at the largest 64-bit value.
std::uint64_t FrameScale::Scale(std::uint64_t value, std::uint64_t to_rate,
                                std::uint64_t from_rate) {
    constexpr std::uint64_t most = std::numeric_limits<std::uint64_t>::max();
    const std::uint64_t whole = value / from_rate;
    // Both rates are below 2^32, so this product cannot overflow.
    const std::uint64_t product = (value % from_rate) * to_rate;
    const std::uint64_t remainder = product % from_rate;
    const std::uint64_t part = product / from_rate + (remainder >= from_rate - remainder ? 1 : 0);
    if (whole != 0 && to_rate > most / whole) {
        return most;
    }
    const std::uint64_t scaled = whole * to_rate;
    return part > most - scaled ? most : scaled + part;
}

std::uint64_t FrameScale::Frames(std::uint64_t frames) const {
    return Scale(frames, to, from);
}

std::uint32_t FrameScale::Frames32(std::uint32_t frames) const {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(Frames(frames), 0xFFFFFFFFu));
}

std::uint32_t FrameScale::LastFrame32(std::uint32_t first, std::uint32_t last) const {
    if (last < first) {
        return Frames32(last);
    }
    const std::uint64_t end = Frames(std::uint64_t{last} + 1);
    const std::uint64_t scaled_last = std::max<std::uint64_t>(end, 1) - 1;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(
        std::max<std::uint64_t>(scaled_last, Frames32(first)), 0xFFFFFFFFu));
}

std::uint32_t FrameScale::Period32(std::uint32_t period) const {
    // A period that is the input rate's in whole nanoseconds becomes the
    // output rate's, rather than carrying the first rounding into the second.
    constexpr std::uint64_t second = 1000000000;
    const std::uint64_t exact_from = second / from;
    if (from != to && exact_from != 0 && (period == exact_from || period == exact_from + 1)) {
        return static_cast<std::uint32_t>(Scale(1, second, to));
    }
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(Scale(period, from, to), 0xFFFFFFFFu));
}

namespace {

// Offsets inside the bodies that count frames.
constexpr std::size_t kTimeReferenceAt = 338; // bext: 64-bit frames since midnight
constexpr std::size_t kCuePointBytes = 24;    // cue : id, position, chunk, starts, offset
constexpr std::size_t kSamplerHeadBytes = 36; // smpl: up to the loops
constexpr std::size_t kSamplePeriodAt = 8;
constexpr std::size_t kLoopCountAt = 28;
constexpr std::size_t kLoopBytes = 24; // id, type, start, end, fraction, play count

void Scale32At(std::vector<unsigned char>& body, std::size_t at, const FrameScale& scale) {
    Put32(body.data() + at, scale.Frames32(Get32(body.data() + at)));
}

void RescaleCue(std::vector<unsigned char>& body, const FrameScale& scale) {
    if (body.size() < 4) {
        return;
    }
    const std::size_t points =
        std::min<std::size_t>(Get32(body.data()), (body.size() - 4) / kCuePointBytes);
    for (std::size_t p = 0; p < points; ++p) {
        const std::size_t at = 4 + p * kCuePointBytes;
        Scale32At(body, at + 4, scale);  // position
        Scale32At(body, at + 20, scale); // sample offset in the data chunk
    }
}

void RescaleSampler(std::vector<unsigned char>& body, const FrameScale& scale) {
    if (body.size() < kSamplerHeadBytes) {
        return;
    }
    Put32(body.data() + kSamplePeriodAt, scale.Period32(Get32(body.data() + kSamplePeriodAt)));
    const std::size_t loops = std::min<std::size_t>(Get32(body.data() + kLoopCountAt),
                                                    (body.size() - kSamplerHeadBytes) / kLoopBytes);
    for (std::size_t l = 0; l < loops; ++l) {
        unsigned char* loop = body.data() + kSamplerHeadBytes + l * kLoopBytes;
        const std::uint32_t start = Get32(loop + 8);
        const std::uint32_t end = Get32(loop + 12); // the loop's last frame
        Put32(loop + 8, scale.Frames32(start));
        Put32(loop + 12, scale.LastFrame32(start, end));
    }
}

// Sub-chunks of an associated-data list; "ltxt" gives a length in frames. A
// sub-chunk cut short ends the walk: the rest is copied as it is.
void RescaleAssociatedData(std::vector<unsigned char>& body, const FrameScale& scale) {
    if (body.size() < 4 || !std::equal(body.begin(), body.begin() + 4, "adtl")) {
        return;
    }
    ChunkWalker walker(body.data(), 4, body.size());
    ChunkHeader sub;
    while (walker.Next(sub) && walker.BodyFits()) {
        if (sub.id == "ltxt" && sub.size >= 8) {
            Scale32At(body, static_cast<std::size_t>(sub.offset) + 4, scale);
        }
        walker.Skip();
    }
}

} // namespace

void RescaleChunk(const std::string& id, std::vector<unsigned char>& body,
                  const FrameScale& scale) {
    if (id == "bext") {
        // A body too short to hold the whole time reference keeps its bytes.
        if (body.size() >= kTimeReferenceAt + 8) {
            unsigned char* field = body.data() + kTimeReferenceAt;
            Put64(field, scale.Frames(Get64(field)));
        }
    } else if (id == "cue ") {
        RescaleCue(body, scale);
    } else if (id == "smpl") {
        RescaleSampler(body, scale);
    } else if (id == "LIST") {
        RescaleAssociatedData(body, scale);
    }
}

std::shared_ptr<const ChunkBlocks> ReadCarriedChunks(WaveFile_type& input, const FrameScale& scale,
                                                     std::string& reason) {
    if (!input.ChunksComplete()) {
        reason = (boost::format("it has more than %u chunks, too many to carry over; "
                                "--strip-metadata converts it without them") %
                  WaveFile_type::kMaxListedChunks)
                     .str();
        return nullptr;
    }
    auto blocks = std::make_shared<ChunkBlocks>();
    std::uint64_t total = 0;
    std::vector<unsigned char> body;
    for (const ChunkPlace& place : input.Chunks()) {
        if (!IsCarried(place.id)) {
            continue;
        }
        total += place.size;
        if (total > kMaxCarriedBytes) {
            reason = (boost::format("its metadata chunks hold more than the %u MiB carried over; "
                                    "--strip-metadata converts it without them") %
                      (kMaxCarriedBytes >> 20))
                         .str();
            return nullptr;
        }
        if (!input.ReadChunk(place, body)) {
            reason = "reading its \"" + place.id + "\" chunk failed";
            return nullptr;
        }
        RescaleChunk(place.id, body, scale);
        AppendChunk(place.after_data ? blocks->after : blocks->before, place.id, body);
    }
    return blocks;
}

} // namespace audio::riffwave
