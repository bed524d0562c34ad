#include "app/Application.hpp"
#include "app/TemporaryFile.hpp"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <locale>
#include <malloc.h>
#include <pthread.h>
#include <thread>
#include <unistd.h>

namespace {

std::atomic<bool> stop_requested{false};
std::atomic<bool> finished{false};

// From a stop request to the forced end; the program must be gone within a
// second of the signal.
constexpr auto kGrace = std::chrono::milliseconds(700);
constexpr auto kGlance = std::chrono::milliseconds(20);

// SIGINT and SIGTERM are taken by this thread alone, through sigwait rather
// than a handler, so the stop flag is a plain atomic. The batch then ends by
// itself; a thread stuck where it never looks at the flag (opening a FIFO that
// nobody writes, a stalled disk, a long filter design) does not hold it up:
// after the grace period the temporary outputs are removed and the program
// ends with the interrupted status.
void TakeSignals(sigset_t signals) {
    int signal = 0;
    if (sigwait(&signals, &signal) != 0) {
        return;
    }
    stop_requested = true;
    const auto deadline = std::chrono::steady_clock::now() + kGrace;
    while (std::chrono::steady_clock::now() < deadline) {
        if (finished) {
            return;
        }
        std::this_thread::sleep_for(kGlance);
    }
    if (finished) {
        return;
    }
    marrowvale::RemoveTemporaryFiles();
    static const char text[] = "marrowvale: stopped; unfinished outputs were removed\n";
    const ssize_t ignored = ::write(STDERR_FILENO, text, sizeof text - 1);
    (void)ignored;
    std::_Exit(marrowvale::exit_interrupted);
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

// The character-type facet fills its cache of narrowed characters lazily and
// without a lock, and every file's formatted text reads it from its own
// thread; filled once before any thread starts, it is only read after.
void FillNarrowingCache() {
    const auto& facet = std::use_facet<std::ctype<char>>(std::locale());
    for (int c = 1; c < 256; ++c) {
        facet.narrow(static_cast<char>(c), 0);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    KeepBatchMemory();
    FillNarrowingCache();
    // Blocked before any thread starts, so that every thread inherits it and
    // only the signal thread sees the signals.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread(TakeSignals, signals).detach();

    int status = marrowvale::exit_usage_error;
    try {
        const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
        status =
            marrowvale::RunApplication(arguments, std::cout, std::cerr, std::cin, stop_requested);
    } catch (const std::exception& error) {
        std::cout.flush();
        std::cerr << "marrowvale: " << error.what() << std::endl;
    }
    finished = true;
    return status;
}
