#pragma once
// Runs one task per index on a few threads while the calling thread waits
// and looks after progress: the decode pool of the whole-folder search.

#include <atomic>
#include <cstddef>
#include <functional>

namespace finder {

// One thread per core (at least one).
int coreCount();

// Calls task(i) for every i in [0, count) on `threads` worker threads, in
// rising order of i. The calling thread only waits, calling tick() about ten
// times a second and once more after the last task. When *stop becomes true
// no further task starts; the call returns when the running ones are done.
void runOnWorkers(std::size_t count, int threads, const std::atomic<bool>* stop,
    const std::function<void(std::size_t)>& task, const std::function<void()>& tick);

} // namespace finder
