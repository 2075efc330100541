#include "review/ReviewModel.h"

#include "review/FileRecheck.h"

#include <QFile>

#include <algorithm>
#include <map>
#include <tuple>

namespace {

constexpr size_t kUndoSteps = 100;

QString relativeToSearch(const QByteArray& path, const QList<QByteArray>& folders)
{
    for (const QByteArray& folder : folders) {
        if (isInsideFolder(path, folder))
            return QFile::decodeName(path.mid(folder == "/" ? 1 : folder.size() + 1));
    }
    return QFile::decodeName(path);
}

QString countText(int count, const char* one, const char* many)
{
    return QString::number(count) + QLatin1Char(' ') + QLatin1String(count == 1 ? one : many);
}

} // namespace

QString ReviewModel::lastCopyText()
{
    return QStringLiteral("One copy of each group always stays: unmark another copy first.");
}

ReviewModel::ReviewModel(const FinderResult& result)
{
    m_searched.folders = result.folders;
    m_searched.filesExamined = result.filesExamined;
    m_searched.filesNotExamined = result.filesNotExamined;
    m_searched.filesTooSmall = result.filesTooSmall;
    m_searched.groupsIgnored = result.groupsIgnored;
    m_searched.filesNotPictures = result.filesNotPictures;
    m_searched.unreadable = result.unreadable;
    m_searched.cancelled = result.cancelled;
    int id = 0;
    for (const DuplicateGroup& found : result.groups) {
        if (found.files.size() < 2)
            continue;
        ReviewGroup group;
        group.id = int(m_groups.size());
        group.width = found.width;
        group.height = found.height;
        group.frames = found.frames;
        for (const FoundFile& f : found.files) {
            ReviewFile file;
            file.found = f;
            file.shownPath = relativeToSearch(f.path, result.folders);
            file.id = id++;
            group.files.push_back(std::move(file));
            group.totalSize += f.identity.size;
        }
        m_groups.push_back(std::move(group));
    }
    std::vector<std::pair<const SamePhotoGroup*, bool>> measured;
    for (const SamePhotoGroup& found : result.samePhotoGroups)
        measured.emplace_back(&found, false);
    for (const SamePhotoGroup& found : result.editedGroups)
        measured.emplace_back(&found, true);
    for (const auto& [foundGroup, edited] : measured) {
        const SamePhotoGroup& found = *foundGroup;
        ReviewGroup group;
        group.id = int(m_groups.size());
        group.samePhoto = true;
        group.edited = edited;
        group.bestBecause = found.bestBecause;
        if (found.bestFile >= 0 && !found.members.empty()
            && found.bestFile < int(found.members.front().files.size()))
            group.bestPath = found.members.front().files[std::size_t(found.bestFile)].path;
        for (int m = 0; m < int(found.members.size()); ++m) {
            const SamePhotoMember& member = found.members[size_t(m)];
            if (m == 0) {
                group.width = member.width;
                group.height = member.height;
            }
            for (const FoundFile& f : member.files) {
                ReviewFile file;
                file.found = f;
                file.shownPath = relativeToSearch(f.path, result.folders);
                file.id = id++;
                file.member = m;
                file.pixelWidth = member.width;
                file.pixelHeight = member.height;
                file.difference = member.difference;
                group.files.push_back(std::move(file));
                group.totalSize += f.identity.size;
            }
        }
        if (group.files.size() >= 2)
            m_groups.push_back(std::move(group));
    }
    m_marks.assign(size_t(id), 0);
    m_protected.assign(size_t(id), 0);
    for (const ReviewGroup& group : m_groups)
        for (const ReviewFile& f : group.files)
            m_protected[size_t(f.id)] = f.found.isProtected ? 1 : 0;
    // One mark per file, however often it is listed: listings share a path.
    m_fileOf.assign(size_t(id), -1);
    std::map<QByteArray, int> fileOfPath;
    for (const ReviewGroup& group : m_groups) {
        for (const ReviewFile& f : group.files) {
            const auto [it, added] = fileOfPath.try_emplace(f.found.path, int(m_listings.size()));
            if (added)
                m_listings.emplace_back();
            m_listings[size_t(it->second)].push_back(f.id);
            m_fileOf[size_t(f.id)] = it->second;
        }
    }
}

