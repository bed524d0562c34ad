#pragma once

#include "task/ITaskProgress.hpp"

namespace task {

// A progress sink that keeps count and shows nothing, for quiet runs.
class TaskProgress_Silent final : public ITaskProgress {
public:
    TaskProgress_Silent* Self() override { return this; }
    void Refresh() override {}
    void Begin(std::int64_t new_total) override {
        total = new_total < 1 ? 1 : new_total;
        position = 0;
    }
    void SetWidth(int) override {}
    std::int64_t Advance(std::int64_t count) override { return position += count; }
    std::int64_t Step() override { return Advance(1); }
    std::int64_t Position() override { return position; }
    std::int64_t Total() override { return total; }

private:
    std::int64_t total = 1;
    std::int64_t position = 0;
};

} // namespace task
