#include "review/KeptResults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

namespace KeptResults {

namespace {

constexpr int kVersion = 1;

// Paths are bytes, not always UTF-8: kept as base64.
QJsonValue bytes(const QByteArray& b)
{
    return QString::fromLatin1(b.toBase64());
}

QByteArray bytesOf(const QJsonValue& v)
{
    return QByteArray::fromBase64(v.toString().toLatin1());
}

// 64-bit numbers as text: a double holds 53 bits.
QJsonValue number(std::int64_t n)
{
    return QString::number(n);
}

std::int64_t numberOf(const QJsonValue& v)
{
    return v.toString().toLongLong();
}

QJsonObject fileJson(const FoundFile& f, const std::set<QByteArray>& marked)
{
    const FileIdentity& i = f.identity;
    QJsonObject o{{QStringLiteral("path"), bytes(f.path)}, {QStringLiteral("type"), f.type},
        {QStringLiteral("device"), number(std::int64_t(i.device))},
        {QStringLiteral("inode"), number(std::int64_t(i.inode))},
        {QStringLiteral("size"), number(i.size)},
        {QStringLiteral("modified_ns"), number(i.modifiedNs)},
        {QStringLiteral("changed_ns"), number(i.changedNs)},
        {QStringLiteral("mode"), number(i.mode)}, {QStringLiteral("links"), number(i.links)},
        {QStringLiteral("owner"), number(i.owner)}, {QStringLiteral("group"), number(i.group)}};
    if (marked.count(f.path))
        o.insert(QStringLiteral("marked"), true);
    if (f.isProtected)
        o.insert(QStringLiteral("protected"), true);
    if (f.ignored)
        o.insert(QStringLiteral("ignored"), true);
    return o;
}

FoundFile fileOf(const QJsonObject& o, std::set<QByteArray>& marked)
{
    FoundFile f;
    f.path = bytesOf(o.value(QStringLiteral("path")));
    f.type = o.value(QStringLiteral("type")).toString();
    FileIdentity& i = f.identity;
    i.device = std::uint64_t(numberOf(o.value(QStringLiteral("device"))));
    i.inode = std::uint64_t(numberOf(o.value(QStringLiteral("inode"))));
    i.size = numberOf(o.value(QStringLiteral("size")));
    i.modifiedNs = numberOf(o.value(QStringLiteral("modified_ns")));
    i.changedNs = numberOf(o.value(QStringLiteral("changed_ns")));
    i.mode = std::uint32_t(numberOf(o.value(QStringLiteral("mode"))));
    i.links = std::uint32_t(numberOf(o.value(QStringLiteral("links"))));
    i.owner = std::uint32_t(numberOf(o.value(QStringLiteral("owner"))));
    i.group = std::uint32_t(numberOf(o.value(QStringLiteral("group"))));
    if (o.value(QStringLiteral("marked")).toBool())
        marked.insert(f.path);
    f.isProtected = o.value(QStringLiteral("protected")).toBool();
    f.ignored = o.value(QStringLiteral("ignored")).toBool();
    return f;
}

QJsonArray filesJson(const std::vector<FoundFile>& files, const std::set<QByteArray>& marked)
{
    QJsonArray a;
    for (const FoundFile& f : files)
        a.append(fileJson(f, marked));
    return a;
}

std::vector<FoundFile> filesOf(const QJsonValue& v, std::set<QByteArray>& marked)
{
    std::vector<FoundFile> files;
    for (const QJsonValue& f : v.toArray())
        files.push_back(fileOf(f.toObject(), marked));
    return files;
}

} // namespace

// Same-photo and edited groups: members measured against the first.
QJsonArray measuredGroupsJson(
    const std::vector<SamePhotoGroup>& list, const std::set<QByteArray>& marked)
{
    QJsonArray out;
    for (const SamePhotoGroup& g : list) {
        QJsonArray members;
        for (const SamePhotoMember& m : g.members) {
            QJsonObject o{{QStringLiteral("width"), qint64(m.width)},
                {QStringLiteral("height"), qint64(m.height)},
                {QStringLiteral("identical_group"), m.identicalGroup},
                {QStringLiteral("files"), filesJson(m.files, marked)}};
            if (m.difference) {
                const similar::PhotoDifference& d = *m.difference;
                o.insert(QStringLiteral("difference"),
                    QJsonObject{{QStringLiteral("ssim"), d.ssim}, {QStringLiteral("mean"), d.mean},
                        {QStringLiteral("max"), d.max},
                        {QStringLiteral("compared_width"), qint64(d.comparedWidth)},
                        {QStringLiteral("compared_height"), qint64(d.comparedHeight)},
                        {QStringLiteral("local"),
                            QJsonArray{d.local.value, d.local.limit, qint64(d.local.region[0]),
                                qint64(d.local.region[1]), qint64(d.local.region[2]),
                                qint64(d.local.region[3]), d.local.share, d.local.span}},
                        {QStringLiteral("tone"),
                            QJsonArray{d.tone.mean[0], d.tone.mean[1], d.tone.mean[2],
                                d.tone.worstBand, d.tone.blockShift}},
                        {QStringLiteral("shift"), d.shift},
                        {QStringLiteral("frames"), qint64(d.frames)}});
            }
            members.append(o);
        }
        out.append(QJsonObject{{QStringLiteral("members"), members},
            {QStringLiteral("best_copy"),
                g.bestFile >= 0 ? QJsonValue(g.bestFile) : QJsonValue(QJsonValue::Null)},
            {QStringLiteral("best_because"), g.bestBecause}});
    }
    return out;
}

std::vector<SamePhotoGroup> measuredGroupsOf(const QJsonValue& value, std::set<QByteArray>& marked)
{
    std::vector<SamePhotoGroup> list;
    for (const QJsonValue& v : value.toArray()) {
        SamePhotoGroup g;
        // Results kept before best copies were judged name none.
        g.bestFile = v.toObject().value(QStringLiteral("best_copy")).toInt(-1);
        g.bestBecause = v.toObject()
                            .value(QStringLiteral("best_because"))
                            .toString(QStringLiteral(
                                "no clear best copy: kept before best copies were judged"));
        for (const QJsonValue& mv : v.toObject().value(QStringLiteral("members")).toArray()) {
            const QJsonObject o = mv.toObject();
            SamePhotoMember m;
            m.width = std::uint32_t(o.value(QStringLiteral("width")).toInteger());
            m.height = std::uint32_t(o.value(QStringLiteral("height")).toInteger());
            m.identicalGroup = o.value(QStringLiteral("identical_group")).toInt(-1);
            m.files = filesOf(o.value(QStringLiteral("files")), marked);
            if (o.contains(QStringLiteral("difference"))) {
                const QJsonObject d = o.value(QStringLiteral("difference")).toObject();
                similar::PhotoDifference diff;
                diff.ssim = d.value(QStringLiteral("ssim")).toDouble();
                diff.mean = d.value(QStringLiteral("mean")).toDouble();
                diff.max = d.value(QStringLiteral("max")).toInt();
                diff.comparedWidth
                    = std::uint32_t(d.value(QStringLiteral("compared_width")).toInteger());
                diff.comparedHeight
                    = std::uint32_t(d.value(QStringLiteral("compared_height")).toInteger());
                const QJsonArray local = d.value(QStringLiteral("local")).toArray();
                diff.local.value = local.at(0).toDouble();
                diff.local.limit = local.at(1).toDouble();
                for (int i = 0; i < 4; ++i)
                    diff.local.region[std::size_t(i)] = std::uint32_t(local.at(2 + i).toInteger());
                const QJsonArray tone = d.value(QStringLiteral("tone")).toArray();
                for (int i = 0; i < 3; ++i)
                    diff.tone.mean[std::size_t(i)] = tone.at(i).toDouble();
                diff.tone.worstBand = tone.at(3).toDouble();
                diff.tone.blockShift = tone.at(4).toDouble();
                diff.local.share = local.at(6).toDouble();
                diff.local.span = local.at(7).toDouble();
                diff.shift = d.value(QStringLiteral("shift")).toDouble();
                diff.frames = std::uint32_t(
                    std::max<qint64>(1, d.value(QStringLiteral("frames")).toInteger(1)));
                m.difference = diff;
            }
            g.members.push_back(std::move(m));
        }
        if (g.members.empty() || g.bestFile >= int(g.members.front().files.size()))
            g.bestFile = -1;
        list.push_back(std::move(g));
    }
    return list;
}

QString filePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
        + QStringLiteral("/last-results.json");
}