QString ReviewModel::shownPath(const QByteArray& path) const
{
    return relativeToSearch(path, m_searched.folders);
}

const ReviewFile& ReviewModel::file(FileSpot spot) const
{
    return m_groups[size_t(spot.group)].files[size_t(spot.file)];
}

bool ReviewModel::isMarked(FileSpot spot) const
{
    return markedById(file(spot).id);
}

int ReviewModel::noteChangedFiles()
{
    for (const ReviewGroup& group : m_groups) {
        for (const ReviewFile& f : group.files) {
            const QString change = changeSinceSearch(f.found.path, f.found.identity);
            if (!change.isEmpty())
                m_changed[f.id] = change;
        }
    }
    if (!m_changed.empty())
        settleMarks(m_marks);
    return int(m_changed.size());
}

QString ReviewModel::changedReason(FileSpot spot) const
{
    const auto it = m_changed.find(file(spot).id);
    return it == m_changed.end() ? QString() : it->second;
}

void ReviewModel::restoreMarks(const std::set<QByteArray>& paths)
{
    const std::vector<char> before(m_marks.size(), 0);
    std::fill(m_marks.begin(), m_marks.end(), 0);
    for (const ReviewGroup& group : m_groups)
        for (const ReviewFile& f : group.files)
            if (paths.count(f.found.path))
                m_marks[size_t(f.id)] = 1;
    settleMarks(before);
}

std::set<QByteArray> ReviewModel::markedPaths() const
{
    std::set<QByteArray> paths;
    for (const ReviewGroup& group : m_groups)
        for (const ReviewFile& f : group.files)
            if (markedById(f.id))
                paths.insert(f.found.path);
    return paths;
}

int ReviewModel::unmarkedCount(const ReviewGroup& group) const
{
    return int(std::count_if(group.files.begin(), group.files.end(),
        [&](const ReviewFile& f) { return !markedById(f.id) && canStay(group, f); }));
}

bool ReviewModel::canStay(const ReviewGroup& group, const ReviewFile& file) const
{
    // A protected copy holds every pixel of an identical group, but only its
    // own save of a same photo: there it is never the copy that stays in
    // place of another.
    return !group.samePhoto || !isProtectedId(file.id);
}

const ReviewFile& ReviewModel::firstThatCanStay(const ReviewGroup& group) const
{
    for (const ReviewFile& f : group.files)
        if (canStay(group, f))
            return f;
    return group.files.front();
}

void ReviewModel::pushUndo()
{
    if (m_undo.size() == kUndoSteps)
        m_undo.erase(m_undo.begin());
    m_undo.push_back({m_marks, {}});
}

void ReviewModel::sumSizes(ReviewGroup& group)
{
    group.totalSize = 0;
    for (const ReviewFile& f : group.files)
        group.totalSize += f.found.identity.size;
}

std::vector<int> ReviewModel::markableGroups(const std::vector<int>& groups) const
{
    std::vector<int> markable;
    for (int g : validGroups(groups))
        if (!m_groups[size_t(g)].edited)
            markable.push_back(g);
    return markable;
}

std::vector<int> ReviewModel::validGroups(const std::vector<int>& groups) const
{
    std::vector<int> valid;
    for (int g : groups)
        if (g >= 0 && g < groupCount())
            valid.push_back(g);
    std::sort(valid.begin(), valid.end());
    valid.erase(std::unique(valid.begin(), valid.end()), valid.end());
    return valid;
}

