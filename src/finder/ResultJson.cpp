#include "finder/ResultJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>

namespace {

QJsonObject pathObject(const QByteArray& path)
{
    QJsonObject object;
    object.insert(QStringLiteral("path"), QString::fromUtf8(path));
    if (!isValidUtf8(path))
        object.insert(QStringLiteral("path_base64"), QString::fromLatin1(path.toBase64()));
    return object;
}

} // namespace

bool isValidUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

QByteArray resultAsJson(const FinderResult& result)
{
    QJsonObject root;
    QJsonArray folders;
    QJsonArray foldersExact;
    bool anyInexact = false;
    for (const QByteArray& folder : result.folders) {
        folders.append(QString::fromUtf8(folder));
        foldersExact.append(QString::fromLatin1(folder.toBase64()));
        anyInexact = anyInexact || !isValidUtf8(folder);
    }
    root.insert(QStringLiteral("folders"), folders);
    if (anyInexact)
        root.insert(QStringLiteral("folders_base64"), foldersExact);
    root.insert(QStringLiteral("files_examined"), qint64(result.filesExamined));

    QJsonArray groups;
    for (const DuplicateGroup& group : result.groups) {
        QJsonObject g;
        g.insert(QStringLiteral("width"), qint64(group.width));
        g.insert(QStringLiteral("height"), qint64(group.height));
        g.insert(QStringLiteral("frames"), qint64(group.frames));
        QJsonArray files;
        for (const FoundFile& file : group.files) {
            QJsonObject f = pathObject(file.path);
            f.insert(QStringLiteral("size"), qint64(file.identity.size));
            f.insert(QStringLiteral("type"), file.type);
            files.append(f);
        }
        g.insert(QStringLiteral("files"), files);
        groups.append(g);
    }
    root.insert(QStringLiteral("groups"), groups);

    QJsonArray unreadable;
    for (const UnreadableFile& file : result.unreadable) {
        QJsonObject u = pathObject(file.path);
        u.insert(QStringLiteral("reason"), file.reason);
        unreadable.append(u);
    }
    root.insert(QStringLiteral("unreadable"), unreadable);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}
