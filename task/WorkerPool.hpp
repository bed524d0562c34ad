#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace task {

// A fixed set of threads that run one job for every index of a range and
// wait for all of them, again and again. Made once per file so that the
// per-block cost is one wake-up, not a thread start. With one thread the
// jobs run on the caller's thread, in index order.
class WorkerPool {
public:
    explicit WorkerPool(std::size_t thread_count);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    std::size_t ThreadCount() const { return workers.size() + 1; }

    // Calls job(i) for every i in [0, count); index i always runs on the same
    // thread (i modulo the thread count), the first share on the caller's.
    // Returns when every call has returned.
    void RunForEach(std::size_t count, const std::function<void(std::size_t)>& job);

private:
    void WorkerLoop(std::size_t thread_index);
    void RunShare(std::size_t thread_index);

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

} // namespace task
