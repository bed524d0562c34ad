#include "utility/threading/WorkerPool.hpp"

namespace utility::threading {

WorkerPool::WorkerPool(std::size_t thread_count) {
    for (std::size_t i = 0; i < thread_count; ++i) {
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

void WorkerPool::Start(std::size_t count, const std::function<void(std::size_t)>& job) {
    if (workers.empty()) {
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
}

void WorkerPool::Wait() {
    if (workers.empty()) {
        return;
    }
    std::unique_lock<std::mutex> lock(mutex);
    work_done.wait(lock, [this] { return pending == 0; });
    current_job = nullptr;
}

void WorkerPool::WorkerLoop(std::size_t thread_index) {
    std::size_t seen_generation = 0;
    for (;;) {
        const std::function<void(std::size_t)>* job = nullptr;
        std::size_t count = 0;
        {
            std::unique_lock<std::mutex> lock(mutex);
            work_ready.wait(lock, [&] { return stopping || generation != seen_generation; });
            if (stopping) {
                return;
            }
            seen_generation = generation;
            job = current_job;
            count = current_count;
        }
        for (std::size_t i = thread_index; i < count; i += workers.size()) {
            (*job)(i);
        }
        bool last = false;
        {
            std::lock_guard<std::mutex> lock(mutex);
            last = --pending == 0;
        }
        if (last) {
            work_done.notify_one();
        }
    }
}

} // namespace utility::threading
