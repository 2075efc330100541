#include "review/MarkedFileSteps.h"

#include <QLocale>

MarkedFileSteps::MarkedFileSteps(const ReviewModel& model)
{
    for (int g = 0; g < model.groupCount(); ++g) {
        for (const ReviewFile& file : model.group(g).files)
            m_listings[file.found.path].push_back(file.id);
    }
}

void MarkedFileSteps::step()
{
    if (finished())
        return;
    actOn(m_next);
    ++m_next;
}

void MarkedFileSteps::runToEnd()
{
    while (!finished())
        step();
}

void MarkedFileSteps::addToPlan(std::int64_t bytes)
{
    ++m_total;
    m_totalBytes += bytes;
}

void MarkedFileSteps::acted(int id, const QByteArray& path, std::int64_t freed)
{
    m_acted.push_back(id);
    for (int listing : m_listings[path])
        m_gone.push_back(listing);
    m_freedBytes += freed;
}

void MarkedFileSteps::leftAlone(const QString& shownPath, const QString& reason, bool skipped)
{
    m_notDone.push_back({shownPath, reason, skipped});
}

int MarkedFileSteps::skippedCount() const
{
    int skipped = 0;
    for (const NotDone& n : m_notDone)
        skipped += n.skipped ? 1 : 0;
    return skipped;
}

QStringList MarkedFileSteps::problems() const
{
    QStringList lines;
    for (const NotDone& n : m_notDone)
        lines << n.path + QStringLiteral(": ") + n.reason;
    return lines;
}

QString MarkedFileSteps::sizeText(std::int64_t bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

QString MarkedFileSteps::filesText(int count)
{
    return count == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(count);
}

QByteArray MarkedFileSteps::parentFolder(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}
