#include "task/WorkerPool.hpp"

namespace task {

WorkerPool::WorkerPool(std::size_t thread_count) {
    for (std::size_t i = 1; i < thread_count; ++i) {
        workers.emplace_back([this, i] { WorkerLoop(i); });
    }
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    work_ready.notify_all();
    for (std::thread& worker : workers) {
        worker.join();
    }
}

void WorkerPool::RunShare(std::size_t thread_index) {
    const std::size_t stride = ThreadCount();
    for (std::size_t i = thread_index; i < current_count; i += stride) {
        (*current_job)(i);
    }
}

void WorkerPool::RunForEach(std::size_t count, const std::function<void(std::size_t)>& job) {
    if (workers.empty() || count <= 1) {
        for (std::size_t i = 0; i < count; ++i) {
            job(i);
        }
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        current_job = &job;
        current_count = count;
        pending = workers.size();
        ++generation;
    }
    work_ready.notify_all();
    RunShare(0);
    std::unique_lock<std::mutex> lock(mutex);
    work_done.wait(lock, [this] { return pending == 0; });
    current_job = nullptr;
}

void WorkerPool::WorkerLoop(std::size_t thread_index) {
    std::size_t seen_generation = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex);
            work_ready.wait(lock, [&] { return stopping || generation != seen_generation; });
            if (stopping) {
                return;
            }
            seen_generation = generation;
        }
        RunShare(thread_index);
        {
            std::lock_guard<std::mutex> lock(mutex);
            --pending;
        }
        work_done.notify_one();
    }
}

} // namespace task
