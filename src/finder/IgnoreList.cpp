#include "finder/IgnoreList.h"

#include "finder/FileReading.h"
#include "finder/PixelFingerprint.h"
#include "finder/SearchFilters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <map>
#include <set>

namespace finder {

namespace {

constexpr int kVersion = 1;

QJsonArray keysJson(const std::vector<ContentKey>& keys)
{
    QJsonArray array;
    for (const ContentKey& key : keys) {
        // Sizes as text: a double holds 53 bits.
        array.append(QJsonObject{{QStringLiteral("size"), QString::number(key.size)},
            {QStringLiteral("sha256"), QString::fromLatin1(key.sha256.toHex())}});
    }
    return array;
}

bool keysOf(const QJsonValue& value, std::vector<ContentKey>* keys)
{
    if (!value.isArray())
        return false;
    for (const QJsonValue& item : value.toArray()) {
        const QJsonObject object = item.toObject();
        ContentKey key;
        bool ok = false;
        key.size = object.value(QStringLiteral("size")).toString().toLongLong(&ok);
        key.sha256
            = QByteArray::fromHex(object.value(QStringLiteral("sha256")).toString().toLatin1());
        if (!ok || key.sha256.size() != 32)
            return false;
        keys->push_back(key);
    }
    return true;
}

// Keys of the files of a result, read only for sizes some judgment holds:
// a file of any other size cannot be a judged one.
class KeyReader {
public:
    explicit KeyReader(const std::vector<IgnoredGroup>& groups)
    {
        for (const IgnoredGroup& group : groups)
            for (const ContentKey& key : group.files)
                m_sizes.insert(key.size);
    }

    std::optional<ContentKey> keyOf(const FoundFile& file)
    {
        if (!m_sizes.count(file.identity.size))
            return std::nullopt;
        const auto known = m_keys.find(file.path);
        if (known != m_keys.end())
            return known->second;
        const std::optional<ContentKey> key = contentKeyOf(file);
        m_keys.emplace(file.path, key);
        return key;
    }

private:
    std::set<std::int64_t> m_sizes;
    std::map<QByteArray, std::optional<ContentKey>> m_keys;
};

// Which files of a found group a judgment covers: each judged file matches at
// most one found file (two byte-equal copies were judged as two).
std::vector<bool> covered(
    const std::vector<std::optional<ContentKey>>& keys, const std::vector<ContentKey>& judged)
{
    std::multiset<ContentKey> left(judged.begin(), judged.end());
    std::vector<bool> result(keys.size(), false);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (!keys[i])
            continue;
        const auto it = left.find(*keys[i]);
        if (it != left.end()) {
            left.erase(it);
            result[i] = true;
        }
    }
    return result;
}

enum class Verdict { Keep, LeaveOut };

// Applies every judgment on one found group: flags the judged files, and
// says which files are left out (all of them for a group left out).
Verdict judge(const std::vector<IgnoredGroup>& judgments, KeyReader& reader,
    const std::vector<FoundFile*>& files, bool show, std::vector<bool>* leaveOut)
{
    std::vector<std::optional<ContentKey>> keys;
    keys.reserve(files.size());
    for (const FoundFile* file : files)
        keys.push_back(reader.keyOf(*file));
    if (std::none_of(keys.begin(), keys.end(), [](const auto& key) { return bool(key); }))
        return Verdict::Keep;
    leaveOut->assign(files.size(), false);
    for (const IgnoredGroup& judgment : judgments) {
        const std::vector<bool> inJudgment = covered(keys, judgment.files);
        const auto count = std::count(inJudgment.begin(), inJudgment.end(), true);
        // A judgment is about this group when two of its files meet again.
        if (count < 2)
            continue;
        const bool newcomer = std::size_t(count) < files.size();
        const std::vector<bool> judged = covered(keys, judgment.judged);
        const bool whole = judgment.judged.size() == judgment.files.size();
        if (!newcomer && !show && whole)
            return Verdict::LeaveOut;
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (!judged[i] || !inJudgment[i])
                continue;
            if (!newcomer && !show)
                (*leaveOut)[i] = true;
            else
                files[i]->ignored = true;
        }
    }
    return Verdict::Keep;
}

} // namespace

std::optional<ContentKey> contentKeyOf(const FoundFile& file, QString* reason)
{
    const FileBytes bytes = readWholeFile(file.path, file.identity);
    if (!bytes.ok) {
        if (reason)
            *reason = bytes.reason;
        return std::nullopt;
    }
    const auto digest = sha256({reinterpret_cast<const std::uint8_t*>(bytes.bytes.constData()),
        std::size_t(bytes.bytes.size())});
    ContentKey key;
    key.size = bytes.bytes.size();
    key.sha256 = QByteArray(reinterpret_cast<const char*>(digest.data()), qsizetype(digest.size()));
    return key;
}

QString IgnoreList::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/Corvane/ignored-groups.json");
}

