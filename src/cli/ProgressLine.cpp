#include "cli/ProgressLine.h"

#include "files/WholeIo.h"
#include "finder/SearchProgress.h"

#include <unistd.h>

namespace {

void writeAll(int fd, const QByteArray& bytes)
{
    ::writeAll(fd, bytes.constData(), std::size_t(bytes.size()));
}

} // namespace

QByteArray ProgressLine::describe(const FinderProgress& progress, Clock::duration sinceStageStart)
{
    using Stage = FinderProgress::Stage;
    if (progress.stage == Stage::Finished)
        return "done";
    QByteArray line = "step " + QByteArray::number(progress.step) + " of "
        + QByteArray::number(progress.steps) + ", " + finder::stageName(progress.stage);
    if (progress.stage == Stage::Scanning)
        return line + ": " + QByteArray::number(progress.done) + " files found";
    line += ' ' + QByteArray::number(progress.done) + " of " + QByteArray::number(progress.total)
        + ' ' + finder::stageUnit(progress.stage);
    const double seconds = std::chrono::duration<double>(sinceStageStart).count();
    if (const std::optional<double> left = finder::secondsLeft(progress, seconds)) {
        line += ", " + QByteArray::number(double(progress.done) / seconds, 'f', 0) + "/s";
        line += ", " + QByteArray::number(*left, 'f', 0) + " s left";
    }
    return line;
}

void ProgressLine::show(int fd, const FinderProgress& progress)
{
    const Clock::time_point now = Clock::now();
    if (progress.stage != m_stage) {
        m_stage = progress.stage;
        m_stageStart = now;
    }
    writeAll(fd, "\r" + describe(progress, now - m_stageStart) + "\x1b[K");
    m_shown = true;
}

void ProgressLine::clear(int fd)
{
    if (m_shown)
        writeAll(fd, "\r\x1b[K");
    m_shown = false;
}
