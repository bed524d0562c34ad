#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace utility::threading {

// A fixed set of threads that run one job for every index of a range, again
// and again. Made once per file so that each round costs one wake-up, not a
// thread start. The caller starts a round, may do other work meanwhile (file
// I/O), then waits for it. With no threads a round runs on the caller's
// thread, in index order, when it is started.
class WorkerPool {
public:
    explicit WorkerPool(std::size_t thread_count);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Calls job(i) for every i in [0, count); index i always runs on worker
    // i modulo the thread count. `job` must outlive the round.
    void Start(std::size_t count, const std::function<void(std::size_t)>& job);
    // A temporary would be gone before the workers run it.
    void Start(std::size_t count, std::function<void(std::size_t)>&& job) = delete;
    // Returns when every call of the round has returned.
    void Wait();
    void RunForEach(std::size_t count, std::function<void(std::size_t)>&& job) = delete;
    void RunForEach(std::size_t count, const std::function<void(std::size_t)>& job) {
        Start(count, job);
        Wait();
    }

private:
    void WorkerLoop(std::size_t thread_index);

    std::vector<std::thread> workers;
    std::mutex mutex;
    std::condition_variable work_ready;
    std::condition_variable work_done;
    const std::function<void(std::size_t)>* current_job = nullptr;
    std::size_t current_count = 0;
    std::size_t generation = 0;
    std::size_t pending = 0;
    bool stopping = false;
};

} // namespace utility::threading
