#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace utility::threading {

// A fixed set of helper threads that, together with the calling thread, run
// one job for every index of a range, again and again. Made once per file so
// that each round costs one wake-up, not a thread start. The calling thread
// works too, so a pool of n helpers keeps n + 1 threads busy and no more.
class WorkerPool {
public:
    explicit WorkerPool(std::size_t helpers);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Calls job(i) once for every i in [0, count), the indices taken in
    // order by whichever thread comes free, and returns when all calls have
    // returned. With no helpers the calls run here, in index order.
    void Run(std::size_t count, const std::function<void(std::size_t)>& job);

private:
    void HelperLoop();
    // Takes and runs indices of the current round until none is left.
    void Work();

    std::vector<std::thread> helpers;
    std::mutex mutex;
    std::condition_variable work_ready;
    std::condition_variable work_done;
    const std::function<void(std::size_t)>* current_job = nullptr;
    std::size_t current_count = 0;
    std::size_t next_index = 0;
    std::size_t unfinished = 0; // calls of the round not yet returned
    std::size_t generation = 0;
    bool stopping = false;
};

} // namespace utility::threading
