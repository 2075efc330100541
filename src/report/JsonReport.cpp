#include "report/ReportParts.h"
#include "report/ReportWriters.h"

#include "finder/PathText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace findreport {

using detail::differenceOf;
using detail::groupKinds;
using detail::regionInReference;

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

void addFlags(QJsonObject& object, const FoundFile& file)
{
    if (file.isProtected)
        object[QStringLiteral("protected")] = true;
    if (file.ignored)
        object[QStringLiteral("ignored")] = true;
}

} // namespace

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
            addFlags(file, found);
            files.append(file);
        }
        QJsonObject object;
        object[QStringLiteral("kind")] = QStringLiteral("identical");
        object[QStringLiteral("width")] = double(group.width);
        object[QStringLiteral("height")] = double(group.height);
        object[QStringLiteral("frames")] = double(group.frames);
        object[QStringLiteral("files")] = files;
        groups.append(object);
    }
    for (const auto& [kind, list] : groupKinds(result)) {
        for (const SamePhotoGroup& group : *list) {
            const SamePhotoMember& best = group.members.front();
            QJsonArray files;
            for (const SamePhotoMember& member : group.members) {
                for (const FoundFile& found : member.files) {
                    QJsonObject file = pathObject(found.path);
                    file[QStringLiteral("size")] = double(found.identity.size);
                    file[QStringLiteral("type")] = found.type;
                    file[QStringLiteral("width")] = double(member.width);
                    file[QStringLiteral("height")] = double(member.height);
                    if (&found != &best.files.front()) {
                        const similar::PhotoDifference d = differenceOf(member, best);
                        QJsonObject difference;
                        difference[QStringLiteral("ssim")] = d.ssim;
                        difference[QStringLiteral("mean")] = d.mean;
                        difference[QStringLiteral("max")] = d.max;
                        difference[QStringLiteral("compared_at")]
                            = QJsonArray{double(d.comparedWidth), double(d.comparedHeight)};
                        const auto region = regionInReference(d, best);
                        QJsonObject local;
                        local[QStringLiteral("value")] = d.local.value;
                        local[QStringLiteral("limit")] = d.local.limit;
                        local[QStringLiteral("region")] = QJsonArray{double(region[0]),
                            double(region[1]), double(region[2]), double(region[3])};
                        difference[QStringLiteral("local")] = local;
                        difference[QStringLiteral("tone")]
                            = QJsonArray{d.tone.mean[0], d.tone.mean[1], d.tone.mean[2]};
                        difference[QStringLiteral("framing_shift")] = d.shift;
                        file[QStringLiteral("difference")] = difference;
                    }
                    if (member.identicalGroup >= 0)
                        file[QStringLiteral("identical_group")] = member.identicalGroup;
                    addFlags(file, found);
                    files.append(file);
                }
            }
            QJsonObject object;
            object[QStringLiteral("kind")] = QString::fromLatin1(kind);
            object[QStringLiteral("width")] = double(best.width);
            object[QStringLiteral("height")] = double(best.height);
            object[QStringLiteral("files")] = files;
            if (list == &result.samePhotoGroups) {
                object[QStringLiteral("best_copy")] = group.bestFile >= 0
                    ? QJsonValue(group.bestFile)
                    : QJsonValue(QJsonValue::Null);
                object[QStringLiteral("best_because")] = group.bestBecause;
            }
            groups.append(object);
        }
    }
    QJsonArray unreadable;
    for (const UnreadableFile& file : result.unreadable) {
        QJsonObject object = pathObject(file.path);
        if (file.size >= 0)
            object[QStringLiteral("size")] = double(file.size);
        if (!file.type.isEmpty())
            object[QStringLiteral("type")] = file.type;
        object[QStringLiteral("reason")] = file.reason;
        unreadable.append(object);
    }
    QJsonObject document;
    document[QStringLiteral("folders")] = folders;
    document[QStringLiteral("files_examined")] = double(result.filesExamined);
    document[QStringLiteral("files_not_examined")] = double(result.filesNotExamined);
    document[QStringLiteral("files_not_pictures")] = double(result.filesNotPictures);
    document[QStringLiteral("groups_ignored")] = double(result.groupsIgnored);
    document[QStringLiteral("groups")] = groups;
    document[QStringLiteral("unreadable")] = unreadable;
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

} // namespace findreport