bool ReviewModel::setMarked(FileSpot spot, bool marked)
{
    const ReviewFile& f = file(spot);
    if (markedById(f.id) == marked)
        return true;
    if (marked && isProtectedId(f.id)) {
        m_status
            = QStringLiteral("%1 is in a protected folder: it is never marked.").arg(f.shownPath);
        return false;
    }
    if (marked && m_changed.count(f.id)) {
        m_status = QStringLiteral("%1 changed since the search (%2): it is left alone.")
                       .arg(f.shownPath, m_changed.at(f.id));
        return false;
    }
    const std::vector<int>& listings = listingsOf(f.id);
    const auto listed = [&listings](const ReviewFile& other) {
        return std::find(listings.begin(), listings.end(), other.id) != listings.end();
    };
    // Every group the file is listed in must keep another unmarked copy.
    for (const ReviewGroup& group : m_groups) {
        if (!marked || std::none_of(group.files.begin(), group.files.end(), listed))
            continue;
        const bool another
            = std::any_of(group.files.begin(), group.files.end(), [&](const ReviewFile& other) {
                  return !listed(other) && !markedById(other.id) && canStay(group, other);
              });
        if (!another) {
            m_status = lastCopyText();
            return false;
        }
    }
    pushUndo();
    for (int id : listings)
        m_marks[size_t(id)] = marked ? 1 : 0;
    m_status.clear();
    return true;
}

bool ReviewModel::toggleMark(FileSpot spot)
{
    return setMarked(spot, !isMarked(spot));
}

void ReviewModel::clearMarks()
{
    if (markedCount() == 0)
        return;
    pushUndo();
    std::fill(m_marks.begin(), m_marks.end(), 0);
    m_status = QStringLiteral("No file is marked.");
}

void ReviewModel::settleMarks(const std::vector<char>& before, const std::vector<int>& kept)
{
    std::vector<char> chosen(m_marks.size(), 0);
    for (int id : kept)
        chosen[size_t(id)] = 1;
    for (const std::vector<int>& listings : m_listings) {
        bool cleared = false;
        bool set = false;
        for (int id : listings) {
            if (chosen[size_t(id)])
                cleared = true;
            else if (m_marks[size_t(id)] != before[size_t(id)])
                (m_marks[size_t(id)] ? set : cleared) = true;
        }
        if (!cleared && !set)
            continue;
        // Where one listing was kept and another marked, the file stays.
        for (int id : listings)
            m_marks[size_t(id)] = cleared ? 0 : 1;
    }
    // A file that changed since the search is never acted on, nor is a
    // protected one. Taking their marks away marks nothing else.
    for (const auto& [id, reason] : m_changed)
        for (int listing : listingsOf(id))
            m_marks[size_t(listing)] = 0;
    for (std::size_t id = 0; id < m_protected.size(); ++id)
        if (m_protected[id])
            m_marks[id] = 0;
    // Unmarking only ever adds unmarked copies, so one pass keeps the promise.
    for (const ReviewGroup& group : m_groups) {
        if (unmarkedCount(group) > 0)
            continue;
        for (int id : listingsOf(firstThatCanStay(group).id))
            m_marks[size_t(id)] = 0;
    }
}

