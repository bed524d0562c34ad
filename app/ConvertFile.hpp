#pragma once

#include "app/ConversionSettings.hpp"

#include <boost/filesystem/path.hpp>
#include <csignal>

namespace marrowvale {

enum class ConversionOutcome {
    Converted,   // the output file is complete
    Skipped,     // the input cannot be converted; nothing was written
    Failed,      // the conversion started but its output was discarded
    Interrupted, // a stop was requested; the unfinished output was discarded
};

// Converts one input file: prints its report, the progress bar and the report
// of the finished output. Problems go to standard error as one line naming
// the file; the batch goes on. `stop_flag` becomes non-zero when the user
// asks the program to stop.
ConversionOutcome ConvertFile(const ConversionSettings& settings,
                              const boost::filesystem::path& input_path,
                              volatile std::sig_atomic_t& stop_flag);

} // namespace marrowvale
