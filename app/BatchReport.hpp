#pragma once

#include "app/ConvertFile.hpp"

#include <mutex>
#include <string>

namespace marrowvale {

// One input's line of the report.
struct ReportRecord {
    std::string input;
    std::string output;             // empty: none (written as null)
    const char* status = "skipped"; // converted, kept, skipped or failed
    std::string reason;             // empty: none (null)
    FileFacts facts;                // null fields unless known
    double seconds = 0.0;           // wall time spent on the input
};

// The record as one line of JSON, newline included.
std::string ReportLine(const ReportRecord& record);

// Bytes as a JSON string literal. Valid UTF-8 is kept; control characters,
// quotes and backslashes are escaped; each byte of invalid UTF-8 becomes
// \udcXX (XX its value), so that a file name that is not UTF-8 can be told
// apart and restored.
std::string JsonString(const std::string& bytes);

// The report file: JSON Lines, one line per input, each written whole with
// one system call as its input ends, so that a run killed at any moment
// leaves only complete lines. Lines from several threads may come in any
// order.
class BatchReport {
public:
    // `path` "-" is standard output; an existing file is replaced. Throws
    // std::runtime_error when the file cannot be created.
    explicit BatchReport(const std::string& path);
    ~BatchReport();
    BatchReport(const BatchReport&) = delete;
    BatchReport& operator=(const BatchReport&) = delete;

    void Write(const ReportRecord& record);
    // Why a line could not be written; empty while every line was.
    std::string Failure() const;

private:
    std::string path;
    int descriptor = -1;
    mutable std::mutex mutex;
    std::string failure;
};

} // namespace marrowvale