ReviewModel::RuleOutcome ReviewModel::applyRule(
    MarkingRule rule, const QByteArray& folder, bool withSamePhoto)
{
    const std::vector<char> before = m_marks;
    std::vector<int> keepers;
    pushUndo();
    RuleOutcome outcome;
    std::vector<const FoundFile*> files;
    std::vector<int> at; // index into group.files of each entry of files
    for (const ReviewGroup& group : m_groups) {
        if (group.edited)
            continue; // edited copies: only the user's own click marks them
        if (group.samePhoto && !withSamePhoto && rule != MarkingRule::KeepBestCopy)
            continue;
        // A group whose evidence names no best copy is not marked by it.
        if (group.samePhoto && rule == MarkingRule::KeepBestCopy && group.bestPath.isEmpty()) {
            ++outcome.groupsWithoutBest;
            continue;
        }
        files.clear();
        at.clear();
        for (int i = 0; i < int(group.files.size()); ++i) {
            const ReviewFile& f = group.files[size_t(i)];
            // The best copy is the file the search named.
            if (group.samePhoto && rule == MarkingRule::KeepBestCopy
                && f.found.path != group.bestPath)
                continue;
            // Another save of the photo stays beside a protected one.
            if (!canStay(group, f))
                continue;
            files.push_back(&f.found);
            at.push_back(i);
        }
        const int chosen = keeperIndex(files, rule, folder);
        const int keeper = chosen < 0 ? -1 : at[size_t(chosen)];
        if (keeper < 0) {
            // No copy inside the folder; or only protected copies to choose from.
            if (rule == MarkingRule::KeepInsideFolder)
                ++outcome.groupsLeftAlone;
            continue;
        }
        ++outcome.groupsChanged;
        keepers.push_back(group.files[size_t(keeper)].id);
        for (int i = 0; i < int(group.files.size()); ++i)
            m_marks[size_t(group.files[size_t(i)].id)] = i == keeper ? 0 : 1;
    }
    settleMarks(before, keepers);
    m_status = ruleTitle(rule) + QStringLiteral(": ")
        + countText(outcome.groupsChanged, "group marked", "groups marked");
    if (outcome.groupsLeftAlone > 0) {
        m_status += QStringLiteral(", ")
            + countText(outcome.groupsLeftAlone, "group has", "groups have")
            + QStringLiteral(" no copy inside %1 and kept its marks")
                  .arg(QFile::decodeName(folder));
    }
    if (outcome.groupsWithoutBest > 0) {
        m_status += QStringLiteral(", ")
            + countText(outcome.groupsWithoutBest, "group has", "groups have")
            + QStringLiteral(" no clear best copy and kept its marks");
    }
    m_status += QLatin1Char('.');
    return outcome;
}

int ReviewModel::keepUndoStep(const std::vector<char>& before)
{
    int changed = 0;
    for (size_t i = 0; i < m_marks.size(); ++i)
        changed += m_marks[i] != before[i] ? 1 : 0;
    if (changed > 0) {
        if (m_undo.size() == kUndoSteps)
            m_undo.erase(m_undo.begin());
        m_undo.push_back({before, {}});
    }
    return changed;
}

int ReviewModel::markAll(const std::vector<int>& groups)
{
    const std::vector<char> before = m_marks;
    std::vector<int> firsts;
    for (int g : markableGroups(groups)) {
        const std::vector<ReviewFile>& files = m_groups[size_t(g)].files;
        const int first = firstThatCanStay(m_groups[size_t(g)]).id;
        firsts.push_back(first);
        for (size_t f = 0; f < files.size(); ++f)
            m_marks[size_t(files[f].id)] = files[f].id == first ? 0 : 1;
    }
    settleMarks(before, firsts);
    const int changed = keepUndoStep(before);
    m_status = QStringLiteral("Every copy but the first marked in %1.")
                   .arg(countText(int(markableGroups(groups).size()), "group", "groups"));
    return changed;
}

int ReviewModel::markNone(const std::vector<int>& groups)
{
    const std::vector<char> before = m_marks;
    for (int g : validGroups(groups))
        for (const ReviewFile& f : m_groups[size_t(g)].files)
            m_marks[size_t(f.id)] = 0;
    settleMarks(before);
    const int changed = keepUndoStep(before);
    m_status = QStringLiteral("No copy marked in %1.")
                   .arg(countText(int(validGroups(groups).size()), "group", "groups"));
    return changed;
}

