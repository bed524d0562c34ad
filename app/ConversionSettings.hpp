#pragma once

#include <boost/filesystem/path.hpp>
#include <cstdint>

namespace marrowvale {

// What one run of the program asks of every file. 0 in a numeric field keeps
// the input's value, or means "off".
struct ConversionSettings {
    boost::filesystem::path output_folder;
    std::int32_t new_sampling_rate = 0;
    std::int32_t new_bit_depth = 0;
    std::int32_t container_bits = 0;
    std::int32_t dither_bits = 0;
    std::int32_t dither_type = 0;
    std::int32_t noise_shaping = 0;
    // 32-bit IEEE float output, whatever the input; the width, container,
    // dither and shaping settings then have no effect.
    bool float_output = false;
    // The resampler's filters: 0 designed, 1 steep (see FilterSetting).
    std::int32_t filter = 0;
    // Only the format and the samples are written: no chunk of the input's
    // metadata is carried over.
    bool strip_metadata = false;
};

} // namespace marrowvale
