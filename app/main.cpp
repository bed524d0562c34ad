#include "app/Application.hpp"

#include <csignal>
#include <exception>
#include <iostream>
#include <malloc.h>

namespace {

volatile std::sig_atomic_t stop_requested = 0;

extern "C" void RequestStop(int /*signal*/) {
    stop_requested = 1;
}

// A batch converts file after file with buffers of the same few sizes. Left
// to its defaults the allocator hands large blocks back to the system when a
// file ends (mapped blocks unmapped, the heap's top trimmed) and the next
// file faults the same pages in afresh, which cost more system time than
// the conversion itself for short files. Heap blocks up to 32 MiB and up to
// 64 MiB of free space per heap are kept instead: a bound on what stays
// mapped between files, like the filter table cache's.
void KeepBatchMemory() {
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
}

} // namespace

int main(int argc, char* argv[]) {
    KeepBatchMemory();
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