int ReviewModel::invertMarks(const std::vector<int>& groups)
{
    const std::vector<char> before = m_marks;
    for (int g : markableGroups(groups)) {
        const ReviewGroup& group = m_groups[size_t(g)];
        for (const ReviewFile& f : group.files)
            m_marks[size_t(f.id)] = markedById(f.id) ? 0 : 1;
        if (unmarkedCount(group) == 0)
            m_marks[size_t(firstThatCanStay(group).id)] = 0;
    }
    settleMarks(before);
    const int changed = keepUndoStep(before);
    m_status = QStringLiteral("Marks turned over in %1.")
                   .arg(countText(int(markableGroups(groups).size()), "group", "groups"));
    return changed;
}

void ReviewModel::removeGroups(const std::vector<int>& groups)
{
    const std::vector<int> valid = validGroups(groups);
    if (valid.empty())
        return;
    pushUndo();
    UndoStep& step = m_undo.back();
    for (auto g = valid.rbegin(); g != valid.rend(); ++g) {
        step.removed.push_back(std::move(m_groups[size_t(*g)]));
        m_groups.erase(m_groups.begin() + *g);
    }
    m_status = countText(int(valid.size()), "group", "groups")
        + QStringLiteral(" taken off the list; Undo brings %1 back.")
              .arg(valid.size() == 1 ? QStringLiteral("it") : QStringLiteral("them"));
}

bool ReviewModel::undo()
{
    if (m_undo.empty())
        return false;
    UndoStep step = std::move(m_undo.back());
    m_undo.pop_back();
    m_marks = std::move(step.marks);
    for (std::size_t id = 0; id < m_protected.size(); ++id)
        if (m_protected[id])
            m_marks[id] = 0;
    if (!step.removed.empty()) {
        for (ReviewGroup& group : step.removed)
            m_groups.push_back(std::move(group));
        applySort();
        m_status = QStringLiteral("Back on the list.");
        return true;
    }
    m_status = QStringLiteral("Marks put back as they were.");
    return true;
}

int ReviewModel::markedCount() const
{
    int count = 0;
    std::vector<char> counted(m_listings.size(), 0);
    for (const ReviewGroup& group : m_groups) {
        for (const ReviewFile& f : group.files) {
            char& once = counted[size_t(m_fileOf[size_t(f.id)])];
            count += markedById(f.id) && !once ? 1 : 0;
            once = 1;
        }
    }
    return count;
}

std::int64_t ReviewModel::markedBytes() const
{
    std::int64_t bytes = 0;
    std::vector<char> counted(m_listings.size(), 0);
    for (const ReviewGroup& group : m_groups) {
        for (const ReviewFile& f : group.files) {
            char& once = counted[size_t(m_fileOf[size_t(f.id)])];
            if (markedById(f.id) && !once)
                bytes += f.found.identity.size;
            once = 1;
        }
    }
    return bytes;
}

void ReviewModel::sortFiles(ReviewColumn column, bool ascending)
{
    auto less = [this, column](const ReviewFile& a, const ReviewFile& b) {
        switch (column) {
        case ReviewColumn::Path:
            return QString::localeAwareCompare(a.shownPath, b.shownPath) < 0;
        case ReviewColumn::Size:
            return a.found.identity.size < b.found.identity.size;
        case ReviewColumn::Type:
            return a.found.type < b.found.type;
        case ReviewColumn::Modified:
            return a.found.identity.modifiedNs < b.found.identity.modifiedNs;
        case ReviewColumn::Mark:
            return markedById(a.id) < markedById(b.id);
        case ReviewColumn::Difference:
            // The best copy first, then the closest to it.
            return (a.difference ? a.difference->ssim : 2.0)
                > (b.difference ? b.difference->ssim : 2.0);
        case ReviewColumn::Copies:
            break;
        }
        return false;
    };
    for (ReviewGroup& group : m_groups) {
        if (ascending)
            std::stable_sort(group.files.begin(), group.files.end(), less);
        else
            std::stable_sort(group.files.begin(), group.files.end(),
                [&less](const ReviewFile& a, const ReviewFile& b) { return less(b, a); });
    }
}

