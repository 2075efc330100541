#include "finder/WorkerPool.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace finder {

int coreCount()
{
    return std::max(1, int(std::thread::hardware_concurrency()));
}

void runOnWorkers(std::size_t count, int threads, const std::atomic<bool>* stop,
    const std::function<void(std::size_t)>& task, const std::function<void()>& tick)
{
    if (count == 0) {
        tick();
        return;
    }
    std::atomic<std::size_t> next{0};
    std::mutex mutex;
    std::condition_variable allDone;
    int running = std::clamp(threads, 1, int(std::min<std::size_t>(count, 256)));
    const int started = running;

    auto work = [&] {
        while (!(stop && stop->load(std::memory_order_relaxed))) {
            const std::size_t index = next.fetch_add(1, std::memory_order_relaxed);
            if (index >= count)
                break;
            task(index);
        }
        std::lock_guard lock(mutex);
        if (--running == 0)
            allDone.notify_all();
    };
    std::vector<std::thread> pool;
    pool.reserve(std::size_t(started));
    for (int i = 0; i < started; ++i)
        pool.emplace_back(work);
    {
        std::unique_lock lock(mutex);
        while (running > 0) {
            if (allDone.wait_for(
                    lock, std::chrono::milliseconds(100), [&] { return running == 0; }))
                break;
            lock.unlock();
            tick();
            lock.lock();
        }
    }
    for (std::thread& thread : pool)
        thread.join();
    tick();
}

} // namespace finder
