#include "shell/SubfolderHint.h"

#include <QFile>
#include <QLocale>
#include <QMetaObject>

SubfolderHint::SubfolderHint(QObject* parent)
    : QObject(parent)
{
}

SubfolderHint::~SubfolderHint()
{
    forget();
}

void SubfolderHint::forget()
{
    ++m_generation;
    if (m_stop)
        m_stop->store(true);
    // The count looks at its stop flag between entries: the join is short.
    if (m_thread.joinable())
        m_thread.join();
    m_stop.reset();
}

void SubfolderHint::look(const QString& folder)
{
    forget();
    auto stop = std::make_shared<std::atomic<bool>>(false);
    m_stop = stop;
    const quint64 generation = m_generation;
    const QByteArray path = QFile::encodeName(folder);
    m_thread = std::thread([this, stop, generation, path] {
        const finder::SubfolderPictures count
            = finder::countSubfolderPictures(path, kLimit, stop.get());
        if (count.cancelled)
            return;
        const QString line = lineFor(count);
        // Queued to the window's thread; forget() joins this thread before
        // the object can go, and a stale generation is dropped there.
        QMetaObject::invokeMethod(
            this,
            [this, generation, line] {
                if (generation == m_generation && !line.isEmpty())
                    emit ready(line);
            },
            Qt::QueuedConnection);
    });
}

QString SubfolderHint::lineFor(const finder::SubfolderPictures& count)
{
    if (count.cancelled || count.pictures <= 0)
        return QString();
    const QString tick
        = QStringLiteral("Tick Include subfolders in the folder picker to search every picture.");
    if (count.overLimit)
        return QStringLiteral("More than %1 pictures in subfolders were not searched. ")
                   .arg(QLocale(QLocale::English).toString(qlonglong(kLimit)))
            + tick;
    const QString pictures = count.pictures == 1
        ? QStringLiteral("1 picture")
        : QStringLiteral("%1 pictures").arg(count.pictures);
    const QString folders = count.folders == 1 ? QStringLiteral("1 subfolder")
                                               : QStringLiteral("%1 subfolders").arg(count.folders);
    return QStringLiteral("%1 in %2 %3 not searched. ")
               .arg(pictures, folders,
                   count.pictures == 1 ? QStringLiteral("was") : QStringLiteral("were"))
        + tick;
}
