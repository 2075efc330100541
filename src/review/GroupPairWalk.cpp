#include "review/GroupPairWalk.h"

#include "review/FileRecheck.h"

#include <QFile>

GroupPairWalk::GroupPairWalk(
    ComparisonView& view, const FinderResult& result, const QString& searchFolder, Decode decode)
    : m_view(view)
    , m_searchFolder(searchFolder)
    , m_decode(std::move(decode))
    , m_filesExamined(result.filesExamined)
{
    for (const DuplicateGroup& group : result.groups) {
        if (group.files.size() < 2)
            continue;
        m_groups.push_back(group.files);
        m_totalPairs += int(group.files.size()) - 1;
    }
}

void GroupPairWalk::start()
{
    m_active = true;
    m_view.beginSearch(m_searchFolder, int(m_filesExamined));
    showNext();
}

QString GroupPairWalk::pathOf(Side side) const
{
    if (!m_pairOnShow)
        return QString();
    return QFile::decodeName(m_groups[m_group][side == Side::Left ? 0 : 1].path);
}

std::optional<FileIdentity> GroupPairWalk::identityOf(Side side) const
{
    if (!m_pairOnShow)
        return std::nullopt;
    return m_groups[m_group][side == Side::Left ? 0 : 1].identity;
}

bool GroupPairWalk::pairUnchanged() const
{
    if (!m_pairOnShow)
        return false;
    for (int i = 0; i < 2; ++i) {
        const FoundFile& f = m_groups[m_group][size_t(i)];
        if (!changeSinceSearch(f.path, f.identity).isEmpty())
            return false;
    }
    return true;
}

void GroupPairWalk::showNext()
{
    m_pairOnShow = false;
    while (m_active && !m_closing && m_group < m_groups.size()) {
        std::vector<FoundFile>& files = m_groups[m_group];
        // A copy that changed since the search is no longer known to be a
        // duplicate: it leaves the walk without being shown.
        std::erase_if(files, [](const FoundFile& f) {
            return !changeSinceSearch(f.path, f.identity).isEmpty() || !survivesAsText(f.path);
        });
        if (files.size() < 2) {
            ++m_group;
            continue;
        }
        if (m_totalPairs > 0)
            m_view.showProgress(m_pairsDone, m_totalPairs);
        const QImage left = m_decode(files[0].path);
        const QImage right = m_decode(files[1].path);
        auto shown = [this](const FoundFile& f) {
            const QByteArray folder = QFile::encodeName(m_searchFolder);
            return f.path.startsWith(folder) ? QFile::decodeName(f.path.mid(folder.size()))
                                             : QFile::decodeName(f.path);
        };
        m_pairOnShow = true;
        ++m_shown;
        ++m_deleted;
        m_view.showPair(left, right, shown(files[0]), shown(files[1]));
        return;
    }
    if (m_active && !m_closing)
        finish();
}

void GroupPairWalk::actOn(Side side, ActOutcome outcome)
{
    if (!m_pairOnShow || m_closing)
        return;
    m_pairOnShow = false;
    std::vector<FoundFile>& files = m_groups[m_group];
    switch (outcome) {
    case ActOutcome::EntryRemoved:
        files.erase(files.begin() + (side == Side::Left ? 0 : 1));
        ++m_pairsDone;
        break;
    case ActOutcome::EntryDropped:
        // No action chosen: the copy leaves the walk, untouched and uncounted.
        files.erase(files.begin() + (side == Side::Left ? 0 : 1));
        ++m_pairsDone;
        --m_deleted;
        break;
    case ActOutcome::Refused:
        --m_deleted; // the same pair comes again
        break;
    }
    m_view.clearPair(side);
    showNext();
}

void GroupPairWalk::skip()
{
    if (!m_pairOnShow || m_closing)
        return;
    m_pairOnShow = false;
    std::vector<FoundFile>& files = m_groups[m_group];
    files.erase(files.begin() + 1);
    ++m_pairsDone;
    ++m_skipped;
    --m_deleted; // nothing was done to either copy
    m_view.clearPair(Side::Right);
    showNext();
}

void GroupPairWalk::finish()
{
    m_active = false;
    m_pairOnShow = false;
    m_view.finishSearch({int(m_filesExamined), m_deleted});
}

void GroupPairWalk::cancel()
{
    if (!m_active)
        return;
    m_active = false;
    m_pairOnShow = false;
    if (!m_closing)
        m_view.cancelSearch();
}

void GroupPairWalk::windowClosing()
{
    m_closing = true;
    m_active = false;
    m_pairOnShow = false;
}
