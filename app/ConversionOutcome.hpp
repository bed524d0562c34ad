#pragma once

namespace marrowvale {

enum class ConversionOutcome {
    Converted, // the output file is complete
    Skipped, // the input cannot be converted, or another input has its output; nothing was written
    Kept,    // the output exists and was left as it is
    Failed,  // the conversion started but its output was discarded
    Interrupted, // a stop was requested; the unfinished output was discarded
};

} // namespace marrowvale
