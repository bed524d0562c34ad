#pragma once

// Stand-ins for the progress bar and the stop flag that record what a job
// does with them.

#include "task/ITaskProgress.hpp"
#include "task/ITaskStatus.hpp"

#include <cstddef>
#include <cstdint>

namespace testsupport {

// Keeps the total and the position instead of drawing them.
class RecordingProgress final : public task::ITaskProgress {
public:
    RecordingProgress* Self() override { return this; }
    void Refresh() override {}
    void Begin(std::int64_t new_total) override {
        total = new_total;
        position = 0;
        ++begins;
    }
    void SetWidth(int) override {}
    std::int64_t Advance(std::int64_t count) override { return position += count; }
    std::int64_t Step() override { return Advance(1); }
    std::int64_t Position() override { return position; }
    std::int64_t Total() override { return total; }

    std::int64_t total = -1;
    std::int64_t position = 0;
    int begins = 0;
};

// Counts the polls and asks for a stop from poll number `first_stop` on
// (counting from 1); 0 never asks.
class StopAtPoll final : public task::ITaskStatus {
public:
    explicit StopAtPoll(std::size_t new_first_stop = 0) : first_stop(new_first_stop) {}
    StopAtPoll* Self() override { return this; }
    bool IsCancelled() override {
        ++polls;
        return first_stop != 0 && polls >= first_stop;
    }

    std::size_t polls = 0;

private:
    std::size_t first_stop;
};

} // namespace testsupport
