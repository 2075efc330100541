#include "finder/TaskTimeline.h"

#include <algorithm>
#include <chrono>

namespace finder {

TaskTimeline::TaskTimeline(std::size_t tasks)
    : m_spans(tasks)
{
}

WorkSpread TaskTimeline::spread(const QString& stage, int threads) const
{
    WorkSpread spread;
    spread.stage = stage;
    spread.threads = threads;
    spread.secondsRunning.assign(std::size_t(threads) + 1, 0.0);
    // Sweep over starts (+1) and ends (-1) in time order.
    std::vector<std::pair<std::int64_t, int>> events;
    events.reserve(2 * m_spans.size());
    for (const auto& [start, end] : m_spans) {
        if (start == 0) // not run (a stopped search)
            continue;
        events.emplace_back(start, 1);
        events.emplace_back(end, -1);
    }
    std::sort(events.begin(), events.end());
    spread.tasks = std::int64_t(events.size() / 2);
    if (events.empty())
        return spread;
    int running = 0;
    for (std::size_t i = 0; i + 1 < events.size(); ++i) {
        running += events[i].second;
        const double span = double(events[i + 1].first - events[i].first) * 1e-9;
        spread.secondsRunning[std::size_t(std::clamp(running, 0, threads))] += span;
    }
    spread.seconds = double(events.back().first - events.front().first) * 1e-9;
    return spread;
}

std::int64_t TaskTimeline::now()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace finder
