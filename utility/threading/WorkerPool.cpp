#include "utility/threading/WorkerPool.hpp"

namespace utility::threading {

WorkerPool::WorkerPool(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        helpers.emplace_back([this] { HelperLoop(); });
    }
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    work_ready.notify_all();
    for (std::thread& helper : helpers) {
        helper.join();
    }
}

void WorkerPool::Run(std::size_t count, const std::function<void(std::size_t)>& job) {
    if (helpers.empty()) {
        for (std::size_t i = 0; i < count; ++i) {
            job(i);
        }
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        current_job = &job;
        current_count = count;
        next_index = 0;
        unfinished = count;
        ++generation;
    }
    work_ready.notify_all();
    Work();
    std::unique_lock<std::mutex> lock(mutex);
    work_done.wait(lock, [this] { return unfinished == 0; });
    current_job = nullptr;
}

void WorkerPool::Work() {
    for (;;) {
        const std::function<void(std::size_t)>* job = nullptr;
        std::size_t index = 0;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (current_job == nullptr || next_index >= current_count) {
                return;
            }
            job = current_job;
            index = next_index++;
        }
        (*job)(index);
        bool last = false;
        {
            std::lock_guard<std::mutex> lock(mutex);
            last = --unfinished == 0;
        }
        if (last) {
            work_done.notify_all();
        }
    }
}

void WorkerPool::HelperLoop() {
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
        Work();
    }
}

} // namespace utility::threading
