#include "app/OrderedConsole.hpp"

namespace marrowvale {

// An unbuffered stream buffer that hands everything to the console, which
// either prints it or holds it for its file.
class OrderedConsole::Sink : public std::streambuf {
public:
    Sink(OrderedConsole& new_console, std::size_t new_file, std::ostream& new_target)
        : console(new_console), file(new_file), target(new_target) {}

protected:
    int_type overflow(int_type c) override {
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            const char ch = traits_type::to_char_type(c);
            console.Write(file, target, &ch, 1);
        }
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        console.Write(file, target, text, static_cast<std::size_t>(count));
        return count;
    }
    int sync() override {
        console.Flush(file, target);
        return 0;
    }

private:
    OrderedConsole& console;
    std::size_t file;
    std::ostream& target;
};

struct OrderedConsole::File {
    File(OrderedConsole& console, std::size_t index)
        : out_sink(console, index, console.out), err_sink(console, index, console.err),
          out_stream(&out_sink), err_stream(&err_sink) {}

    Sink out_sink;
    Sink err_sink;
    std::ostream out_stream;
    std::ostream err_stream;
    // Text held until the file's turn, with the stream it belongs to.
    std::vector<std::pair<std::ostream*, std::string>> held;
};

// A file's streams exist from its first text until its turn has passed, so
// that a list of a million files costs a few bytes each.
OrderedConsole::OrderedConsole(std::ostream& new_out, std::ostream& new_err, std::size_t count)
    : out(new_out), err(new_err), files(count), finished(count, 0) {}

OrderedConsole::~OrderedConsole() {
    // Whatever was held (after an interruption) still comes out, in order.
    const std::lock_guard<std::mutex> lock(mutex);
    for (; head < files.size(); ++head) {
        if (files[head]) {
            Release(*files[head]);
        }
    }
    out.flush();
    err.flush();
}

OrderedConsole::File& OrderedConsole::Streams(std::size_t i) {
    const std::lock_guard<std::mutex> lock(mutex);
    if (!files[i]) {
        files[i] = std::make_unique<File>(*this, i);
    }
    return *files[i];
}

std::ostream& OrderedConsole::Out(std::size_t i) {
    return Streams(i).out_stream;
}

std::ostream& OrderedConsole::Err(std::size_t i) {
    return Streams(i).err_stream;
}

void OrderedConsole::Write(std::size_t file, std::ostream& target, const char* text,
                           std::size_t count) {
    const std::lock_guard<std::mutex> lock(mutex);
    if (file == head) {
        target.write(text, static_cast<std::streamsize>(count));
        return;
    }
    auto& held = files[file]->held;
    if (held.empty() || held.back().first != &target) {
        held.emplace_back(&target, std::string());
    }
    held.back().second.append(text, count);
}

void OrderedConsole::Flush(std::size_t file, std::ostream& target) {
    const std::lock_guard<std::mutex> lock(mutex);
    if (file == head) {
        target.flush();
    }
}

void OrderedConsole::Finish(std::size_t i) {
    const std::lock_guard<std::mutex> lock(mutex);
    finished[i] = 1;
    // When the file in its turn is done, the next one's held text comes out
    // (all of it when that one is done too, else as far as it got, and it
    // goes on live).
    while (head < files.size() && finished[head] != 0) {
        files[head].reset();
        ++head;
        if (head < files.size() && files[head]) {
            Release(*files[head]);
        }
    }
    out.flush();
    err.flush();
}

void OrderedConsole::Release(File& file) {
    for (auto& [target, text] : file.held) {
        target->write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    file.held.clear();
    file.held.shrink_to_fit();
}

} // namespace marrowvale
