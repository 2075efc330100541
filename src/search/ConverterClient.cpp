#include "search/ConverterClient.h"

#include "converter/ConverterContract.h"
#include "search/ChildProcess.h"
#include "search/ImageLoader.h"
#include "search/TempBitmapReader.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// Short enough that the window keeps repainting while a converter runs.
constexpr int kWaitSliceMilliseconds = 50;
// How long a killed converter is given to disappear.
constexpr int kKillWaitMilliseconds = 2000;

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

// Holds the scratch folder for one converter run. Two Corvane windows share
// the program folder, and one must never load the other's Temp.bmp. An
// advisory flock on the folder itself: no extra file, and the kernel drops it
// when a process dies.
class ScratchLock {
public:
    explicit ScratchLock(const QString& folder)
        : m_fd(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
    }
    ~ScratchLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    ScratchLock(const ScratchLock&) = delete;
    ScratchLock& operator=(const ScratchLock&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    bool tryLock() { return ::flock(m_fd, LOCK_EX | LOCK_NB) == 0; }

private:
    int m_fd;
};

ConverterClient::ConverterClient(QString programFolder, QString scratchFolder)
    : m_programFolder(std::move(programFolder))
    , m_scratchFolder(std::move(scratchFolder))
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
    ScratchLock lock(m_scratchFolder);
    if (!acquireScratch(lock))
        return QImage();
    const QString bitmap = tempBitmapPath();
    if (!removeLeftover(bitmap))
        return QImage();
    QImage image;
    if (run(ConverterContract::conversionArguments(m_scratchFolder, imagePath))) {
        // Corvane's converter's bitmap is read straight into the picture;
        // another form goes through the general reader.
        if (TempBitmapReader::read(bitmap, &image) == TempBitmapReader::Result::OtherForm)
            image = ImageLoader::load(bitmap, "bmp");
    }
    QFile::remove(bitmap);
    return image;
}

bool ConverterClient::writeInformation(const QString& imagePath)
{
    if (!converterPresent())
        return false;
    ScratchLock lock(m_scratchFolder);
    if (!acquireScratch(lock))
        return false;
    const QString info = infoFilePath();
    if (!removeLeftover(info))
        return false;
    if (run(ConverterContract::informationArguments(m_scratchFolder, imagePath))
        && QFileInfo(info).isFile())
        return true;
    // A report from a failed or killed run may be cut short: never leave it to be read.
    QFile::remove(info);
    return false;
}

bool ConverterClient::run(const QStringList& arguments)
{
    // posix_spawn, not QProcess: a fork-based start copies the page tables
    // of the window process, whose pictures make it large (bench/
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

bool ConverterClient::acquireScratch(ScratchLock& lock)
{
    // A missing scratch folder could not receive the output anyway.
    if (!lock.isOpen())
        return false;
    // Another window's run ends within the converter's time limit.
    QElapsedTimer elapsed;
    elapsed.start();
    while (!lock.tryLock()) {
        if ((m_abort && m_abort()) || elapsed.elapsed() > ConverterContract::kWaitMilliseconds)
            return false;
        QThread::msleep(kWaitSliceMilliseconds);
        eventTurn();
    }
    return true;
}

void ConverterClient::WaitForProcess(ChildProcess& process)
{
    eventTurn();
    QElapsedTimer elapsed;
    elapsed.start();
    while (process.running()) {
        if (m_abort && m_abort())
            break;
        const qint64 left = ConverterContract::kWaitMilliseconds - elapsed.elapsed();
        if (left <= 0)
            break;
        if (process.waitForFinished(int(qMin<qint64>(left, kWaitSliceMilliseconds))))
            break;
        eventTurn();
    }
    eventTurn();
}

void ConverterClient::eventTurn()
{
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
