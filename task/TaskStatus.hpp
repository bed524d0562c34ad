#pragma once

#include "task/ITaskStatus.hpp"

#include <csignal>

namespace task {

// A status over a stop flag owned by the caller. The flag is read afresh on
// every poll. It is a volatile sig_atomic_t so that a signal handler may set
// it; the flag must outlive the status.
class TaskStatus final : public ITaskStatus {
public:
    explicit TaskStatus(volatile std::sig_atomic_t& flag) : stop_flag(flag) {}

    TaskStatus* Self() override { return this; }
    bool IsCancelled() override { return stop_flag != 0; }

private:
    volatile std::sig_atomic_t& stop_flag;
};

} // namespace task
