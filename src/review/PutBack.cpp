#include "review/PutBack.h"

#include "files/FileIdentity.h"
#include "handling/FileActions.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <glib.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kInfoSuffix[] = ".trashinfo";

QByteArray parentOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArrayLiteral("/") : path.left(slash);
}

QByteArray nameOf(const QByteArray& path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

QByteArray joined(const QByteArray& folder, const QByteArray& name)
{
    return (folder.endsWith('/') ? folder : folder + '/') + name;
}

// The top folder of the mount that holds folder: the last parent on the
// same device.
QByteArray mountTop(QByteArray folder, std::uint64_t device)
{
    while (folder != "/") {
        const QByteArray up = parentOf(folder);
        struct stat st { };
        if (::stat(up.constData(), &st) != 0 || std::uint64_t(st.st_dev) != device)
            break;
        folder = up;
    }
    return folder;
}

std::vector<QByteArray> namesIn(const QByteArray& folder)
{
    std::vector<QByteArray> names;
    DIR* dir = ::opendir(folder.constData());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name.endsWith(kInfoSuffix))
            names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

// The Path of a trash record, made absolute; empty when the record is not one.
QByteArray recordedPath(const QByteArray& record, const QByteArray& topdir)
{
    QFile file(QFile::decodeName(record));
    if (file.size() > 64 * 1024 || !file.open(QIODevice::ReadOnly))
        return QByteArray();
    const QList<QByteArray> lines = file.readAll().split('\n');
    if (lines.isEmpty() || lines.front().trimmed() != "[Trash Info]")
        return QByteArray();
    for (const QByteArray& line : lines) {
        if (!line.startsWith("Path="))
            continue;
        const QByteArray path = QByteArray::fromPercentEncoding(line.mid(5).trimmed());
        if (path.isEmpty())
            return QByteArray();
        return path.startsWith('/') ? path : joined(topdir, path);
    }
    return QByteArray();
}

// One trash folder (holding files/ and info/), its record names read once.
struct TrashFolder {
    QByteArray topdir; // what relative Paths are relative to
    std::vector<QByteArray> records;
};

class TrashFolders {
public:
    explicit TrashFolders(QByteArray homeTrash)
        : m_home(std::move(homeTrash))
    {
    }

    // The trash folders a file at path on device may have gone to, the
    // home trash first.
    std::vector<QByteArray> candidatesFor(const QByteArray& path, std::uint64_t device)
    {
        std::vector<QByteArray> roots{m_home};
        const QByteArray folder = parentOf(path);
        auto top = m_topOf.find(folder);
        if (top == m_topOf.end())
            top = m_topOf.emplace(folder, mountTop(folder, device)).first;
        const QByteArray uid = QByteArray::number(qulonglong(::getuid()));
        for (const QByteArray& root :
            {joined(top->second, ".Trash/" + uid), joined(top->second, ".Trash-" + uid)}) {
            if (root != m_home) {
                roots.push_back(root);
                m_topdirOf.emplace(root, top->second);
            }
        }
        return roots;
    }

    const TrashFolder& folder(const QByteArray& root)
    {
        auto found = m_folders.find(root);
        if (found == m_folders.end()) {
            const auto top = m_topdirOf.find(root);
            // Records of the home trash hold absolute paths.
            TrashFolder read{top == m_topdirOf.end() ? QByteArrayLiteral("/") : top->second,
                namesIn(joined(root, "info"))};
            found = m_folders.emplace(root, std::move(read)).first;
        }
        return found->second;
    }

private:
    QByteArray m_home;
    std::map<QByteArray, QByteArray> m_topOf; // folder -> top of its mount
    std::map<QByteArray, QByteArray> m_topdirOf; // trash root -> top of its mount
    std::map<QByteArray, TrashFolder> m_folders;
};

} // namespace

QByteArray PutBack::homeTrash()
{
    return joined(QByteArray(g_get_user_data_dir()), "Trash");
}

PutBack PutBack::afterTrash(const std::vector<Acted>& files, const QByteArray& homeTrash)
{
    PutBack putBack;
    TrashFolders trash(homeTrash);
    for (const Acted& acted : files) {
        Entry entry{acted.id, acted.path, {}, {}, {}, acted.searched, {}, {}};
        // The trash gives a file its own name, or the name with a number
        // after the part before the first dot: only those records can be it.
        const QByteArray name = nameOf(acted.path);
        const QByteArray stem = name.left(name.indexOf('.') > 0 ? name.indexOf('.') : name.size());
        for (const QByteArray& root : trash.candidatesFor(acted.path, acted.searched.device)) {
            const TrashFolder& folder = trash.folder(root);
            for (const QByteArray& record : folder.records) {
                if (!record.startsWith(stem))
                    continue;
                const QByteArray place = joined(
                    joined(root, "files"), record.chopped(qsizetype(sizeof kInfoSuffix) - 1));
                struct stat st { };
                if (::lstat(place.constData(), &st) != 0
                    || std::uint64_t(st.st_dev) != acted.searched.device
                    || std::uint64_t(st.st_ino) != acted.searched.inode)
                    continue;
                const QByteArray info = joined(joined(root, "info"), record);
                if (recordedPath(info, folder.topdir) != acted.path)
                    continue;
                entry.place = place;
                entry.record = info;
                break;
            }
            if (!entry.place.isEmpty())
                break;
        }
        if (entry.place.isEmpty()) {
            entry.missing = QStringLiteral("its trash record was not found");
        } else {
            // Trashing renames: size and modification time stay what they were.
            const std::optional<FileIdentity> now = plainFileIdentity(entry.place.constData());
            if (!now || now->size != acted.searched.size
                || now->modifiedNs != acted.searched.modifiedNs) {
                entry.place.clear();
                entry.missing
                    = QStringLiteral("it was not found in the trash as it was sent there");
            } else {
                entry.after = *now;
            }
        }
        putBack.m_entries.push_back(std::move(entry));
    }
    return putBack;
}

