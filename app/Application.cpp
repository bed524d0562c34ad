#include "app/Application.hpp"

#include "app/BatchPlan.hpp"
#include "app/BatchProgress.hpp"
#include "app/BatchReport.hpp"
#include "app/CommandLine.hpp"
#include "app/ConvertFile.hpp"
#include "app/OrderedConsole.hpp"

#include <algorithm>
#include <atomic>
#include <boost/format.hpp>
#include <chrono>
#include <cmath>
#include <exception>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace marrowvale {

namespace {

struct BatchTally {
    std::size_t converted = 0;
    std::size_t kept = 0;
    std::size_t skipped = 0;
    std::size_t failed = 0;
    double seconds = 0.0; // of audio converted
    bool interrupted = false;
};

// One line on what the batch did: files, playing time, wall time and speed.
// Kept files are counted only when outputs could be kept.
void PrintSummary(std::ostream& out, const BatchTally& tally, double wall_seconds, bool quiet,
                  bool keeping) {
    const auto ms = static_cast<std::uint64_t>(std::floor(tally.seconds * 1000.0));
    const std::string kept = keeping ? (boost::format(", %u kept") % tally.kept).str() : "";
    out << (quiet ? "" : "\n")
        << boost::format("Batch: %u converted%s, %u skipped, %u failed; "
                         "%uh %02um %02us %03ums of audio in %.3f s (%.1fx real time)") %
               tally.converted % kept % tally.skipped % tally.failed % (ms / 3600000) %
               (ms / 60000 % 60) % (ms / 1000 % 60) % (ms % 1000) % wall_seconds %
               (wall_seconds > 0.0 ? tally.seconds / wall_seconds : 0.0)
        << std::endl;
}

bool Asked(const std::vector<std::string>& arguments, std::initializer_list<const char*> names) {
    return std::any_of(arguments.begin(), arguments.end(), [&](const std::string& argument) {
        return std::find(names.begin(), names.end(), argument) != names.end();
    });
}

const char* StatusName(ConversionOutcome outcome) {
    switch (outcome) {
    case ConversionOutcome::Converted:
        return "converted";
    case ConversionOutcome::Kept:
        return "kept";
    case ConversionOutcome::Skipped:
        return "skipped";
    case ConversionOutcome::Failed:
    case ConversionOutcome::Interrupted:
        break;
    }
    return "failed";
}

// A row the plan decided not to convert: what the console and the report say.
FileResult SettleRow(const BatchRow& row, const FileConsole& console) {
    FileResult result;
    if (row.verdict == RowVerdict::Keep) {
        if (!console.quiet) {
            console.out << boost::format("\nOutput File \"%s\" exists and is kept") %
                               row.output.generic_string()
                        << std::endl;
        }
        result.outcome = ConversionOutcome::Kept;
    } else {
        console.out.flush();
        console.err << "marrowvale: \"" << row.input.generic_string() << "\": " << row.reason
                    << "; skipped" << std::endl;
        result.reason = row.reason;
    }
    return result;
}

} // namespace

