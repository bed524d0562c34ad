#include "app/BatchProgress.hpp"

#include <boost/format.hpp>
#include <cmath>

namespace marrowvale {

namespace {

std::string Duration(double seconds) {
    const auto whole = static_cast<unsigned long long>(std::max(0.0, std::floor(seconds)));
    return (boost::format("%uh %02um %02us") % (whole / 3600) % (whole / 60 % 60) % (whole % 60))
        .str();
}

} // namespace

// Text written to it clears the progress line first; the line comes back at
// the next redraw.
class BatchProgress::ClearingSink : public std::streambuf {
public:
    explicit ClearingSink(BatchProgress& owner) : progress(owner) {}

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) {
            return traits_type::not_eof(c);
        }
        const char byte = traits_type::to_char_type(c);
        return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        const std::lock_guard<std::mutex> lock(progress.mutex);
        progress.Clear();
        progress.terminal.write(text, count);
        return progress.terminal ? count : 0;
    }
    int sync() override {
        const std::lock_guard<std::mutex> lock(progress.mutex);
        progress.terminal.flush();
        return progress.terminal ? 0 : -1;
    }

private:
    BatchProgress& progress;
};

BatchProgress::BatchProgress(std::ostream& terminal_stream, bool draw, std::size_t file_count)
    : terminal(terminal_stream), drawn(draw), files(file_count) {
    if (!drawn) {
        return;
    }
    sink = std::make_unique<ClearingSink>(*this);
    err = std::make_unique<std::ostream>(sink.get());
    ticker = std::thread([this] {
        std::unique_lock<std::mutex> lock(mutex);
        while (!stopping) {
            Draw();
            wake.wait_for(lock, std::chrono::seconds(1));
        }
    });
}

BatchProgress::~BatchProgress() {
    if (!drawn) {
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        Clear();
    }
    wake.notify_all();
    ticker.join();
}

void BatchProgress::FileDone(double seconds) {
    const std::lock_guard<std::mutex> lock(mutex);
    ++done;
    audio_seconds += seconds;
    if (drawn) {
        Draw();
    }
}

std::string BatchProgress::Line(std::size_t done_files, std::size_t file_count, double audio,
                                double elapsed) {
    std::string line = (boost::format("%u of %u files, %s of audio, %s elapsed") % done_files %
                        file_count % Duration(audio) % Duration(elapsed))
                           .str();
    if (done_files > 0 && done_files < file_count) {
        const double left = elapsed / static_cast<double>(done_files) *
                            static_cast<double>(file_count - done_files);
        line += ", about " + Duration(left) + " left";
    }
    return line;
}

void BatchProgress::Draw() {
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const std::string line = Line(done, files, audio_seconds, elapsed);
    // Spaces cover what is left of a longer line before.
    terminal << '\r' << line << std::string(shown > line.size() ? shown - line.size() : 0, ' ')
             << std::flush;
    shown = line.size();
}

void BatchProgress::Clear() {
    if (shown != 0) {
        terminal << '\r' << std::string(shown, ' ') << '\r' << std::flush;
        shown = 0;
    }
}

} // namespace marrowvale
