#include "task/TaskProgress_StdOstream.hpp"

#include "task/TaskStatus.hpp"

#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
#include <sstream>

namespace {

const std::string header = "0%   10   20   30   40   50   60   70   80   90   100%\n"
                           "|----|----|----|----|----|----|----|----|----|----|\n";

struct Bar {
    std::ostringstream out;
    task::TaskProgress_StdOstream progress{out, "", "", ""};

    // Marks written by one call, and whether it ended the line.
    std::string Delta(std::size_t& seen) {
        const std::string text = out.str().substr(seen);
        seen = out.str().size();
        return text;
    }
};

} // namespace

TEST(TaskProgress, HundredSingleSteps) {
    Bar bar;
    bar.progress.Begin(100);
    std::size_t seen = bar.out.str().size();
    EXPECT_EQ(bar.out.str(), header);
    int total_marks = 0;
    for (int position = 1; position <= 100; ++position) {
        EXPECT_EQ(bar.progress.Advance(1), position);
        const std::string delta = bar.Delta(seen);
        // A mark at position 1, then at every even position up to 98, and the
        // closing mark with the end of line at 100.
        const bool marked =
            position == 1 || (position % 2 == 0 && position <= 98) || position == 100;
        EXPECT_EQ(delta, marked ? (position == 100 ? "*\n" : "*") : "") << position;
        total_marks += static_cast<int>(std::count(delta.begin(), delta.end(), '*'));
    }
    EXPECT_EQ(total_marks, 51);
}

TEST(TaskProgress, LargeAndSmallAdvances) {
    Bar whole;
    whole.progress.Begin(1000);
    whole.progress.Advance(1000);
    EXPECT_EQ(whole.out.str(), header + std::string(51, '*') + "\n");

    Bar tenths;
    tenths.progress.Begin(10);
    std::size_t seen = tenths.out.str().size();
    for (int i = 1; i <= 10; ++i) {
        tenths.progress.Advance(1);
        EXPECT_EQ(tenths.Delta(seen), i < 10 ? std::string(5, '*') : std::string(6, '*') + "\n");
    }

    Bar over;
    over.progress.Begin(100);
    over.progress.Advance(150);
    EXPECT_EQ(over.out.str(), header + std::string(75, '*'));

    Bar short_of_total;
    short_of_total.progress.Begin(100);
    for (int i = 0; i < 97; ++i) {
        short_of_total.progress.Advance(1);
    }
    EXPECT_EQ(short_of_total.out.str(), header + std::string(49, '*'));
}

TEST(TaskProgress, ZeroAdvancesAndEmptyTotals) {
    Bar zero;
    zero.progress.Begin(100);
    zero.progress.Advance(0);
    zero.progress.Advance(0);
    EXPECT_EQ(zero.out.str(), header + "*");

    Bar small;
    small.progress.Begin(10);
    small.progress.Advance(0);
    small.progress.Advance(0);
    EXPECT_EQ(small.out.str(), header + "**");

    Bar empty;
    empty.progress.Begin(0);
    EXPECT_EQ(empty.progress.Total(), 1);
    for (int i = 0; i < 60; ++i) {
        empty.progress.Advance(0);
    }
    EXPECT_EQ(empty.out.str(), header + std::string(50, '*'));

    Bar negative;
    negative.progress.Begin(-5);
    EXPECT_EQ(negative.progress.Total(), 1);
}

TEST(TaskProgress, DriverTextsAndReuse) {
    std::ostringstream out;
    task::TaskProgress_StdOstream progress(out, "\n", "", "");
    progress.Begin(4);
    progress.Advance(4);
    EXPECT_EQ(out.str(), "\n" + header + std::string(51, '*') + "\n");
    progress.Begin(2);
    EXPECT_EQ(progress.Position(), 0);
    EXPECT_EQ(progress.Step(), 1);

    std::ostringstream prefixed;
    task::TaskProgress_StdOstream labelled(prefixed, "A", "B", "C");
    labelled.Begin(1);
    EXPECT_EQ(prefixed.str(), "A0%   10   20   30   40   50   60   70   80   90   100%\n"
                              "B|----|----|----|----|----|----|----|----|----|----|\nC");
}

TEST(TaskProgress, TotalsPastThirtyTwoBitsDrawOneBar) {
    for (const std::int64_t total : {(std::int64_t{1} << 32) + 12345, std::int64_t{3} << 40}) {
        Bar bar;
        bar.progress.Begin(total);
        const std::int64_t round = total / 4099 + 1;
        for (std::int64_t done = 0; done < total; done += round) {
            bar.progress.Advance(std::min(round, total - done));
        }
        EXPECT_EQ(bar.out.str(), header + std::string(51, '*') + "\n") << total;
    }
}

namespace {
class CountingProgress : public task::TaskProgress_StdOstream {
public:
    using TaskProgress_StdOstream::TaskProgress_StdOstream;
    std::int64_t Advance(std::int64_t count) override {
        ++calls;
        return TaskProgress_StdOstream::Advance(count);
    }
    int calls = 0;
};
} // namespace

TEST(TaskProgress, StepDispatchesToOverride) {
    std::ostringstream out;
    CountingProgress progress(out, "", "", "");
    progress.Begin(10);
    task::ITaskProgress& sink = progress;
    EXPECT_EQ(sink.Step(), 1);
    EXPECT_EQ(progress.calls, 1);
}

TEST(TaskStatus, ReadsTheFlagOnEveryCall) {
    std::atomic<bool> flag{false};
    task::TaskStatus status(flag);
    EXPECT_FALSE(status.IsCancelled());
    EXPECT_FALSE(status.IsCancelled());
    flag = true;
    EXPECT_TRUE(status.IsCancelled());
    EXPECT_EQ(status.Self(), &status);
}
