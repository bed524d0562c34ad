#pragma once

namespace task {

// What a job polls to learn whether it should stop early.
class ITaskStatus {
public:
    virtual ITaskStatus* Self() = 0;
    virtual bool IsCancelled() = 0;

protected:
    ~ITaskStatus() = default;
};

} // namespace task
