#pragma once

#include "app/ConversionOutcome.hpp"
#include "app/ConversionSettings.hpp"

#include <boost/filesystem/path.hpp>
#include <csignal>

namespace marrowvale {

// Converts one input file: prints its report, the progress bar and the report
// of the finished output. Problems go to standard error as one line naming
// the file; the batch goes on. `stop_flag` becomes non-zero when the user
// asks the program to stop.
ConversionOutcome ConvertFile(const ConversionSettings& settings,
                              const boost::filesystem::path& input_path,
                              volatile std::sig_atomic_t& stop_flag);

} // namespace marrowvale
