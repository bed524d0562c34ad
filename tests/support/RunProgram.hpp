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
// `shell_prefix` comes first in the same shell command line: settings such
// as "ulimit -f 64;", or a launcher such as "timeout -s INT 1".
ProgramResult RunMarrowvale(const std::vector<std::string>& arguments,
                            const std::string& shell_prefix = "");

} // namespace testsupport
