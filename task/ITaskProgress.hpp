#pragma once

namespace task {

// Where a job reports how much of its work is done. A job calls Begin once,
// then Advance as pieces complete; it is finished when Position() == Total().
class ITaskProgress {
public:
    virtual ITaskProgress* Self() = 0;
    virtual void Refresh() = 0;
    virtual void Begin(int total) = 0;
    virtual void SetWidth(int marks) = 0;
    virtual int Advance(int count) = 0;
    virtual int Step() = 0;
    virtual int Position() = 0;
    virtual int Total() = 0;

protected:
    // Never deleted through the interface; owners keep the concrete type.
    ~ITaskProgress() = default;
};

} // namespace task
