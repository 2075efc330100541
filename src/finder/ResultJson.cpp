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
        object.insert(QStringLiteral("path_bytes"), QString::fromLatin1(path.toBase64()));
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
    QJsonArray folders;
    for (const QByteArray& folder : result.folders)
        folders.append(pathObject(folder));
    QJsonArray groups;
    for (const DuplicateGroup& group : result.groups) {
        QJsonArray files;
        for (const FoundFile& found : group.files) {
            QJsonObject file = pathObject(found.path);
            file.insert(QStringLiteral("size"), qint64(found.identity.size));
            file.insert(QStringLiteral("type"), found.type);
            files.append(file);
        }
        QJsonObject object;
        object.insert(QStringLiteral("width"), qint64(group.width));
        object.insert(QStringLiteral("height"), qint64(group.height));
        object.insert(QStringLiteral("frames"), qint64(group.frames));
        object.insert(QStringLiteral("files"), files);
        groups.append(object);
    }
    QJsonArray unreadable;
    for (const UnreadableFile& file : result.unreadable) {
        QJsonObject object = pathObject(file.path);
        object.insert(QStringLiteral("reason"), file.reason);
        unreadable.append(object);
    }
    QJsonObject root;
    root.insert(QStringLiteral("folders"), folders);
    root.insert(QStringLiteral("files_examined"), qint64(result.filesExamined));
    root.insert(QStringLiteral("groups"), groups);
    root.insert(QStringLiteral("unreadable"), unreadable);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}
