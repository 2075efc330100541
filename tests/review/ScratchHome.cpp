#include "ScratchHome.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

namespace {

struct Home {
    QTemporaryDir dir{QDir::tempPath() + QStringLiteral("/corvane-review-home-XXXXXX")};
    QString data;

    Home()
    {
        data = dir.path() + QStringLiteral("/.local/share");
        qputenv("HOME", QFile::encodeName(dir.path()));
        qputenv("XDG_DATA_HOME", QFile::encodeName(data));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.path() + QStringLiteral("/.cache")));
    }
};

Home& home()
{
    static Home h;
    return h;
}

// In force before main(), before anything can ask GLib for its folders.
const bool g_inForce = !home().data.isEmpty();

} // namespace

namespace ScratchHome {

QString dataHome()
{
    (void)g_inForce;
    return home().data;
}

QStringList trashedFrom(const QString& folder)
{
    const QString prefix = QDir(folder).absolutePath() + QLatin1Char('/');
    QStringList originals;
    QDirIterator it(dataHome() + QStringLiteral("/Trash/info"), {QStringLiteral("*.trashinfo")},
        QDir::Files | QDir::Hidden);
    while (it.hasNext()) {
        QFile info(it.next());
        if (!info.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : info.readAll().split('\n')) {
            if (!line.startsWith("Path="))
                continue;
            const QString original
                = QFile::decodeName(QByteArray::fromPercentEncoding(line.mid(5).trimmed()));
            if (original.startsWith(prefix))
                originals << original;
        }
    }
    originals.sort();
    return originals;
}

} // namespace ScratchHome
