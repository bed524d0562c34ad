#include "app/ConvertFile.hpp"

namespace marrowvale {

ConversionOutcome ConvertFile(const ConversionSettings& /*settings*/,
                              const boost::filesystem::path& /*input_path*/,
                              volatile std::sig_atomic_t& /*stop_flag*/) {
    return ConversionOutcome::Skipped;
}

} // namespace marrowvale
