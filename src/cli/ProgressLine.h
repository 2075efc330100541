#pragma once
// The progress line corvane-find keeps on a terminal's standard error:
// "step 3 of 7, decoding 1200 of 3000 pictures, 85/s, 21 s left", rewritten
// in place. Its counts come from the search, which never lets them fall.

#include "finder/Finder.h"

#include <QByteArray>

#include <chrono>

class ProgressLine {
public:
    using Clock = std::chrono::steady_clock;

    // The line for a progress report, given when its stage began.
    static QByteArray describe(const FinderProgress& progress, Clock::duration sinceStageStart);

    // Writes the line for progress to fd (carriage return, text, erase to the end of the line).
    void show(int fd, const FinderProgress& progress);
    // Erases the line, so that what follows starts on a clean line.
    void clear(int fd);

private:
    FinderProgress::Stage m_stage = FinderProgress::Stage::Finished;
    Clock::time_point m_stageStart;
    bool m_shown = false;
};
