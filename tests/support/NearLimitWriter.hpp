#pragma once

#include "audio/riffwave/WaveFile_type.hpp"

namespace testsupport {

// A writer that can be stood just below the 4 GiB limit without writing
// gigabytes.
class NearLimitWriter : public audio::riffwave::WaveFile_type {
public:
    using WaveFile_type::SetDataSizeForTesting;
};

} // namespace testsupport
