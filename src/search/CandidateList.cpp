#include "search/CandidateList.h"

#include "search/CandidateEntry.h"

#include <QFile>

#include <algorithm>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

bool isCandidateName(const char* name, size_t length)
{
    if (length < 3)
        return false;
    char type[4] = {};
    for (int i = 0; i < 3; ++i) {
        const char c = name[length - 3 + i];
        type[i] = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    }
    return CandidateEntry::isCandidateType(QLatin1String(type, 3));
}

// Entry types the listing can rule out without a stat call.
bool surelyNotRegular(unsigned char type)
{
    return type != DT_REG && type != DT_UNKNOWN;
}

} // namespace

void CandidateList::insert(const QString& entry)
{
    const auto place = std::upper_bound(m_entries.begin(), m_entries.end(), entry);
    m_entries.insert(place, entry);
}

QString CandidateList::at(int index) const
{
    if (index < 0 || index >= m_entries.size())
        return QString();
    return m_entries.at(index);
}

int CandidateList::count() const
{
    return int(m_entries.size());
}

void CandidateList::removeAt(int index)
{
    if (index >= 0 && index < m_entries.size())
        m_entries.removeAt(index);
}

void CandidateList::clear()
{
    m_entries.clear();
    m_skippedNames = 0;
}

int CandidateList::scan(const QString& searchFolder)
{
    const QByteArray folder = QFile::encodeName(searchFolder);
    DIR* dir = opendir(folder.constData());
    if (!dir)
        return 0;
    const int dirFd = dirfd(dir);

    QStringList found;
    while (const dirent* item = readdir(dir)) {
        const char* name = item->d_name;
        // Hidden names, "." and "..".
        if (name[0] == '.')
            continue;
        if (surelyNotRegular(item->d_type))
            continue;
        const size_t length = std::strlen(name);
        if (!isCandidateName(name, length))
            continue;
        // Never follow a link: deleting a link's target through a look-alike
        // pair would remove the only copy.
        struct stat info;
        if (fstatat(dirFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (!S_ISREG(info.st_mode))
            continue;
        const QByteArray rawName(name, qsizetype(length));
        const QString fileName = QFile::decodeName(rawName);
        // A name that does not survive the round trip could not be opened,
        // deleted or moved by its decoded path; the closing message counts it.
        if (QFile::encodeName(fileName) != rawName) {
            ++m_skippedNames;
            continue;
        }
        found.append(CandidateEntry::makeEntry(
            CandidateEntry::makeSizeKey(info.st_size), searchFolder + fileName));
    }
    closedir(dir);

    std::stable_sort(found.begin(), found.end());
    const int added = int(found.size());
    if (m_entries.isEmpty()) {
        m_entries = std::move(found);
    } else {
        QStringList merged;
        merged.reserve(m_entries.size() + found.size());
        std::merge(m_entries.begin(), m_entries.end(), found.begin(), found.end(),
            std::back_inserter(merged));
        m_entries = std::move(merged);
    }
    return added;
}
