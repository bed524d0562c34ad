#pragma once

#include "app/ConversionSettings.hpp"

#include <boost/filesystem/path.hpp>
#include <boost/program_options/options_description.hpp>
#include <istream>
#include <string>
#include <vector>

namespace marrowvale {

// What the command line asks for.
enum class CommandLineAction { Help, Version, NotEnoughArguments, Convert };

// Convert only every count-th file of the list, from position index (both
// counted from 0): one of `count` machines' share of a large batch.
struct Shard {
    unsigned index = 0;
    unsigned count = 1;
};

struct CommandLine {
    CommandLineAction action = CommandLineAction::NotEnoughArguments;
    ConversionSettings settings;
    std::vector<boost::filesystem::path> input_files;
    // A file naming more input files, one a line; "-" is standard input.
    std::string files_from;
    Shard shard;
    // Inputs at or below this folder keep their path below it under the
    // output folder; empty: no root.
    boost::filesystem::path input_root;
    bool skip_existing = false; // an input whose output exists is kept, not converted
    std::string report;         // the JSON Lines report's file ("-": standard output); empty: none
    unsigned jobs = 0;          // files converted at once, and threads in all; 0: one per core
    bool quiet = false;
    // Settings that were given but have no effect, one line each, for
    // standard error.
    std::vector<std::string> warnings;
};

// The option table, in the order of the listing.
boost::program_options::options_description MakeOptionsDescription();

// Reads the arguments (without the program name) in two passes: named options
// first, then positional input files, which count only when no input file was
// named with -i. Out-of-range values become 0. Throws the option library's
// errors for malformed command lines.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// Turns command-line text into a path; a backslash is read as a separator.
boost::filesystem::path MakeNativePath(const std::string& text);

// Range test: a value inside [low, high] is kept, anything else becomes low.
std::int32_t RangeTest(unsigned value, unsigned low, unsigned high);

// Rounds a bit depth up to its byte container; 0 stays 0, above 32 gives 0.
std::int32_t ContainerWidth(unsigned bits);

// Reads "K/N" with N >= 1 and K < N; throws the option library's
// invalid_option_value otherwise.
Shard ParseShard(const std::string& text);

// The inputs a batch names: the command line's, then those of the list
// file (one name a line, blank lines skipped, a trailing CR dropped; "-"
// reads `standard_input`). The batch plan walks folders among them and cuts
// the shard's share. Throws
// std::runtime_error when the list file cannot be read.
std::vector<boost::filesystem::path> BatchInputs(const CommandLine& command_line,
                                                 std::istream& standard_input);

} // namespace marrowvale
