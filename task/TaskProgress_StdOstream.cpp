#include "task/TaskProgress_StdOstream.hpp"

#include <utility>

namespace task {

namespace {
const char* const scale_line = "0%   10   20   30   40   50   60   70   80   90   100%\n";
const char* const ruler_line = "|----|----|----|----|----|----|----|----|----|----|";

// Truncates toward zero; values beyond int saturate instead of being undefined.
int TruncateToInt(double value) {
    if (value >= 2147483647.0) {
        return 2147483647;
    }
    if (value <= -2147483648.0) {
        return -2147483647 - 1;
    }
    return static_cast<int>(value);
}
} // namespace

TaskProgress_StdOstream::TaskProgress_StdOstream(std::ostream& out, std::string scale,
                                                 std::string ruler, std::string marks_text)
    : stream(out), scale_prefix(std::move(scale)), ruler_prefix(std::move(ruler)),
      marks_prefix(std::move(marks_text)) {}

void TaskProgress_StdOstream::Begin(int new_total) {
    position = 0;
    next_threshold = 0;
    marks = 0;
    total = new_total;
    stream << scale_prefix << scale_line << ruler_prefix << ruler_line << std::endl << marks_prefix;
    if (total < 1) {
        total = 1;
    }
}

int TaskProgress_StdOstream::Advance(int count) {
    // Wrap-free addition: a runaway caller saturates instead of overflowing.
    const long long sum = static_cast<long long>(position) + count;
    position = sum > 2147483647LL
                   ? 2147483647
                   : (sum < -2147483647LL - 1 ? -2147483647 - 1 : static_cast<int>(sum));
    if (position >= next_threshold) {
        Draw();
    }
    return position;
}

void TaskProgress_StdOstream::Draw() {
    // Multiplying before dividing keeps whole-number results exact (0.58 * 100
    // would truncate to 57).
    const int target = TruncateToInt(static_cast<double>(position) * width / total);
    // Every draw writes at least one mark.
    do {
        stream << '*' << std::flush;
        ++marks;
    } while (marks < target);
    next_threshold = TruncateToInt(static_cast<double>(marks) * total / width);
    if (position == total) {
        if (marks <= width) {
            stream << '*';
        }
        stream << std::endl;
    }
}

} // namespace task
