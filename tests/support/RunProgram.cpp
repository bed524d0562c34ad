#include "support/RunProgram.hpp"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

namespace {

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

ProgramResult RunMarrowvale(const std::vector<std::string>& arguments,
                            const std::string& shell_prefix) {
    static int counter = 0;
    const std::string stem =
        "/tmp/marrowvale_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
    std::string command = shell_prefix + " " + Quote(MARROWVALE_EXECUTABLE);
    for (const std::string& argument : arguments) {
        command += " " + Quote(argument);
    }
    command += " </dev/null >" + stem + ".out 2>" + stem + ".err";

    ProgramResult result;
    const int status = std::system(("(" + command + ")").c_str());
    result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = Slurp(stem + ".out");
    result.err = Slurp(stem + ".err");
    std::remove((stem + ".out").c_str());
    std::remove((stem + ".err").c_str());
    return result;
}

} // namespace testsupport
