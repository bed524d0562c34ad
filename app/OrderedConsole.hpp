#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

namespace marrowvale {

// The console text of a batch whose files are converted at the same time,
// printed exactly as a run of one file after another would print it. Each
// file writes to its own pair of streams. The first unfinished file's text
// goes straight to the console, so its progress bar moves live; the others'
// text is held, in the order it was written, and comes out when the files
// before them are done.
class OrderedConsole {
public:
    OrderedConsole(std::ostream& out, std::ostream& err, std::size_t files);
    ~OrderedConsole();
    OrderedConsole(const OrderedConsole&) = delete;
    OrderedConsole& operator=(const OrderedConsole&) = delete;

    // Where file i writes; safe to use from the thread converting it.
    std::ostream& Out(std::size_t i);
    std::ostream& Err(std::size_t i);
    // File i has written all it will: the files after it may come out.
    void Finish(std::size_t i);

private:
    class Sink;
    struct File;

    File& Streams(std::size_t i);
    void Write(std::size_t file, std::ostream& target, const char* text, std::size_t count);
    void Flush(std::size_t file, std::ostream& target);
    // Prints a file's held text; the caller holds the lock.
    void Release(File& file);

    std::ostream& out;
    std::ostream& err;
    std::mutex mutex;
    std::vector<std::unique_ptr<File>> files;
    std::vector<char> finished;
    std::size_t head = 0; // the first unfinished file, whose text goes out live
};

} // namespace marrowvale
