#pragma once

#include <string>
#include <vector>

namespace testsupport {

struct ProgramResult {
    int exit_status = -1;
    std::string out;
    std::string err;
};

// Runs the built marrowvale executable with the given arguments (each one
// shell-quoted) and collects its exit status, standard output and error.
ProgramResult RunMarrowvale(const std::vector<std::string>& arguments);

} // namespace testsupport
