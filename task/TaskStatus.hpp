#pragma once

#include "task/ITaskStatus.hpp"

#include <atomic>

namespace task {

// A status over a stop flag owned by the caller. The flag is read afresh on
// every poll; it is atomic, since the thread that takes signals sets it while
// workers read it. The flag must outlive the status.
class TaskStatus final : public ITaskStatus {
public:
    explicit TaskStatus(const std::atomic<bool>& flag) : stop_flag(flag) {}

    TaskStatus* Self() override { return this; }
    bool IsCancelled() override { return stop_flag.load(); }

private:
    const std::atomic<bool>& stop_flag;
};

} // namespace task
