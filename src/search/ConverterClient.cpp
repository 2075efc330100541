#include "search/ConverterClient.h"

#include "converter/ConverterContract.h"
#include "search/ChildProcess.h"
#include "search/ImageLoader.h"
#include "search/ScratchTurn.h"
#include "search/TempBitmapReader.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <sched.h>
#include <utility>

namespace {

// Short enough that the window keeps repainting while a converter runs.
constexpr int kWaitSliceMilliseconds = 50;
// How long a killed converter is given to disappear.
constexpr int kKillWaitMilliseconds = 2000;

constexpr qint64 kNanosecondsPerMillisecond = 1'000'000;

// Cores this process (and so the converter it starts) may run on.
int usableCores()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) != 0)
        return std::max(1, QThread::idealThreadCount());
    return std::max(1, CPU_COUNT(&set));
}

bool pathTaken(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// Removes a scratch file left from an earlier run, so that a converter that
// writes nothing can never hand back an old result. False when it stays.
bool removeLeftover(const QString& path)
{
    if (!pathTaken(path))
        return true;
    QFile::remove(path);
    return !pathTaken(path);
}

} // namespace

// One use of the client on the stack: counts it and makes its turn the one
// that event turns mark as working and that stopNow() gives back.
class ConverterUse {
public:
    ConverterUse(ConverterClient* client, ScratchTurn* turn)
        : m_client(client)
        , m_outer(client->m_turn)
    {
        ++m_client->m_uses;
        m_client->m_turn = turn;
    }
    ~ConverterUse()
    {
        --m_client->m_uses;
        m_client->m_turn = m_outer;
    }
    ConverterUse(const ConverterUse&) = delete;
    ConverterUse& operator=(const ConverterUse&) = delete;

private:
    ConverterClient* m_client;
    ScratchTurn* m_outer;
};

ConverterClient::ConverterClient(QString programFolder, QString scratchFolder)
    : m_programFolder(std::move(programFolder))
    , m_scratchFolder(std::move(scratchFolder))
    , m_timeLimit(ConverterContract::kWaitMilliseconds)
{
}

void ConverterClient::setEventTurn(std::function<void()> turn)
{
    m_eventTurn = std::move(turn);
}

void ConverterClient::setAbortCheck(std::function<bool()> abort)
{
    m_abort = std::move(abort);
}

void ConverterClient::setTimeLimit(int milliseconds)
{
    m_timeLimit = milliseconds;
}

void ConverterClient::setWallClockLimit(int milliseconds)
{
    m_wallClockLimit = milliseconds;
}

QString ConverterClient::tempBitmapPath() const
{
    return m_scratchFolder + QLatin1Char('/') + QLatin1String(ConverterContract::kTempBitmapName);
}

QString ConverterClient::infoFilePath() const
{
    return m_scratchFolder + QLatin1Char('/') + QLatin1String(ConverterContract::kInfoFileName);
}

QString ConverterClient::programPath() const
{
    return ConverterContract::programPath(m_programFolder);
}

bool ConverterClient::converterPresent() const
{
    const QFileInfo info(programPath());
    return info.isFile() && info.isExecutable();
}

QString ConverterClient::conversionCommandLine(const QString& imagePath) const
{
    return ConverterContract::conversionCommandLine(m_programFolder, m_scratchFolder, imagePath);
}

QString ConverterClient::informationCommandLine(const QString& imagePath) const
{
    return ConverterContract::informationCommandLine(m_programFolder, m_scratchFolder, imagePath);
}

QImage ConverterClient::convert(const QString& imagePath)
{
    if (!converterPresent())
        return QImage();
    ScratchTurn turn(m_scratchFolder);
    const ConverterUse use(this, &turn);
    if (!acquireScratch(turn))
        return QImage();
    const QString bitmap = tempBitmapPath();
    if (!removeLeftover(bitmap))
        return QImage();
    QImage image;
    const bool ran = run(ConverterContract::conversionArguments(m_scratchFolder, imagePath));
    // Given back meanwhile (stopNow): the folder may be another process's now.
    if (!turn.held())
        return QImage();
    // Corvane's converter's bitmap is read straight into the picture;
    // another form goes through the general reader.
    if (ran && TempBitmapReader::read(bitmap, &image) == TempBitmapReader::Result::OtherForm)
        image = ImageLoader::load(bitmap, "bmp");
    QFile::remove(bitmap);
    return image;
}

