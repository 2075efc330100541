#include "report/ReportParts.h"
#include "report/ReportWriters.h"

#include "finder/PathText.h"

namespace findreport {

using detail::differenceOf;
using detail::groupKinds;
using detail::number;
using detail::regionInReference;

namespace {

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

// The last two CSV columns: protected and ignored, 1 or 0.
QByteArray flagColumns(const FoundFile& file)
{
    return QByteArray(",") + (file.isProtected ? "1" : "0") + ',' + (file.ignored ? "1" : "0");
}

} // namespace

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
