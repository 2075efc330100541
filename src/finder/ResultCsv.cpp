#include "finder/ResultCsv.h"

#include "finder/ResultJson.h"

namespace {

QByteArray exactBytes(const QByteArray& path)
{
    return isValidUtf8(path) ? QByteArray() : path.toBase64();
}

} // namespace

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

QByteArray resultAsCsv(const FinderResult& result)
{
    QByteArray out = "group,path,path_bytes,size,type,width,height,frames,reason\r\n";
    int number = 0;
    for (const DuplicateGroup& group : result.groups) {
        ++number;
        for (const FoundFile& file : group.files) {
            out += QByteArray::number(number) + ',' + csvField(QString::fromUtf8(file.path)) + ','
                + exactBytes(file.path) + ',' + QByteArray::number(qint64(file.identity.size)) + ','
                + csvField(file.type) + ',' + QByteArray::number(group.width) + ','
                + QByteArray::number(group.height) + ',' + QByteArray::number(group.frames)
                + ",\r\n";
        }
    }
    for (const UnreadableFile& file : result.unreadable) {
        out += ',' + csvField(QString::fromUtf8(file.path)) + ',' + exactBytes(file.path) + ",,,,,,"
            + csvField(file.reason) + "\r\n";
    }
    return out;
}
