#pragma once

#include <cstdint>

namespace task {

// Where a job reports how much of its work is done. A job calls Begin once,
// then Advance as pieces complete; it is finished when Position() == Total().
// Totals and counts are 64-bit: a long file has more output samples than a
// 32-bit number holds.
class ITaskProgress {
public:
    virtual ITaskProgress* Self() = 0;
    virtual void Refresh() = 0;
    virtual void Begin(std::int64_t total) = 0;
    virtual void SetWidth(int marks) = 0;
    virtual std::int64_t Advance(std::int64_t count) = 0;
    virtual std::int64_t Step() = 0;
    virtual std::int64_t Position() = 0;
    virtual std::int64_t Total() = 0;

protected:
    // Never deleted through the interface; owners keep the concrete type.
    ~ITaskProgress() = default;
};

} // namespace task
