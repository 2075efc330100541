#include "review/ReviewModel.h"

#include <QFile>

#include <algorithm>

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
    m_searched.unreadable = result.unreadable;
    m_searched.cancelled = result.cancelled;
    int id = 0;
    for (const DuplicateGroup& found : result.groups) {
        if (found.files.size() < 2)
            continue;
        ReviewGroup group;
        group.width = found.width;
        group.height = found.height;
        group.frames = found.frames;
        for (const FoundFile& f : found.files) {
            group.files.push_back({f, relativeToSearch(f.path, result.folders), id++});
            group.totalSize += f.identity.size;
        }
        m_groups.push_back(std::move(group));
    }
    m_marks.assign(size_t(id), 0);
}

const ReviewFile& ReviewModel::file(FileSpot spot) const
{
    return m_groups[size_t(spot.group)].files[size_t(spot.file)];
}

bool ReviewModel::isMarked(FileSpot spot) const
{
    return markedById(file(spot).id);
}

int ReviewModel::unmarkedCount(const ReviewGroup& group) const
{
    return int(std::count_if(group.files.begin(), group.files.end(),
        [this](const ReviewFile& f) { return !markedById(f.id); }));
}

void ReviewModel::pushUndo()
{
    if (m_undo.size() == kUndoSteps)
        m_undo.erase(m_undo.begin());
    m_undo.push_back(m_marks);
}

bool ReviewModel::setMarked(FileSpot spot, bool marked)
{
    const ReviewFile& f = file(spot);
    if (markedById(f.id) == marked)
        return true;
    if (marked && unmarkedCount(m_groups[size_t(spot.group)]) <= 1) {
        m_status = lastCopyText();
        return false;
    }
    pushUndo();
    m_marks[size_t(f.id)] = marked ? 1 : 0;
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

ReviewModel::RuleOutcome ReviewModel::applyRule(MarkingRule rule, const QByteArray& folder)
{
    pushUndo();
    RuleOutcome outcome;
    std::vector<const FoundFile*> files;
    for (const ReviewGroup& group : m_groups) {
        files.clear();
        for (const ReviewFile& f : group.files)
            files.push_back(&f.found);
        const int keeper = keeperIndex(files, rule, folder);
        if (keeper < 0) {
            ++outcome.groupsLeftAlone;
            continue;
        }
        ++outcome.groupsChanged;
        for (int i = 0; i < int(group.files.size()); ++i)
            m_marks[size_t(group.files[size_t(i)].id)] = i == keeper ? 0 : 1;
    }
    m_status = ruleTitle(rule) + QStringLiteral(": ")
        + countText(outcome.groupsChanged, "group marked", "groups marked");
    if (outcome.groupsLeftAlone > 0) {
        m_status += QStringLiteral(", ")
            + countText(outcome.groupsLeftAlone, "group has", "groups have")
            + QStringLiteral(" no copy inside %1 and kept its marks")
                  .arg(QFile::decodeName(folder));
    }
    m_status += QLatin1Char('.');
    return outcome;
}

bool ReviewModel::undo()
{
    if (m_undo.empty())
        return false;
    m_marks = std::move(m_undo.back());
    m_undo.pop_back();
    m_status = QStringLiteral("Marks put back as they were.");
    return true;
}

int ReviewModel::markedCount() const
{
    int count = 0;
    for (const ReviewGroup& group : m_groups)
        for (const ReviewFile& f : group.files)
            count += markedById(f.id) ? 1 : 0;
    return count;
}

std::int64_t ReviewModel::markedBytes() const
{
    std::int64_t bytes = 0;
    for (const ReviewGroup& group : m_groups)
        for (const ReviewFile& f : group.files)
            if (markedById(f.id))
                bytes += f.found.identity.size;
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

void ReviewModel::forgetFiles(const std::vector<int>& ids)
{
    if (ids.empty())
        return;
    std::vector<char> gone(m_marks.size(), 0);
    for (int id : ids)
        if (id >= 0 && size_t(id) < gone.size())
            gone[size_t(id)] = 1;
    for (ReviewGroup& group : m_groups) {
        std::erase_if(group.files, [&gone](const ReviewFile& f) { return gone[size_t(f.id)]; });
        group.totalSize = 0;
        for (const ReviewFile& f : group.files)
            group.totalSize += f.found.identity.size;
    }
    std::erase_if(m_groups, [](const ReviewGroup& group) { return group.files.size() < 2; });
    // Only marked files are ever acted on, so a copy of each group is still
    // unmarked; should a caller forget one, the promise holds all the same.
    for (const ReviewGroup& group : m_groups)
        if (unmarkedCount(group) == 0)
            m_marks[size_t(group.files.front().id)] = 0;
    m_undo.clear();
}

FinderResult ReviewModel::currentResult() const
{
    FinderResult result = m_searched;
    for (const ReviewGroup& group : m_groups) {
        DuplicateGroup out;
        out.width = group.width;
        out.height = group.height;
        out.frames = group.frames;
        for (const ReviewFile& f : group.files)
            out.files.push_back(f.found);
        result.groups.push_back(std::move(out));
    }
    return result;
}