int RunApplication(const std::vector<std::string>& arguments, std::ostream& standard_output,
                   std::ostream& err, std::istream& in, std::atomic<bool>& stop_flag) {
    const auto started = std::chrono::steady_clock::now();
    const bool quiet_asked = Asked(arguments, {"-q", "--quiet"});
    const bool version_asked = Asked(arguments, {"--version"});
    // With the report on standard output, the console text goes to standard
    // error.
    const auto report_at = std::find(arguments.begin(), arguments.end(), "--report");
    const bool report_to_output =
        Asked(arguments, {"--report=-"}) ||
        (report_at != arguments.end() && report_at + 1 != arguments.end() && report_at[1] == "-");
    std::ostream& out = report_to_output ? err : standard_output;
    if (!quiet_asked && !version_asked) {
        out << "Marrowvale Command Line ver. 1.0\n" << std::endl;
    }

    const CommandLine command_line = ParseCommandLine(arguments);
    switch (command_line.action) {
    case CommandLineAction::Help:
        out << MakeOptionsDescription() << "\n";
        return exit_success;
    case CommandLineAction::Version:
        standard_output << "marrowvale " << MARROWVALE_VERSION << std::endl;
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
    std::unique_ptr<BatchReport> report;
    if (!command_line.report.empty()) {
        report = std::make_unique<BatchReport>(command_line.report);
    }
    const BatchPlan plan =
        PlanBatch(BatchInputs(command_line, in),
                  BatchPlanSettings{command_line.settings.output_folder, command_line.input_root,
                                    command_line.skip_existing, command_line.shard});
    for (const std::string& problem : plan.problems) {
        out.flush();
        err << "marrowvale: " << problem << std::endl;
    }
    if (command_line.skip_existing) {
        RemoveStaleTemporaries(plan.rows);
    }
    const std::vector<BatchRow>& rows = plan.rows;

    // Threads in all stay within the jobs asked for: up to that many files
    // at once, the jobs shared out among them.
    const unsigned jobs = command_line.jobs != 0
                              ? command_line.jobs
                              : std::max(1U, std::thread::hardware_concurrency());
    const unsigned runners =
        static_cast<unsigned>(std::max<std::size_t>(1, std::min<std::size_t>(jobs, rows.size())));

    // The batch line is drawn only where no console text is shown on the
    // same terminal.
    const bool console_on_terminal =
        !command_line.quiet && (report_to_output ? true : (&out == &std::cout && isatty(1) != 0));
    auto progress = std::make_unique<BatchProgress>(
        err, &err == &std::cerr && isatty(2) != 0 && !console_on_terminal, rows.size());

    std::vector<FileResult> results(rows.size());
    std::vector<char> ran(rows.size(), 0);
    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::mutex failure_mutex;
    // Held text (after an interruption) comes out when the console goes,
    // before the summary.
    auto console = std::make_unique<OrderedConsole>(out, progress->Err(), rows.size());
    auto run = [&](unsigned threads) {
        try {
            for (std::size_t i; (i = next++) < rows.size() && stop_flag == 0;) {
                const auto row_started = std::chrono::steady_clock::now();
                const FileConsole file_console{console->Out(i), console->Err(i),
                                               command_line.quiet};
                if (!command_line.quiet) {
                    file_console.out
                        << boost::format("\nConverting File %u of %d") % (i + 1) % rows.size()
                        << std::endl;
                }
                results[i] = rows[i].verdict == RowVerdict::Convert
                                 ? ConvertFile(command_line.settings, rows[i].input, rows[i].output,
                                               stop_flag, file_console, threads)
                                 : SettleRow(rows[i], file_console);
                ran[i] = 1;
                if (report) {
                    ReportRecord record;
                    record.input = rows[i].input.string();
                    record.output = rows[i].output.string();
                    record.status = StatusName(results[i].outcome);
                    record.reason = results[i].reason;
                    record.facts = results[i].facts;
                    record.seconds = std::chrono::duration<double>(
                                         std::chrono::steady_clock::now() - row_started)
                                         .count();
                    report->Write(record);
                }
                console->Finish(i);
                progress->FileDone(
                    results[i].outcome == ConversionOutcome::Converted ? results[i].seconds : 0.0);
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
    progress.reset(); // the line is cleared before the summary
    if (failure) {
        std::rethrow_exception(failure);
    }

    BatchTally tally;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (ran[i] == 0) {
            continue;
        }
        switch (results[i].outcome) {
        case ConversionOutcome::Converted:
            ++tally.converted;
            tally.seconds += results[i].seconds;
            break;
        case ConversionOutcome::Kept:
            ++tally.kept;
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
    const std::string report_failure = report ? report->Failure() : "";
    if (!report_failure.empty()) {
        out.flush();
        err << "marrowvale: " << report_failure << std::endl;
    }
    if (rows.size() >= 2 || command_line.quiet) {
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        PrintSummary(out, tally, wall, command_line.quiet, command_line.skip_existing);
    }
    if (tally.interrupted || stop_flag != 0) {
        return exit_interrupted;
    }
    const bool complete = tally.skipped + tally.failed == 0 && plan.problems.empty();
    return complete && report_failure.empty() ? exit_success : exit_some_files_failed;
}

} // namespace marrowvale