PutBack PutBack::afterMove(const std::vector<Acted>& files, const QByteArray& folder)
{
    PutBack putBack;
    for (const Acted& acted : files) {
        Entry entry{acted.id, acted.path, joined(folder, nameOf(acted.path)), {}, {},
            acted.searched, {}, {}};
        const std::optional<FileIdentity> now = plainFileIdentity(entry.place.constData());
        // A move keeps size and modification time, across disks too; anything
        // else at the new place is not the file that was moved.
        if (!now || now->size != acted.searched.size
            || now->modifiedNs != acted.searched.modifiedNs) {
            entry.place.clear();
            entry.missing = QStringLiteral("it was not found where it was moved");
        } else {
            entry.after = *now;
        }
        putBack.m_entries.push_back(std::move(entry));
    }
    return putBack;
}

PutBack PutBack::afterLinks(const std::vector<std::pair<int, LinkReplacement::Linked>>& names)
{
    PutBack putBack;
    for (const auto& [id, linked] : names) {
        Entry entry{id, linked.path, linked.path, {}, linked.placed, linked.old, {}, linked};
        putBack.m_entries.push_back(std::move(entry));
    }
    return putBack;
}

PutBack PutBack::afterDelete(int count)
{
    PutBack putBack;
    putBack.m_deleted = count;
    return putBack;
}

QString PutBack::deletedText()
{
    return QStringLiteral(
        "Deleted files cannot be put back: a permanent deletion cannot be undone.");
}

QString PutBack::putBackOne(const Entry& entry, FileIdentity* now) const
{
    if (entry.place.isEmpty())
        return entry.missing;
    const bool fromTrash = !entry.record.isEmpty();
    const std::optional<FileIdentity> there = plainFileIdentity(entry.place.constData());
    if (!there) {
        return fromTrash
            ? QStringLiteral("it is no longer in the trash")
            : QStringLiteral("it is no longer at %1").arg(QFile::decodeName(entry.place));
    }
    if (*there != entry.after) {
        return fromTrash ? QStringLiteral("it changed in the trash after it was sent there")
                         : QStringLiteral("it changed at %1 after it was moved there")
                               .arg(QFile::decodeName(entry.place));
    }
    struct stat st { };
    if (::lstat(entry.original.constData(), &st) == 0)
        return QStringLiteral("another file now stands at its place");
    if (errno != ENOENT)
        return QString::fromLocal8Bit(std::strerror(errno));
    const QByteArray folder = parentOf(entry.original);
    if (::stat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return QStringLiteral("its folder %1 is gone").arg(QFile::decodeName(folder));

    QString error;
    switch (FileActions::MoveFileToNoReplace(
        QFile::decodeName(entry.place), QFile::decodeName(entry.original), &error)) {
    case FileActions::MoveResult::Moved:
        break;
    case FileActions::MoveResult::AlreadyExists:
        return QStringLiteral("another file now stands at its place");
    case FileActions::MoveResult::Failed:
    case FileActions::MoveResult::SourceChanged:
        return error.isEmpty() ? QStringLiteral("it could not be moved back") : error;
    }
    // Without its file a record is only clutter; a desktop trash skips it.
    if (fromTrash)
        ::unlink(entry.record.constData());
    if (const std::optional<FileIdentity> back = plainFileIdentity(entry.original.constData()))
        *now = *back;
    return QString();
}

PutBack::Outcome PutBack::run()
{
    Outcome outcome;
    for (const Entry& entry : m_entries) {
        if (entry.linked) {
            outcome.links = true;
            const LinkReplacement::Restored restored = LinkReplacement::putBack(*entry.linked);
            if (restored.reason.isEmpty())
                outcome.returned.emplace_back(entry.id, restored.now);
            else
                outcome.leftAlone.push_back({QFile::decodeName(entry.original), restored.reason});
            if (restored.keptNow.inode != 0)
                outcome.keptNow.emplace_back(entry.linked->kept, restored.keptNow);
            continue;
        }
        FileIdentity now;
        const QString reason = putBackOne(entry, &now);
        if (reason.isEmpty()) {
            outcome.returned.emplace_back(entry.id, now);
            outcome.renamed.emplace_back(entry.searched, now);
        } else
            outcome.leftAlone.push_back({QFile::decodeName(entry.original), reason});
    }
    m_entries.clear();
    return outcome;
}

QString PutBack::summaryText(const Outcome& outcome)
{
    const int back = int(outcome.returned.size());
    if (outcome.links) {
        QString text = back == 1
            ? QStringLiteral("1 name has a file of its own again.")
            : QStringLiteral("%1 names have a file of their own again.").arg(back);
        const int left = int(outcome.leftAlone.size());
        if (left > 0) {
            text += left == 1 ? QStringLiteral("\n1 name was left as it is.")
                              : QStringLiteral("\n%1 names were left as they are.").arg(left);
        }
        return text;
    }
    QString text = back == 1 ? QStringLiteral("1 file is back at its place.")
                             : QStringLiteral("%1 files are back at their places.").arg(back);
    const int left = int(outcome.leftAlone.size());
    if (left > 0) {
        text += left == 1 ? QStringLiteral("\n1 file was left alone.")
                          : QStringLiteral("\n%1 files were left alone.").arg(left);
    }
    return text;
}