IgnoreList IgnoreList::load(const QString& path, QString* problem)
{
    IgnoreList list;
    QFile file(path);
    if (!file.exists())
        return list;
    auto refuse = [&](const QString& why) {
        if (problem)
            *problem = why;
        return IgnoreList();
    };
    if (!file.open(QIODevice::ReadOnly))
        return refuse(file.errorString());
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    const QJsonObject root = document.object();
    if (root.value(QStringLiteral("version")).toInt() != kVersion)
        return refuse(QStringLiteral("not a list of ignored groups Corvane reads"));
    for (const QJsonValue& item : root.value(QStringLiteral("groups")).toArray()) {
        const QJsonObject object = item.toObject();
        IgnoredGroup group;
        if (!keysOf(object.value(QStringLiteral("files")), &group.files)
            || !keysOf(object.value(QStringLiteral("judged")), &group.judged)
            || group.files.size() < 2 || group.judged.empty())
            return refuse(QStringLiteral("a group in it cannot be read"));
        list.m_groups.push_back(std::move(group));
    }
    return list;
}

QString IgnoreList::save(const QString& path) const
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return QStringLiteral("its folder cannot be made");
    QJsonArray groups;
    for (const IgnoredGroup& group : m_groups) {
        groups.append(QJsonObject{{QStringLiteral("files"), keysJson(group.files)},
            {QStringLiteral("judged"), keysJson(group.judged)}});
    }
    const QJsonObject root{
        {QStringLiteral("version"), kVersion}, {QStringLiteral("groups"), groups}};
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    file.write(QJsonDocument(root).toJson(QJsonDocument::Indented));
    if (!file.commit())
        return file.errorString();
    return QString();
}

QString IgnoreList::forget(const QString& path)
{
    QFile file(path);
    if (file.exists() && !file.remove())
        return file.errorString();
    return QString();
}

QString IgnoreList::add(const std::vector<const FoundFile*>& group, const FoundFile* member)
{
    if (group.size() < 2)
        return QStringLiteral("a group has at least two files");
    IgnoredGroup judgment;
    for (const FoundFile* file : group) {
        QString reason;
        const std::optional<ContentKey> key = contentKeyOf(*file, &reason);
        if (!key)
            return QFile::decodeName(file->path) + QStringLiteral(": ") + reason;
        judgment.files.push_back(*key);
        if (!member || file == member)
            judgment.judged.push_back(*key);
    }
    if (judgment.judged.empty())
        return QStringLiteral("the file is not in the group");
    m_groups.push_back(std::move(judgment));
    return QString();
}

void IgnoreList::apply(FinderResult& result, bool show) const
{
    if (m_groups.empty())
        return;
    KeyReader reader(m_groups);
    std::vector<bool> leaveOut;

    // Identical groups; the same-photo groups point into them by index.
    std::vector<int> newIndex(result.groups.size(), -1);
    std::vector<DuplicateGroup> kept;
    for (std::size_t g = 0; g < result.groups.size(); ++g) {
        DuplicateGroup& group = result.groups[g];
        std::vector<FoundFile*> files;
        for (FoundFile& file : group.files)
            files.push_back(&file);
        if (judge(m_groups, reader, files, show, &leaveOut) == Verdict::LeaveOut) {
            ++result.groupsIgnored;
            continue;
        }
        if (!leaveOut.empty()) {
            std::vector<FoundFile> remaining;
            for (std::size_t i = 0; i < group.files.size(); ++i) {
                if (!leaveOut[i])
                    remaining.push_back(std::move(group.files[i]));
            }
            group.files = std::move(remaining);
            if (group.files.size() < 2) {
                ++result.groupsIgnored;
                continue;
            }
        }
        newIndex[g] = int(kept.size());
        kept.push_back(std::move(group));
    }
    result.groups = std::move(kept);

    for (auto* list : {&result.samePhotoGroups, &result.editedGroups}) {
        std::vector<SamePhotoGroup> keptPhotos;
        for (SamePhotoGroup& group : *list) {
            for (SamePhotoMember& member : group.members) {
                if (member.identicalGroup >= 0)
                    member.identicalGroup = newIndex[std::size_t(member.identicalGroup)];
            }
            std::vector<FoundFile*> files;
            std::vector<std::size_t> memberOf;
            for (std::size_t m = 0; m < group.members.size(); ++m) {
                for (FoundFile& file : group.members[m].files) {
                    files.push_back(&file);
                    memberOf.push_back(m);
                }
            }
            if (judge(m_groups, reader, files, show, &leaveOut) == Verdict::LeaveOut) {
                ++result.groupsIgnored;
                continue;
            }
            // A member judged not the same photo leaves the group; the first
            // member, which the others were measured against, stays and shows
            // as judged.
            std::vector<bool> memberGone(group.members.size(), false);
            for (std::size_t i = 0; i < leaveOut.size(); ++i) {
                if (!leaveOut[i])
                    continue;
                if (memberOf[i] == 0)
                    files[i]->ignored = true;
                else
                    memberGone[memberOf[i]] = true;
            }
            std::vector<SamePhotoMember> members;
            for (std::size_t m = 0; m < group.members.size(); ++m) {
                if (!memberGone[m])
                    members.push_back(std::move(group.members[m]));
            }
            group.members = std::move(members);
            if (group.members.size() < 2) {
                ++result.groupsIgnored;
                continue;
            }
            keptPhotos.push_back(std::move(group));
        }
        *list = std::move(keptPhotos);
    }
}

} // namespace finder
