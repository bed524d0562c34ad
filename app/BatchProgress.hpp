#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <string>
#include <thread>

namespace marrowvale {

// One line for the whole batch on a terminal: files done of all, audio
// converted, time elapsed and an estimate of the time left. It is redrawn in
// place once a second and as files end, and cleared at the end. Problem lines
// go through Err(), which clears the line before them. When not drawn, the
// object draws nothing and Err() is the stream it was given.
class BatchProgress {
public:
    BatchProgress(std::ostream& terminal, bool drawn, std::size_t files);
    ~BatchProgress();
    BatchProgress(const BatchProgress&) = delete;
    BatchProgress& operator=(const BatchProgress&) = delete;

    // One file is done; `audio_seconds` of it were converted.
    void FileDone(double audio_seconds);
    std::ostream& Err() { return drawn ? *err : terminal; }

    // The line's text.
    static std::string Line(std::size_t done, std::size_t files, double audio_seconds,
                            double elapsed_seconds);

private:
    class ClearingSink;
    void Draw(); // the caller holds the lock
    void Clear();

    std::ostream& terminal;
    const bool drawn;
    const std::size_t files;
    const std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    std::size_t done = 0;
    double audio_seconds = 0.0;
    std::size_t shown = 0; // characters on the line now
    std::unique_ptr<ClearingSink> sink;
    std::unique_ptr<std::ostream> err;
    std::thread ticker;
};

} // namespace marrowvale
