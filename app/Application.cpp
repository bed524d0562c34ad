#include "app/Application.hpp"

#include "app/CommandLine.hpp"
#include "app/ConvertFile.hpp"
#include "app/OrderedConsole.hpp"

#include <algorithm>
#include <atomic>
#include <boost/format.hpp>
#include <chrono>
#include <cmath>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

namespace marrowvale {

namespace {

struct BatchTally {
    std::size_t converted = 0;
    std::size_t skipped = 0;
    std::size_t failed = 0;
    double seconds = 0.0; // of audio converted
    bool interrupted = false;
};

// One line on what the batch did: files, playing time, wall time and speed.
void PrintSummary(std::ostream& out, const BatchTally& tally, double wall_seconds, bool quiet) {
    const auto ms = static_cast<std::uint64_t>(std::floor(tally.seconds * 1000.0));
    out << (quiet ? "" : "\n")
        << boost::format("Batch: %u converted, %u skipped, %u failed; "
                         "%uh %02um %02us %03ums of audio in %.3f s (%.1fx real time)") %
               tally.converted % tally.skipped % tally.failed % (ms / 3600000) % (ms / 60000 % 60) %
               (ms / 1000 % 60) % (ms % 1000) % wall_seconds %
               (wall_seconds > 0.0 ? tally.seconds / wall_seconds : 0.0)
        << std::endl;
}

} // namespace

int RunApplication(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                   std::istream& in, std::atomic<bool>& stop_flag) {
    const auto started = std::chrono::steady_clock::now();
    const bool quiet_asked = std::any_of(arguments.begin(), arguments.end(),
                                         [](const auto& a) { return a == "-q" || a == "--quiet"; });
    if (!quiet_asked) {
        out << "Marrowvale Command Line ver. 1.0\n" << std::endl;
    }

    const CommandLine command_line = ParseCommandLine(arguments);
    switch (command_line.action) {
    case CommandLineAction::Help:
        out << MakeOptionsDescription() << "\n";
        return exit_success;
    case CommandLineAction::NotEnoughArguments:
        // Nothing was converted: a script that forgot an option must hear so.
        out << "Not enough arguments\n\n" << MakeOptionsDescription() << "\n";
        return exit_usage_error;
    case CommandLineAction::Convert:
        break;
    }

    for (const std::string& warning : command_line.warnings) {
        out.flush();
        err << "marrowvale: " << warning << std::endl;
    }
    const std::vector<boost::filesystem::path> files = BatchFiles(command_line, in);

    // Threads in all stay within the jobs asked for: up to that many files
    // at once, the jobs shared out among them.
    const unsigned jobs = command_line.jobs != 0
                              ? command_line.jobs
                              : std::max(1U, std::thread::hardware_concurrency());
    const unsigned runners =
        static_cast<unsigned>(std::max<std::size_t>(1, std::min<std::size_t>(jobs, files.size())));

    std::vector<FileResult> results(files.size());
    std::vector<char> ran(files.size(), 0);
    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::mutex failure_mutex;
    // Held text (after an interruption) comes out when the console goes,
    // before the summary.
    auto console = std::make_unique<OrderedConsole>(out, err, files.size());
    auto run = [&](unsigned threads) {
        try {
            for (std::size_t i; (i = next++) < files.size() && stop_flag == 0;) {
                if (!command_line.quiet) {
                    console->Out(i)
                        << boost::format("\nConverting File %u of %d") % (i + 1) % files.size()
                        << std::endl;
                }
                results[i] = ConvertFile(
                    command_line.settings, files[i], stop_flag,
                    FileConsole{console->Out(i), console->Err(i), command_line.quiet}, threads);
                ran[i] = 1;
                console->Finish(i);
            }
        } catch (...) {
            const std::lock_guard<std::mutex> lock(failure_mutex);
            if (!failure) {
                failure = std::current_exception();
            }
            stop_flag = 1; // the batch cannot go on in order
        }
    };
    std::vector<std::thread> others;
    for (unsigned r = 1; r < runners; ++r) {
        others.emplace_back(run, jobs / runners + (r < jobs % runners ? 1 : 0));
    }
    run(jobs / runners + (0 < jobs % runners ? 1 : 0));
    for (std::thread& thread : others) {
        thread.join();
    }
    console.reset();
    if (failure) {
        std::rethrow_exception(failure);
    }

    BatchTally tally;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (ran[i] == 0) {
            continue;
        }
        switch (results[i].outcome) {
        case ConversionOutcome::Converted:
            ++tally.converted;
            tally.seconds += results[i].seconds;
            break;
        case ConversionOutcome::Skipped:
            ++tally.skipped;
            break;
        case ConversionOutcome::Interrupted:
            tally.interrupted = true;
            ++tally.failed;
            break;
        case ConversionOutcome::Failed:
            ++tally.failed;
            break;
        }
    }
    if (files.size() >= 2 || command_line.quiet) {
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        PrintSummary(out, tally, wall, command_line.quiet);
    }
    if (tally.interrupted || stop_flag != 0) {
        return exit_interrupted;
    }
    return tally.skipped + tally.failed == 0 ? exit_success : exit_some_files_failed;
}

} // namespace marrowvale
