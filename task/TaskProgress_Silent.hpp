#pragma once

#include "task/ITaskProgress.hpp"

namespace task {

// A progress sink that keeps count and shows nothing, for quiet runs.
class TaskProgress_Silent final : public ITaskProgress {
public:
    TaskProgress_Silent* Self() override { return this; }
    void Refresh() override {}
    void Begin(int new_total) override {
        total = new_total < 1 ? 1 : new_total;
        position = 0;
    }
    void SetWidth(int) override {}
    int Advance(int count) override { return position += count; }
    int Step() override { return Advance(1); }
    int Position() override { return position; }
    int Total() override { return total; }

private:
    int total = 1;
    int position = 0;
};

} // namespace task