bool ConverterClient::writeInformation(const QString& imagePath)
{
    if (!converterPresent())
        return false;
    ScratchTurn turn(m_scratchFolder);
    const ConverterUse use(this, &turn);
    if (!acquireScratch(turn))
        return false;
    const QString info = infoFilePath();
    if (!removeLeftover(info))
        return false;
    const bool ran = run(ConverterContract::informationArguments(m_scratchFolder, imagePath));
    if (!turn.held())
        return false;
    if (ran && QFileInfo(info).isFile())
        return true;
    // A report from a failed or killed run may be cut short: never leave it to be read.
    QFile::remove(info);
    return false;
}

bool ConverterClient::run(const QStringList& arguments)
{
    // posix_spawn: never a copy of the window process's page tables, and
    // less of the window's CPU per start than QProcess (bench/
    // ConverterLaunchBench measures both).
    ChildProcess process;
    if (!process.start(programPath(), arguments))
        return false;

    WaitForProcess(process);

    if (process.running()) {
        process.kill(kKillWaitMilliseconds);
        return false;
    }
    return process.exitedNormally() && process.exitCode() == ConverterContract::kExitOk;
}

bool ConverterClient::acquireScratch(ScratchTurn& turn)
{
    // Waiting for another Corvane is not this conversion failing: no time
    // limit here, only an abort or a queue ahead that stopped working ends it.
    for (;;) {
        const ScratchTurn::State state = turn.poll();
        if (state == ScratchTurn::State::Held)
            return true;
        if (state != ScratchTurn::State::Waiting || (m_abort && m_abort()))
            return false;
        QThread::msleep(kWaitSliceMilliseconds);
        eventTurn();
    }
}

void ConverterClient::WaitForProcess(ChildProcess& process)
{
    ChildProcess* const outer = std::exchange(m_waitedProcess, &process);
    eventTurn();
    const int cores = usableCores();
    int threads = 1;
    QElapsedTimer elapsed;
    elapsed.start();
    while (process.running()) {
        if (m_abort && m_abort())
            break;
        const qint64 wallLeft = m_wallClockLimit - elapsed.elapsed();
        if (wallLeft <= 0)
            break;
        // Threads beyond the cores add no work per second, only sharing.
        threads = std::max(threads, std::min(process.threadCount(), cores));
        const qint64 limit = qint64(m_timeLimit) * kNanosecondsPerMillisecond * threads;
        qint64 used = process.processorNanoseconds();
        if (used < 0) // unreadable: the clock stands in, as the strictest measure
            used = elapsed.nsecsElapsed() * threads;
        if (used >= limit)
            break;
        // The converter cannot use more than one second of processor time per
        // core and second, so it cannot reach the limit before this.
        const qint64 earliest = (limit - used) / cores / kNanosecondsPerMillisecond;
        const qint64 slice = std::clamp<qint64>(earliest, 1, kWaitSliceMilliseconds);
        if (process.waitForFinished(int(std::min(wallLeft, slice))))
            break;
        eventTurn();
    }
    eventTurn();
    m_waitedProcess = outer;
}

void ConverterClient::stopNow()
{
    if (m_waitedProcess && m_waitedProcess->running())
        m_waitedProcess->kill(kKillWaitMilliseconds);
    // Only a converter that is gone can no longer write into the folder.
    const bool converterGone = !m_waitedProcess || !m_waitedProcess->running();
    if (m_turn && converterGone)
        m_turn->release();
}

void ConverterClient::eventTurn()
{
    // The turns come at least every wait slice while this client waits or
    // converts: the processes queued behind see it working.
    if (m_turn)
        m_turn->stamp();
    if (m_eventTurn)
        m_eventTurn();
}

QString ConverterClient::defaultScratchFolder(const QString& programFolder)
{
    const QFileInfo folder(programFolder);
    if (folder.isDir() && folder.isWritable())
        return programFolder;
    QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (cache.isEmpty())
        cache = QDir::tempPath() + QStringLiteral("/Corvane");
    QDir().mkpath(cache);
    return cache;
}
