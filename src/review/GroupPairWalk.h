#pragma once
// The pair-by-pair walk over the groups of a whole-folder search, for those
// who prefer the main window's way: each group's first picture beside its
// next copy, shown through the same view, buttons and action list as the
// first design's search. Every pair waits for an action on one copy; then the
// walk goes on with what is left of the group, so a group of three is three
// pictures and two pairs. Before a pair is shown both files are looked at
// again: a copy that changed since the search leaves the walk unshown.

#include "finder/FinderResult.h"
#include "search/PairWalk.h"

#include <QString>

#include <functional>
#include <vector>

class GroupPairWalk : public PairWalk {
public:
    using Decode = std::function<QImage(const QByteArray& path)>;

    // The view must outlive the walk. searchFolder ends with "/"; the labels
    // show paths relative to it.
    GroupPairWalk(ComparisonView& view, const FinderResult& result, const QString& searchFolder,
        Decode decode);

    // Shows the first pair, or finishes at once when there is none.
    void start();
    bool isActive() const { return m_active; }
    // PairWalk: the identities are the ones the search saw; an acted-on copy
    // leaves its group and the walk goes on with what is left of it.
    bool pairOnShow() const override { return m_pairOnShow; }
    QString pathOf(Side side) const override;
    std::optional<FileIdentity> identityOf(Side side) const override;
    bool pairUnchanged() const override;
    QString searchFolder() const override { return m_searchFolder; }
    void actOn(Side side, ActOutcome outcome) override;
    // "Skip this pair": both copies stay where they are and uncounted; the
    // right one leaves the walk, so the left one meets the group's next copy
    // (or the next group begins). Ignored unless a pair is on show.
    void skip();
    void cancel();
    // The window is closing: the view is not called again.
    void windowClosing();

    int deletedCount() const { return m_deleted; }
    int pairsShown() const { return m_shown; }
    int pairsSkipped() const { return m_skipped; }

private:
    void showNext();
    void finish();

    ComparisonView& m_view;
    QString m_searchFolder;
    Decode m_decode;
    std::vector<std::vector<FoundFile>> m_groups;
    std::int64_t m_filesExamined = 0;
    size_t m_group = 0;
    int m_totalPairs = 0;
    int m_pairsDone = 0;
    int m_shown = 0;
    int m_deleted = 0;
    int m_skipped = 0;
    bool m_active = false;
    bool m_pairOnShow = false;
    bool m_closing = false;
};
