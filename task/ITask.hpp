#pragma once

#include "task/ITaskProgress.hpp"
#include "task/ITaskStatus.hpp"

namespace task {

// A long-running job: it reports to a progress sink and polls a status,
// knowing nothing of how either is shown or decided.
class ITask {
public:
    virtual ITask* Self() = 0;
    virtual void Run(ITaskProgress& progress, ITaskStatus& status) = 0;

protected:
    ~ITask() = default;
};

} // namespace task
