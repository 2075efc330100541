#include "finder/SearchProgress.h"

#include <algorithm>

namespace finder {

namespace {

using Stage = FinderProgress::Stage;

// A stage's share of the bar, roughly its share of a cold search's time:
// decoding and the same-photo proofs are where the time goes.
double weightOf(Stage stage)
{
    switch (stage) {
    case Stage::Scanning:
        return 1;
    case Stage::ReadingHeaders:
        return 2;
    case Stage::Decoding:
        return 10;
    case Stage::Signing:
        return 3;
    case Stage::FindingCandidates:
        return 1;
    case Stage::Proving:
        return 5;
    case Stage::Grouping:
        return 1;
    case Stage::Finished:
        break;
    }
    return 0;
}

} // namespace

std::vector<Stage> stagesOf(bool samePhoto)
{
    std::vector<Stage> stages{Stage::Scanning, Stage::ReadingHeaders, Stage::Decoding};
    if (samePhoto) {
        stages.insert(stages.end(),
            {Stage::Signing, Stage::FindingCandidates, Stage::Proving, Stage::Grouping});
    }
    return stages;
}

const char* stageName(Stage stage)
{
    switch (stage) {
    case Stage::Scanning:
        return "scanning";
    case Stage::ReadingHeaders:
        return "reading headers";
    case Stage::Decoding:
        return "decoding";
    case Stage::Signing:
        return "signing";
    case Stage::FindingCandidates:
        return "finding candidates";
    case Stage::Proving:
        return "proving";
    case Stage::Grouping:
        return "grouping";
    case Stage::Finished:
        break;
    }
    return "done";
}

const char* stageUnit(Stage stage)
{
    switch (stage) {
    case Stage::Scanning:
    case Stage::ReadingHeaders:
        return "files";
    case Stage::Proving:
        return "pairs";
    case Stage::Grouping:
        return "steps";
    default:
        return "pictures";
    }
}

ProgressTracker::ProgressTracker(bool samePhoto)
    : m_stages(stagesOf(samePhoto))
{
    double all = 0;
    for (Stage stage : m_stages)
        all += weightOf(stage);
    double start = 0;
    for (Stage stage : m_stages) {
        m_start.push_back(start / all);
        start += weightOf(stage);
    }
    m_start.push_back(1);
}

bool ProgressTracker::beginsStage(Stage stage) const
{
    if (stage == Stage::Finished)
        return m_index < int(m_stages.size());
    const auto at = std::find(m_stages.begin(), m_stages.end(), stage);
    return at != m_stages.end() && int(at - m_stages.begin()) > m_index;
}

std::optional<FinderProgress> ProgressTracker::next(
    Stage stage, std::int64_t done, std::int64_t total)
{
    const int steps = int(m_stages.size());
    int index = steps; // Finished
    if (stage != Stage::Finished) {
        const auto at = std::find(m_stages.begin(), m_stages.end(), stage);
        if (at == m_stages.end())
            return std::nullopt; // a stage this search does not run
        index = int(at - m_stages.begin());
    }
    if (index < m_index)
        return std::nullopt;
    if (index > m_index) {
        m_index = index;
        m_done = 0;
        m_total = 0;
    }
    m_done = std::max(m_done, done);
    m_total = std::max({m_total, total, total > 0 ? m_done : 0});
    FinderProgress progress;
    progress.stage = stage;
    progress.done = m_done;
    progress.total = m_total;
    progress.steps = steps;
    progress.step = std::min(index + 1, steps);
    const double within = m_total > 0 ? double(m_done) / double(m_total) : 0.0;
    const std::size_t at = std::size_t(index);
    const double fraction = index >= steps
        ? 1.0
        : m_start[at] + (m_start[at + 1] - m_start[at]) * std::clamp(within, 0.0, 1.0);
    m_fraction = std::max(m_fraction, fraction);
    progress.fraction = m_fraction;
    return progress;
}

std::optional<double> secondsLeft(const FinderProgress& progress, double secondsInStage)
{
    if (secondsInStage < 0.5 || progress.done <= 0 || progress.done >= progress.total
        || progress.stage == Stage::Finished)
        return std::nullopt;
    const double rate = double(progress.done) / secondsInStage;
    return double(std::max<std::int64_t>(0, progress.total - progress.done)) / rate;
}

} // namespace finder
