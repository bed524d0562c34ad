#include "task/TaskProgress_StdOstream.hpp"

#include <limits>
#include <utility>

namespace task {

namespace {
const char* const scale_line = "0%   10   20   30   40   50   60   70   80   90   100%\n";
const char* const ruler_line = "|----|----|----|----|----|----|----|----|----|----|";

__extension__ typedef __int128 Wide;

constexpr std::int64_t kMost = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kLeast = std::numeric_limits<std::int64_t>::min();

// value * numerator / denominator (denominator > 0), truncated toward zero,
// exact in 128 bits and saturated to 64 rather than wrapped. Multiplying
// before dividing keeps whole-number results exact (0.58 * 100 would
// truncate to 57 in floating point).
std::int64_t Scale(std::int64_t value, std::int64_t numerator, std::int64_t denominator) {
    const Wide result = Wide{value} * numerator / denominator;
    if (result > kMost) {
        return kMost;
    }
    return result < kLeast ? kLeast : static_cast<std::int64_t>(result);
}
} // namespace

TaskProgress_StdOstream::TaskProgress_StdOstream(std::ostream& out, std::string scale,
                                                 std::string ruler, std::string marks_text)
    : stream(out), scale_prefix(std::move(scale)), ruler_prefix(std::move(ruler)),
      marks_prefix(std::move(marks_text)) {}

void TaskProgress_StdOstream::Begin(std::int64_t new_total) {
    position = 0;
    next_threshold = 0;
    marks = 0;
    total = new_total;
    stream << scale_prefix << scale_line << ruler_prefix << ruler_line << std::endl << marks_prefix;
    if (total < 1) {
        total = 1;
    }
}

std::int64_t TaskProgress_StdOstream::Advance(std::int64_t count) {
    // A runaway caller saturates instead of overflowing.
    std::int64_t sum = 0;
    if (__builtin_add_overflow(position, count, &sum)) {
        sum = count > 0 ? kMost : kLeast;
    }
    position = sum;
    if (position >= next_threshold) {
        Draw();
    }
    return position;
}

void TaskProgress_StdOstream::Draw() {
    const std::int64_t target = Scale(position, width, total);
    // Every draw writes at least one mark.
    do {
        stream << '*' << std::flush;
        ++marks;
    } while (marks < target);
    next_threshold = Scale(marks, total, width);
    if (position == total) {
        if (marks <= width) {
            stream << '*';
        }
        stream << std::endl;
    }
}

} // namespace task
