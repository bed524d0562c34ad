#pragma once

#include <atomic>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

namespace marrowvale {

// Exit statuses of a run.
constexpr int exit_success = 0; // help, or every file converted
constexpr int exit_some_files_failed = 1;
constexpr int exit_usage_error = 2;   // the command line could not be read, or asks for too little
constexpr int exit_interrupted = 130; // stopped by SIGINT or SIGTERM

// The whole program after start-up: banner, command line, then the help
// listing, "Not enough arguments", or the batch. Files are converted several
// at a time (-j), and their console text comes out in command-line order.
// Option errors propagate as the option library's exceptions.
int RunApplication(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                   std::istream& in, std::atomic<bool>& stop_flag);

} // namespace marrowvale
