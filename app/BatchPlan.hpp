#pragma once

#include "app/CommandLine.hpp"

#include <boost/filesystem/path.hpp>
#include <string>
#include <vector>

namespace marrowvale {

// What the batch does with one input, decided before anything is converted.
enum class RowVerdict {
    Convert,
    Keep, // --skip-existing and the output exists
    Skip, // a repeat, an output taken by an earlier input, or outside the input root
};

struct BatchRow {
    boost::filesystem::path input; // as named, or as found by a folder walk
    boost::filesystem::path output;
    RowVerdict verdict = RowVerdict::Convert;
    std::string reason; // why kept or skipped
};

struct BatchPlanSettings {
    boost::filesystem::path output_folder;
    // Inputs keep their path below this folder under the output folder;
    // empty: no root.
    boost::filesystem::path input_root;
    bool skip_existing = false;
    Shard shard;
};

struct BatchPlan {
    std::vector<BatchRow> rows; // the shard's share of the table, in table order
    // Folders of a walk that could not be read, one line each.
    std::vector<std::string> problems;
};

// The batch's table of input -> output, cut to the shard's share. Named
// folders are walked in place (sorted, without entering an output folder or
// following links to folders). Every shard builds the same whole table, so a
// repeat or a collision is decided the same way on every machine: the first
// row of an input or an output converts, later ones are skipped. Only the
// share's outputs are looked at for --skip-existing.
BatchPlan PlanBatch(const std::vector<boost::filesystem::path>& named_inputs,
                    const BatchPlanSettings& settings);

// The convertible files below `folder`, in sorted path order; folders whose
// resolved path is in `excluded` are not entered. Unreadable folders add a
// line to `problems`.
std::vector<boost::filesystem::path>
WalkFolder(const boost::filesystem::path& folder,
           const std::vector<boost::filesystem::path>& excluded,
           std::vector<std::string>& problems);

// Removes temporary files of killed runs beside the rows' outputs: a
// temporary of a row's output is this run's to write again.
void RemoveStaleTemporaries(const std::vector<BatchRow>& rows);

} // namespace marrowvale
