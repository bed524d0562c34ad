#pragma once

#include "app/ConversionOutcome.hpp"
#include "app/ConversionSettings.hpp"

#include <atomic>
#include <boost/filesystem/path.hpp>
#include <ostream>

namespace marrowvale {

// Where one file's console text goes.
struct FileConsole {
    std::ostream& out;  // reports and the progress bar
    std::ostream& err;  // one line per problem
    bool quiet = false; // no reports and no bar; problems still go to err
};

struct FileResult {
    ConversionOutcome outcome = ConversionOutcome::Skipped;
    double seconds = 0.0; // the input's playing time, when it was converted
};

// Converts one input file: prints its report, the progress bar and the report
// of the finished output. Problems go to `err` as one line naming the file;
// the batch goes on. `stop_flag` becomes true when the user asks the
// program to stop. `threads` is how many threads the file may use, this one
// included (0: one per core).
FileResult ConvertFile(const ConversionSettings& settings,
                       const boost::filesystem::path& input_path, std::atomic<bool>& stop_flag,
                       const FileConsole& console, unsigned threads);

} // namespace marrowvale
