#pragma once
// What the whole-folder search tells of its progress, made the same way for
// every front-end: which stages a search runs, the counts that never fall,
// one fraction of the whole search that never falls, the stages' names, and
// the time a stage has left once its pace is known.

#include "finder/Finder.h"

#include <optional>
#include <vector>

namespace finder {

// The stages a search runs, in order (Finished not among them).
std::vector<FinderProgress::Stage> stagesOf(bool samePhoto);

// "decoding", "proving", ...: the stage as a few words, lower case.
const char* stageName(FinderProgress::Stage stage);
// What a stage counts: "files", "pictures", "pairs", ...
const char* stageUnit(FinderProgress::Stage stage);

// Turns the stages' own reports into FinderProgress. A stage's counts are
// clamped so that they never fall (a total may grow: more work found), a
// stage never comes back once a later one began, and the fraction of the
// whole search (the finished stages' weights plus the running stage's share
// of its own) never falls either.
class ProgressTracker {
public:
    explicit ProgressTracker(bool samePhoto);

    // The report to send, or nothing for a report of a stage already left
    // behind (which would move the progress backwards).
    std::optional<FinderProgress> next(
        FinderProgress::Stage stage, std::int64_t done, std::int64_t total);
    // Whether this report begins a stage (or finishes the search).
    bool beginsStage(FinderProgress::Stage stage) const;

private:
    std::vector<FinderProgress::Stage> m_stages;
    std::vector<double> m_start; // each stage's start as a fraction of the whole
    int m_index = -1;
    std::int64_t m_done = 0;
    std::int64_t m_total = 0;
    double m_fraction = 0;
};

// Seconds the stage has left at the pace it has kept for secondsInStage:
// nothing until that can be told (too early, nothing done yet, no total),
// nor once the count is at its total (what follows is not counted yet).
std::optional<double> secondsLeft(const FinderProgress& progress, double secondsInStage);

} // namespace finder
