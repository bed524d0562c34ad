#pragma once

#include "app/ConversionOutcome.hpp"
#include "app/ConversionPlan.hpp"
#include "app/ConversionSettings.hpp"

#include <atomic>
#include <boost/filesystem/path.hpp>
#include <cstdint>
#include <ostream>
#include <string>

namespace marrowvale {

// Where one file's console text goes.
struct FileConsole {
    std::ostream& out;  // reports and the progress bar
    std::ostream& err;  // one line per problem
    bool quiet = false; // no reports and no bar; problems still go to err
};

// What a conversion read and wrote, as far as the input could be judged.
struct FileFacts {
    bool known = false; // the input was judged convertible
    unsigned channels = 0;
    int input_rate = 0;
    int output_rate = 0;
    SampleCoding input;
    SampleCoding output;
    std::uint64_t input_frames = 0;
    std::uint64_t output_frames = 0;
    std::uint64_t clipped_samples = 0;
    std::uint64_t non_finite_samples = 0; // float input samples that became 0
};

struct FileResult {
    ConversionOutcome outcome = ConversionOutcome::Skipped;
    double seconds = 0.0; // the input's playing time, when it was converted
    std::string reason;   // why it was not converted
    FileFacts facts;
};

// Converts one input file into `output_path`: prints its report, the progress bar and the report
// of the finished output. Problems go to `err` as one line naming the file;
// the batch goes on. `stop_flag` becomes true when the user asks the
// program to stop. `threads` is how many threads the file may use, this one
// included (0: one per core).
FileResult ConvertFile(const ConversionSettings& settings,
                       const boost::filesystem::path& input_path,
                       const boost::filesystem::path& output_path, std::atomic<bool>& stop_flag,
                       const FileConsole& console, unsigned threads);

} // namespace marrowvale
