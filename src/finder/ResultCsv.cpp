#include "finder/ResultCsv.h"

#include "finder/ResultJson.h"

QByteArray csvField(const QByteArray& utf8)
{
    const bool quote = utf8.contains(',') || utf8.contains('"') || utf8.contains('\n')
        || utf8.contains('\r') || utf8.startsWith(' ') || utf8.endsWith(' ');
    if (!quote)
        return utf8;
    QByteArray field = utf8;
    field.replace('"', "\"\"");
    return '"' + field + '"';
}

QByteArray resultAsCsv(const FinderResult& result)
{
    QByteArray out = "group,path,size,type,width,height,path_base64\r\n";
    int number = 0;
    for (const DuplicateGroup& group : result.groups) {
        ++number;
        for (const FoundFile& file : group.files) {
            const bool exact = isValidUtf8(file.path);
            out += QByteArray::number(number) + ',';
            out += csvField(exact ? file.path : QString::fromUtf8(file.path).toUtf8()) + ',';
            out += QByteArray::number(qint64(file.identity.size)) + ',';
            out += csvField(file.type.toUtf8()) + ',';
            out += QByteArray::number(group.width) + ',' + QByteArray::number(group.height) + ',';
            if (!exact)
                out += file.path.toBase64();
            out += "\r\n";
        }
    }
    return out;
}
