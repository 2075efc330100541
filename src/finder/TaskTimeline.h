#pragma once
// When each task of a stage started and ended, kept so that the stage's
// spread over the workers can be told afterwards (FinderStats::spread).
// Each task writes only its own slot: no lock.

#include "finder/Finder.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace finder {

class TaskTimeline {
public:
    explicit TaskTimeline(std::size_t tasks);

    template <typename Task> void run(std::size_t n, Task&& task)
    {
        m_spans[n].first = now();
        task();
        m_spans[n].second = now();
    }
    WorkSpread spread(const QString& stage, int threads) const;

private:
    static std::int64_t now();
    std::vector<std::pair<std::int64_t, std::int64_t>> m_spans;
};

} // namespace finder