QByteArray toJson(const Kept& kept)
{
    const FinderResult& r = kept.result;
    QJsonArray folders;
    for (const QByteArray& folder : r.folders)
        folders.append(bytes(folder));
    QJsonArray groups;
    for (const DuplicateGroup& g : r.groups) {
        groups.append(QJsonObject{{QStringLiteral("width"), qint64(g.width)},
            {QStringLiteral("height"), qint64(g.height)},
            {QStringLiteral("frames"), qint64(g.frames)},
            {QStringLiteral("files"), filesJson(g.files, kept.marked)}});
    }
    const QJsonArray samePhoto = measuredGroupsJson(r.samePhotoGroups, kept.marked);
    const QJsonArray edited = measuredGroupsJson(r.editedGroups, kept.marked);
    QJsonArray unreadable;
    for (const UnreadableFile& u : r.unreadable) {
        unreadable.append(QJsonObject{{QStringLiteral("path"), bytes(u.path)},
            {QStringLiteral("reason"), u.reason}, {QStringLiteral("size"), number(u.size)},
            {QStringLiteral("type"), u.type}});
    }
    const QJsonObject root{{QStringLiteral("corvane_kept_results"), kVersion},
        {QStringLiteral("folders"), folders},
        {QStringLiteral("files_examined"), number(r.filesExamined)},
        {QStringLiteral("files_not_examined"), number(r.filesNotExamined)},
        {QStringLiteral("files_not_pictures"), number(r.filesNotPictures)},
        {QStringLiteral("files_too_small"), number(r.filesTooSmall)},
        {QStringLiteral("groups_ignored"), number(r.groupsIgnored)},
        {QStringLiteral("same_photo_searched"), r.samePhotoSearched},
        {QStringLiteral("groups"), groups}, {QStringLiteral("same_photo_groups"), samePhoto},
        {QStringLiteral("edited_groups"), edited}, {QStringLiteral("unreadable"), unreadable}};
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

std::optional<Kept> fromJson(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject root = doc.object();
    if (root.value(QStringLiteral("corvane_kept_results")).toInt() != kVersion)
        return std::nullopt;
    Kept kept;
    FinderResult& r = kept.result;
    for (const QJsonValue& folder : root.value(QStringLiteral("folders")).toArray())
        r.folders << bytesOf(folder);
    r.filesExamined = numberOf(root.value(QStringLiteral("files_examined")));
    r.filesNotExamined = numberOf(root.value(QStringLiteral("files_not_examined")));
    r.filesNotPictures = numberOf(root.value(QStringLiteral("files_not_pictures")));
    r.filesTooSmall = numberOf(root.value(QStringLiteral("files_too_small")));
    r.groupsIgnored = numberOf(root.value(QStringLiteral("groups_ignored")));
    r.samePhotoSearched = root.value(QStringLiteral("same_photo_searched")).toBool();
    for (const QJsonValue& v : root.value(QStringLiteral("groups")).toArray()) {
        const QJsonObject o = v.toObject();
        DuplicateGroup g;
        g.width = std::uint32_t(o.value(QStringLiteral("width")).toInteger());
        g.height = std::uint32_t(o.value(QStringLiteral("height")).toInteger());
        g.frames = std::uint32_t(o.value(QStringLiteral("frames")).toInteger(1));
        g.files = filesOf(o.value(QStringLiteral("files")), kept.marked);
        r.groups.push_back(std::move(g));
    }
    r.samePhotoGroups
        = measuredGroupsOf(root.value(QStringLiteral("same_photo_groups")), kept.marked);
    r.editedGroups = measuredGroupsOf(root.value(QStringLiteral("edited_groups")), kept.marked);
    for (const QJsonValue& v : root.value(QStringLiteral("unreadable")).toArray()) {
        const QJsonObject o = v.toObject();
        r.unreadable.emplace_back(bytesOf(o.value(QStringLiteral("path"))),
            o.value(QStringLiteral("reason")).toString(), numberOf(o.value(QStringLiteral("size"))),
            o.value(QStringLiteral("type")).toString());
    }
    return kept;
}

QString save(const Kept& kept, const QString& file)
{
    QDir().mkpath(QFileInfo(file).absolutePath());
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(toJson(kept)) < 0 || !out.commit())
        return out.errorString();
    return QString();
}

std::optional<Kept> load(const QString& file)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return std::nullopt;
    return fromJson(in.readAll());
}

bool exists(const QString& file)
{
    return QFileInfo::exists(file);
}

void discard(const QString& file)
{
    QFile::remove(file);
}

} // namespace KeptResults
