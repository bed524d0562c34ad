#pragma once

#include "task/ITaskProgress.hpp"

#include <boost/core/noncopyable.hpp>
#include <cstdint>
#include <ostream>
#include <string>

namespace task {

// Draws a text progress bar: a percentage scale, a ruler, then one '*' per
// fiftieth of the job, each flushed at once so the bar moves while a long
// conversion runs. The finished bar has 51 marks, the last under the ruler's
// closing bar, and ends its line.
class TaskProgress_StdOstream : public ITaskProgress, private boost::noncopyable {
public:
    TaskProgress_StdOstream(std::ostream& out, std::string scale_prefix, std::string ruler_prefix,
                            std::string marks_prefix);

    TaskProgress_StdOstream* Self() override { return this; }
    void Refresh() override {}
    void Begin(std::int64_t new_total) override;
    void SetWidth(int new_width) override { width = new_width < 1 ? 1 : new_width; }
    std::int64_t Advance(std::int64_t count) override;
    std::int64_t Step() override { return Advance(1); }
    std::int64_t Position() override { return position; }
    std::int64_t Total() override { return total; }

private:
    void Draw();

    std::int64_t total = 1;
    std::int64_t position = 0;
    int width = 50;
    std::int64_t next_threshold = 0;
    std::ostream& stream;
    std::string scale_prefix;
    std::string ruler_prefix;
    std::string marks_prefix;
    std::int64_t marks = 0;
};

} // namespace task
