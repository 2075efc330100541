#include "review/FileRecheck.h"

#include <QFile>

QString changeSinceSearch(const QByteArray& path, const FileIdentity& searched)
{
    int err = 0;
    const FileChange change = changeSince(path.constData(), searched, ChangeTime::Compared, &err);
    return QString::fromStdString(changeText(change, err));
}

bool survivesAsText(const QByteArray& path)
{
    return QFile::encodeName(QFile::decodeName(path)) == path;
}
