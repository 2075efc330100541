#include "finder/ReportWriters.h"

#include "finder/PathText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <array>

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

QByteArray number(double value, int decimals)
{
    return QByteArray::number(value, 'f', decimals);
}

// The figures of a file other than a same-photo group's best copy: its
// member's difference, or none at all (0) for a file identical to the best copy.
similar::PhotoDifference differenceOf(const SamePhotoMember& member, const SamePhotoMember& best)
{
    if (member.difference)
        return *member.difference;
    similar::PhotoDifference same;
    same.ssim = 1.0;
    same.comparedWidth = best.width;
    same.comparedHeight = best.height;
    return same;
}

// The worst region, in the pixels of the best copy (the reference every
// member was measured against) rather than in the measured ones.
std::array<std::uint32_t, 4> regionInReference(
    const similar::PhotoDifference& d, const SamePhotoMember& best)
{
    if (d.comparedWidth == 0 || d.comparedHeight == 0)
        return {};
    const double sx = double(best.width) / d.comparedWidth;
    const double sy = double(best.height) / d.comparedHeight;
    const auto& r = d.local.region;
    return {std::uint32_t(r[0] * sx), std::uint32_t(r[1] * sy), std::uint32_t(r[2] * sx + 0.5),
        std::uint32_t(r[3] * sy + 0.5)};
}

// The groups measured against a first member, by the kind each report names:
// the same photo, then edited copies.
std::array<std::pair<const char*, const std::vector<SamePhotoGroup>*>, 2> groupKinds(
    const FinderResult& result)
{
    return {{{"same photo", &result.samePhotoGroups}, {"edited", &result.editedGroups}}};
}

// The last two CSV columns: protected and ignored, 1 or 0.
QByteArray flagColumns(const FoundFile& file)
{
    return QByteArray(",") + (file.isProtected ? "1" : "0") + ',' + (file.ignored ? "1" : "0");
}

// What the text form says after a path: "protected", "ignored" or both.
QByteArray flagsText(const FoundFile& file)
{
    QByteArray text;
    if (file.isProtected)
        text += "protected";
    if (file.ignored)
        text += text.isEmpty() ? "ignored" : ", ignored";
    return text;
}

void addFlags(QJsonObject& object, const FoundFile& file)
{
    if (file.isProtected)
        object[QStringLiteral("protected")] = true;
    if (file.ignored)
        object[QStringLiteral("ignored")] = true;
}

QByteArray signedNumber(double value, int decimals)
{
    return (value >= 0 ? "+" : "") + number(value, decimals);
}