void ReviewModel::sort(ReviewColumn column, bool ascending)
{
    m_sortColumn = column;
    m_sortAscending = ascending;
    applySort();
}

void ReviewModel::applySort()
{
    if (!m_sortColumn) {
        std::sort(m_groups.begin(), m_groups.end(), [](const ReviewGroup& a, const ReviewGroup& b) {
            return std::tuple(a.samePhoto, a.edited, a.id)
                < std::tuple(b.samePhoto, b.edited, b.id);
        });
        return;
    }
    const ReviewColumn column = *m_sortColumn;
    if (column != ReviewColumn::Copies)
        sortFiles(column, m_sortAscending);
    // -1, 0 or 1 as a orders before, with or after b when ascending.
    auto compare = [column](const ReviewGroup& a, const ReviewGroup& b) {
        switch (column) {
        case ReviewColumn::Path:
            return QString::localeAwareCompare(
                a.files.front().shownPath, b.files.front().shownPath);
        case ReviewColumn::Size:
            return a.totalSize < b.totalSize ? -1 : a.totalSize > b.totalSize ? 1 : 0;
        case ReviewColumn::Copies:
            return a.files.size() < b.files.size() ? -1 : a.files.size() > b.files.size() ? 1 : 0;
        case ReviewColumn::Type:
        case ReviewColumn::Modified:
        case ReviewColumn::Mark:
        case ReviewColumn::Difference:
            break;
        }
        return 0;
    };
    const bool ascending = m_sortAscending;
    std::sort(m_groups.begin(), m_groups.end(),
        [&compare, ascending](const ReviewGroup& a, const ReviewGroup& b) {
            if (a.samePhoto != b.samePhoto)
                return b.samePhoto;
            if (a.edited != b.edited)
                return b.edited;
            const int order = compare(a, b);
            if (order != 0)
                return ascending ? order < 0 : order > 0;
            return a.id < b.id;
        });
}

void ReviewModel::setFilter(const QString& text)
{
    m_filter = text.trimmed();
}

bool ReviewModel::isShown(int group) const
{
    if (m_filter.isEmpty())
        return true;
    const std::vector<ReviewFile>& files = m_groups[size_t(group)].files;
    return std::any_of(files.begin(), files.end(), [this](const ReviewFile& f) {
        return f.shownPath.contains(m_filter, Qt::CaseInsensitive);
    });
}

std::vector<int> ReviewModel::shownGroups() const
{
    std::vector<int> shown;
    shown.reserve(m_groups.size());
    for (int g = 0; g < groupCount(); ++g)
        if (isShown(g))
            shown.push_back(g);
    return shown;
}

int ReviewModel::hiddenMarkedCount() const
{
    int count = 0;
    for (int g = 0; g < groupCount(); ++g) {
        if (isShown(g))
            continue;
        for (const ReviewFile& f : m_groups[size_t(g)].files)
            count += markedById(f.id) ? 1 : 0;
    }
    return count;
}

void ReviewModel::forgetFiles(const std::vector<int>& ids)
{
    if (ids.empty())
        return;
    std::vector<char> gone(m_marks.size(), 0);
    for (int id : ids)
        if (id >= 0 && size_t(id) < gone.size())
            gone[size_t(id)] = 1;
    for (ReviewGroup& group : m_groups) {
        auto firstGone = std::stable_partition(group.files.begin(), group.files.end(),
            [&gone](const ReviewFile& f) { return !gone[size_t(f.id)]; });
        if (firstGone != group.files.end()) {
            Forgotten& aside = m_forgotten[group.id];
            aside.acted.id = group.id;
            aside.acted.width = group.width;
            aside.acted.samePhoto = group.samePhoto;
            aside.acted.height = group.height;
            aside.acted.frames = group.frames;
            for (auto f = firstGone; f != group.files.end(); ++f) {
                m_marks[size_t(f->id)] = 0;
                aside.acted.files.push_back(std::move(*f));
            }
            group.files.erase(firstGone, group.files.end());
            if (group.files.size() < 2)
                aside.survivors = group.files;
        }
        sumSizes(group);
    }
    std::erase_if(m_groups, [](const ReviewGroup& group) { return group.files.size() < 2; });
    // Only marked files are ever acted on, so a copy of each group is still
    // unmarked; should a caller forget one, the promise holds all the same.
    for (const ReviewGroup& group : m_groups)
        if (unmarkedCount(group) == 0)
            for (int id : listingsOf(firstThatCanStay(group).id))
                m_marks[size_t(id)] = 0;
    m_undo.clear();
}

