#include "app/Application.hpp"

#include <csignal>
#include <exception>
#include <iostream>

namespace {

volatile std::sig_atomic_t stop_requested = 0;

extern "C" void RequestStop(int /*signal*/) {
    stop_requested = 1;
}

} // namespace

int main(int argc, char* argv[]) {
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    try {
        const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
        return marrowvale::RunApplication(arguments, std::cout, std::cerr, std::cin,
                                          stop_requested);
    } catch (const std::exception& error) {
        std::cout.flush();
        std::cerr << "marrowvale: " << error.what() << std::endl;
        return marrowvale::exit_usage_error;
    }
}