QByteArray differenceText(const similar::PhotoDifference& d, const SamePhotoMember& best)
{
    const auto region = regionInReference(d, best);
    return "ssim " + number(d.ssim, 4) + ", mean " + number(d.mean, 2) + ", max "
        + QByteArray::number(d.max) + ", local " + number(d.local.value, 1) + " of "
        + number(d.local.limit, 1) + " at " + QByteArray::number(region[0]) + ","
        + QByteArray::number(region[1]) + ", tone " + signedNumber(d.tone.mean[0], 1) + "/"
        + signedNumber(d.tone.mean[1], 1) + "/" + signedNumber(d.tone.mean[2], 1) + ", compared at "
        + QByteArray::number(d.comparedWidth) + " x " + QByteArray::number(d.comparedHeight);
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
        if (result.samePhotoSearched)
            out += "identical, " + QByteArray::number(group.width) + " x "
                + QByteArray::number(group.height) + ":\n";
        for (const FoundFile& file : group.files) {
            out += pathtext::forText(file.path);
            const QByteArray flags = flagsText(file);
            if (!flags.isEmpty())
                out += "  (" + flags + ')';
            out += '\n';
        }
    }
    for (const auto& [kind, list] : groupKinds(result)) {
        for (const SamePhotoGroup& group : *list) {
            if (!first)
                out += '\n';
            first = false;
            out += QByteArray(kind) + ":\n";
            const bool edited = list == &result.editedGroups;
            const SamePhotoMember& best = group.members.front();
            for (const SamePhotoMember& member : group.members) {
                for (const FoundFile& file : member.files) {
                    out += pathtext::forText(file.path) + "  (" + QByteArray::number(member.width)
                        + " x " + QByteArray::number(member.height) + ", ";
                    const bool bestFile = !edited && group.bestFile >= 0
                        && &file == &best.files[std::size_t(group.bestFile)];
                    if (edited && &member == &best)
                        out += &file == &best.files.front() ? "edited from this"
                                                            : "identical to it";
                    else if (bestFile)
                        out += "best copy: " + group.bestBecause.toUtf8();
                    else if (group.bestFile < 0 && &file == &best.files.front())
                        out += group.bestBecause.toUtf8();
                    else if (&member == &best)
                        out += group.bestFile >= 0 ? "identical to the best copy"
                                                   : "identical to the first";
                    else
                        out += differenceText(*member.difference, best);
                    const QByteArray flags = flagsText(file);
                    if (!flags.isEmpty())
                        out += "; " + flags;
                    out += ")\n";
                }
            }
        }
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

namespace {

// "1 file", "2 files": a count and a noun that agrees with it.
QString counted(std::int64_t count, const char* one, const char* many)
{
    return QString::number(count) + QLatin1Char(' ') + QLatin1String(count == 1 ? one : many);
}

} // namespace

QByteArray summaryLine(const FinderResult& result)
{
    std::int64_t grouped = 0;
    for (const DuplicateGroup& group : result.groups)
        grouped += std::int64_t(group.files.size());
    QString line = counted(result.filesExamined, "file", "files") + QStringLiteral(" examined: ")
        + counted(std::int64_t(result.groups.size()), "group", "groups")
        + QStringLiteral(" of identical pictures");
    if (grouped > 0)
        line += QStringLiteral(" (") + counted(grouped, "file", "files") + QLatin1Char(')');
    line += QStringLiteral(", %1 unreadable").arg(result.unreadable.size());
    if (result.filesNotPictures > 0)
        line += QStringLiteral(", ")
            + counted(result.filesNotPictures, "file not a picture", "files not pictures");
    const std::int64_t otherNames = result.filesNotExamined - result.filesTooSmall;
    if (otherNames > 0)
        line += QStringLiteral("; ") + counted(otherNames, "file", "files")
            + QStringLiteral(" not examined (names without a picture suffix; --any-name "
                             "examines them)");
    if (result.filesTooSmall > 0)
        line += QStringLiteral("; ") + counted(result.filesTooSmall, "file", "files")
            + QStringLiteral(" not examined (smaller than the minimum size)");
    if (result.groupsIgnored > 0)
        line += QStringLiteral("; ") + counted(result.groupsIgnored, "group", "groups")
            + QStringLiteral(" judged not duplicates left out (--show-ignored shows them)");
    return "corvane-find: " + line.toUtf8() + '\n';
}

QByteArray cacheNote(const QString& problem, bool usedAnyway)
{
    return "corvane-find: note: the fingerprint cache "
        + QByteArray(usedAnyway ? "was made anew: " : "was not used: ") + problem.toUtf8() + '\n';
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

QByteArray csv(const FinderResult& result)
{
    QByteArray out = "group,path,path_bytes,size,type,width,height,frames,reason,kind,ssim,mean,"
                     "max,compared_width,compared_height,identical_group,best_copy,best_because,"
                     "local,local_limit,local_x,local_y,local_width,local_height,tone_red,"
                     "tone_green,tone_blue,framing_shift,protected,ignored\r\n";
    int groupNumber = 0;
    for (const DuplicateGroup& group : result.groups) {
        ++groupNumber;
        for (const FoundFile& file : group.files) {
            out += QByteArray::number(groupNumber) + ','
                + csvField(pathtext::displayText(file.path)) + ','
                + csvField(pathtext::exactBytes(file.path)) + ','
                + QByteArray::number(file.identity.size) + ',' + csvField(file.type) + ','
                + QByteArray::number(group.width) + ',' + QByteArray::number(group.height) + ','
                + QByteArray::number(group.frames) + ",,identical,,,,,,,,,,,,,,,,,,"
                + flagColumns(file) + "\r\n";
        }
    }
    for (const auto& [kind, list] : groupKinds(result)) {
        for (const SamePhotoGroup& group : *list) {
            ++groupNumber;
            const SamePhotoMember& best = group.members.front();
            for (const SamePhotoMember& member : group.members) {
                for (const FoundFile& file : member.files) {
                    out += QByteArray::number(groupNumber) + ','
                        + csvField(pathtext::displayText(file.path)) + ','
                        + csvField(pathtext::exactBytes(file.path)) + ','
                        + QByteArray::number(file.identity.size) + ',' + csvField(file.type) + ','
                        + QByteArray::number(member.width) + ',' + QByteArray::number(member.height)
                        + ",1,," + kind + ',';
                    if (&file != &best.files.front()) {
                        const similar::PhotoDifference d = differenceOf(member, best);
                        out += number(d.ssim, 6) + ',' + number(d.mean, 4) + ','
                            + QByteArray::number(d.max) + ',' + QByteArray::number(d.comparedWidth)
                            + ',' + QByteArray::number(d.comparedHeight) + ',';
                    } else {
                        out += ",,,,,";
                    }
                    // The number its identical group has in the first column (CSV
                    // numbers groups from 1; the JSON's index into "groups" counts
                    // from 0, as its readers index arrays).
                    if (member.identicalGroup >= 0)
                        out += QByteArray::number(member.identicalGroup + 1);
                    // 1 on the best copy's row, 0 on the others; empty in a group
                    // without one (and in edited groups, which name none).
                    out += ',';
                    if (group.bestFile >= 0 && list == &result.samePhotoGroups)
                        out += &member == &best && &file == &best.files[std::size_t(group.bestFile)]
                            ? "1"
                            : "0";
                    out += ','
                        + csvField(list == &result.samePhotoGroups ? group.bestBecause : QString());
                    if (&file != &best.files.front()) {
                        const similar::PhotoDifference d = differenceOf(member, best);
                        const auto region = regionInReference(d, best);
                        out += ',' + number(d.local.value, 2) + ',' + number(d.local.limit, 2);
                        for (std::uint32_t v : region)
                            out += ',' + QByteArray::number(v);
                        for (double tone : d.tone.mean)
                            out += ',' + number(tone, 2);
                        out += ',' + number(d.shift, 2);
                    } else {
                        out += ",,,,,,,,,,";
                    }
                    out += flagColumns(file) + "\r\n";
                }
            }
        }
    }
    for (const UnreadableFile& file : result.unreadable) {
        out += ',' + csvField(pathtext::displayText(file.path)) + ','
            + csvField(pathtext::exactBytes(file.path)) + ','
            + (file.size >= 0 ? QByteArray::number(file.size) : QByteArray()) + ','
            + csvField(file.type) + ",,,," + csvField(file.reason) + QByteArray(21, ',') + "\r\n";
    }
    return out;
}

} // namespace findreport
