#include "cli/ProgressLine.h"

#include "files/WholeIo.h"

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
    if (progress.stage == Stage::Scanning)
        return "listing files: " + QByteArray::number(progress.done) + " found";
    if (progress.stage == Stage::Finished)
        return "done";
    const QByteArray what
        = progress.stage == Stage::ReadingHeaders ? "reading headers" : "decoding";
    const QByteArray unit = progress.stage == Stage::ReadingHeaders ? "files" : "pictures";
    QByteArray line = what + ' ' + QByteArray::number(progress.done) + " of "
        + QByteArray::number(progress.total) + ' ' + unit;
    const double seconds = std::chrono::duration<double>(sinceStageStart).count();
    if (seconds >= 0.5 && progress.done > 0) {
        const double rate = double(progress.done) / seconds;
        line += ", " + QByteArray::number(rate, 'f', 0) + "/s";
        const double left = double(progress.total - progress.done) / rate;
        line += ", " + QByteArray::number(left, 'f', 0) + " s left";
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
