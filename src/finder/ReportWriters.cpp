#include "finder/ReportWriters.h"

#include "finder/PathText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace findreport {

namespace {

QJsonObject pathObject(const QByteArray& path)
{
    QJsonObject object;
    object[QStringLiteral("path")] = pathtext::displayText(path);
    const QString bytes = pathtext::exactBytes(path);
    if (!bytes.isEmpty())
        object[QStringLiteral("path_bytes")] = bytes;
    return object;
}

QByteArray csvField(const QString& value)
{
    QByteArray field = value.toUtf8();
    if (field.contains(',') || field.contains('"') || field.contains('\n')
        || field.contains('\r')) {
        field.replace("\"", "\"\"");
        field = '"' + field + '"';
    }
    return field;
}

} // namespace

QByteArray text(const FinderResult& result)
{
    QByteArray out;
    bool first = true;
    for (const DuplicateGroup& group : result.groups) {
        if (!first)
            out += '\n';
        first = false;
        for (const FoundFile& file : group.files)
            out += pathtext::forText(file.path) + '\n';
    }
    return out;
}

QByteArray unreadableLines(const FinderResult& result)
{
    QByteArray out;
    for (const UnreadableFile& file : result.unreadable)
        out += "corvane-find: " + pathtext::forText(file.path) + ": " + file.reason.toUtf8() + '\n';
    return out;
}

QByteArray json(const FinderResult& result)
{
    QJsonArray folders;
    for (const QByteArray& folder : result.folders)
        folders.append(pathObject(folder));
    QJsonArray groups;
    for (const DuplicateGroup& group : result.groups) {
        QJsonArray files;
        for (const FoundFile& found : group.files) {
            QJsonObject file = pathObject(found.path);
            file[QStringLiteral("size")] = double(found.identity.size);
            file[QStringLiteral("type")] = found.type;
            files.append(file);
        }
        QJsonObject object;
        object[QStringLiteral("width")] = double(group.width);
        object[QStringLiteral("height")] = double(group.height);
        object[QStringLiteral("frames")] = double(group.frames);
        object[QStringLiteral("files")] = files;
        groups.append(object);
    }
    QJsonArray unreadable;
    for (const UnreadableFile& file : result.unreadable) {
        QJsonObject object = pathObject(file.path);
        object[QStringLiteral("reason")] = file.reason;
        unreadable.append(object);
    }
    QJsonObject document;
    document[QStringLiteral("folders")] = folders;
    document[QStringLiteral("files_examined")] = double(result.filesExamined);
    document[QStringLiteral("groups")] = groups;
    document[QStringLiteral("unreadable")] = unreadable;
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

QByteArray csv(const FinderResult& result)
{
    QByteArray out = "group,path,path_bytes,size,type,width,height,frames,reason\r\n";
    int number = 0;
    for (const DuplicateGroup& group : result.groups) {
        ++number;
        for (const FoundFile& file : group.files) {
            out += QByteArray::number(number) + ',' + csvField(pathtext::displayText(file.path))
                + ',' + csvField(pathtext::exactBytes(file.path)) + ','
                + QByteArray::number(file.identity.size) + ',' + csvField(file.type) + ','
                + QByteArray::number(group.width) + ',' + QByteArray::number(group.height) + ','
                + QByteArray::number(group.frames) + ",\r\n";
        }
    }
    for (const UnreadableFile& file : result.unreadable) {
        out += ',' + csvField(pathtext::displayText(file.path)) + ','
            + csvField(pathtext::exactBytes(file.path)) + ",,,,,," + csvField(file.reason) + "\r\n";
    }
    return out;
}

} // namespace findreport