void ReviewModel::noteIdentity(const QByteArray& path, const FileIdentity& now)
{
    const auto note = [&](std::vector<ReviewFile>& files) {
        for (ReviewFile& f : files)
            if (f.found.path == path)
                f.found.identity = now;
    };
    for (ReviewGroup& group : m_groups)
        note(group.files);
    for (auto& [groupId, aside] : m_forgotten) {
        note(aside.acted.files);
        note(aside.survivors);
    }
}

const ReviewFile* ReviewModel::forgottenFile(int id) const
{
    for (const auto& [groupId, aside] : m_forgotten)
        for (const ReviewFile& f : aside.acted.files)
            if (f.id == id)
                return &f;
    return nullptr;
}

void ReviewModel::putFilesBack(const std::vector<std::pair<int, FileIdentity>>& returned)
{
    for (const auto& [id, now] : returned) {
        for (auto& [groupId, aside] : m_forgotten) {
            auto f = std::find_if(aside.acted.files.begin(), aside.acted.files.end(),
                [id = id](const ReviewFile& file) { return file.id == id; });
            if (f == aside.acted.files.end())
                continue;
            ReviewFile back = std::move(*f);
            aside.acted.files.erase(f);
            back.found.identity = now;
            m_marks[size_t(back.id)] = 0;
            auto live = std::find_if(m_groups.begin(), m_groups.end(),
                [groupId = groupId](const ReviewGroup& g) { return g.id == groupId; });
            if (live == m_groups.end()) {
                // The group left the list with the action; its copy that
                // stayed comes back with the first file returned to it.
                ReviewGroup group = aside.acted;
                group.files = std::move(aside.survivors);
                aside.survivors.clear();
                m_groups.push_back(std::move(group));
                live = m_groups.end() - 1;
            }
            live->files.push_back(std::move(back));
            sumSizes(*live);
            break;
        }
    }
    // A group is only a group with two copies on the list.
    for (auto g = m_groups.begin(); g != m_groups.end();) {
        if (g->files.size() >= 2) {
            ++g;
            continue;
        }
        Forgotten& aside = m_forgotten[g->id];
        aside.survivors = std::move(g->files);
        g = m_groups.erase(g);
    }
    applySort();
}

int ReviewModel::markedNotIdenticalToAKeptCopy() const
{
    // Files hold the same pixels when they share a member of a same-photo
    // group or an identical group; paths join the two kinds of listing.
    std::map<QByteArray, int> setOf; // path -> its set of equal pixels
    std::vector<int> parent;
    const auto find = [&parent](int x) {
        while (parent[size_t(x)] != x)
            x = parent[size_t(x)] = parent[size_t(parent[size_t(x)])];
        return x;
    };
    const auto setFor = [&](const QByteArray& path) {
        auto [it, added] = setOf.try_emplace(path, int(parent.size()));
        if (added)
            parent.push_back(it->second);
        return find(it->second);
    };
    std::map<QByteArray, bool> going; // path -> marked in any listing
    for (const ReviewGroup& group : m_groups) {
        for (size_t i = 0; i < group.files.size(); ++i) {
            const ReviewFile& f = group.files[i];
            going[f.found.path] = going[f.found.path] || markedById(f.id);
            for (size_t j = 0; j < i; ++j) {
                const ReviewFile& e = group.files[j];
                if (!group.samePhoto || e.member == f.member)
                    parent[size_t(setFor(f.found.path))] = setFor(e.found.path);
            }
            setFor(f.found.path);
        }
    }
    std::map<int, bool> setStays;
    for (const auto& [path, goes] : going)
        if (!goes)
            setStays[setFor(path)] = true;
    int count = 0;
    for (const auto& [path, goes] : going)
        count += goes && !setStays.count(setFor(path)) ? 1 : 0;
    return count;
}

namespace {

// Each member whose files are identical to each other points at their
// identical group as exported now.
void pointAtIdenticalGroups(
    SamePhotoGroup& group, const std::map<QByteArray, int>& identicalGroupOf)
{
    for (SamePhotoMember& member : group.members) {
        member.identicalGroup = -1;
        for (const FoundFile& f : member.files) {
            if (const auto it = identicalGroupOf.find(f.path); it != identicalGroupOf.end()) {
                member.identicalGroup = it->second;
                break;
            }
        }
    }
}

} // namespace

FinderResult ReviewModel::currentResult(bool withSamePhoto) const
{
    FinderResult result = m_searched;
    for (const ReviewGroup& group : m_groups) {
        if (group.samePhoto) {
            if (!withSamePhoto)
                continue;
            result.samePhotoSearched = true;
            std::map<int, SamePhotoMember> members;
            for (const ReviewFile& f : group.files) {
                SamePhotoMember& member = members[f.member];
                member.width = f.pixelWidth;
                member.height = f.pixelHeight;
                member.difference = f.difference;
                member.files.push_back(f.found);
            }
            SamePhotoGroup out;
            for (auto& [index, member] : members)
                out.members.push_back(std::move(member));
            out.bestBecause = group.bestBecause;
            if (!out.members.empty()) {
                const std::vector<FoundFile>& first = out.members.front().files;
                for (int i = 0; i < int(first.size()); ++i)
                    if (!group.bestPath.isEmpty() && first[std::size_t(i)].path == group.bestPath)
                        out.bestFile = i;
            }
            if (out.members.size() >= 2 && !out.members.front().difference)
                (group.edited ? result.editedGroups : result.samePhotoGroups)
                    .push_back(std::move(out));
            continue;
        }
        DuplicateGroup out;
        out.width = group.width;
        out.height = group.height;
        out.frames = group.frames;
        for (const ReviewFile& f : group.files)
            out.files.push_back(f.found);
        result.groups.push_back(std::move(out));
    }
    // A member whose files are identical to each other points at their
    // identical group as exported now: groups taken off the list or left
    // with one file renumber the rest, and a group no longer exported is
    // pointed at by nothing.
    std::map<QByteArray, int> identicalGroupOf;
    for (int g = 0; g < int(result.groups.size()); ++g) {
        for (const FoundFile& f : result.groups[size_t(g)].files)
            identicalGroupOf.emplace(f.path, g);
    }
    for (SamePhotoGroup& group : result.samePhotoGroups)
        pointAtIdenticalGroups(group, identicalGroupOf);
    for (SamePhotoGroup& group : result.editedGroups)
        pointAtIdenticalGroups(group, identicalGroupOf);
    return result;
}

int ReviewModel::protectFolder(const QByteArray& folder)
{
    const QByteArray prefix = folder.endsWith('/') ? folder : folder + '/';
    int count = 0;
    for (ReviewGroup& group : m_groups)
        for (ReviewFile& f : group.files) {
            if (!f.found.path.startsWith(prefix) || m_protected[size_t(f.id)])
                continue;
            m_protected[size_t(f.id)] = 1;
            m_marks[size_t(f.id)] = 0;
            f.found.isProtected = true;
            ++count;
        }
    return count;
}
