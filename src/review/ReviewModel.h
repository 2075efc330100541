#pragma once
// The review window's state without any widget: the duplicate groups of a
// whole-folder search, which files are marked to go, the marking rules with
// their undo steps, and the files' order within each group. The window shows
// this model and forwards clicks to it; tests drive it directly.
//
// The one promise the model keeps whatever it is asked: one copy of every
// group stays unmarked. A request that would mark the last unmarked copy is
// refused and statusText() says why.

#include "finder/FinderResult.h"
#include "review/MarkingRule.h"

#include <QString>

#include <cstdint>
#include <vector>

enum class ReviewColumn { Path, Size, Type, Modified, Mark };

struct ReviewFile {
    FoundFile found;
    QString shownPath; // relative to the searched folder that holds it, for people
    int id = 0; // stable for the model's life, whatever the sort order
};

struct ReviewGroup {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t frames = 1;
    std::int64_t totalSize = 0;
    std::vector<ReviewFile> files;
};

// Position of a file as the model orders it now.
struct FileSpot {
    int group = -1;
    int file = -1;
    bool operator==(const FileSpot&) const = default;
};

class ReviewModel {
public:
    // Groups of fewer than two files are left out; the groups keep the
    // result's order (largest total size first).
    explicit ReviewModel(const FinderResult& result);

    int groupCount() const { return int(m_groups.size()); }
    const ReviewGroup& group(int g) const { return m_groups[size_t(g)]; }
    const ReviewFile& file(FileSpot spot) const;
    const FinderResult& searched() const { return m_searched; }

    bool isMarked(FileSpot spot) const;
    // Marks or unmarks one file; one undo step. False (and a status text)
    // when it would leave no copy of the group unmarked.
    bool setMarked(FileSpot spot, bool marked);
    bool toggleMark(FileSpot spot);
    // Unmarks everything; one undo step.
    void clearMarks();

    struct RuleOutcome {
        int groupsChanged = 0; // groups whose marks the rule set
        int groupsLeftAlone = 0; // groups where the rule had no copy to keep
    };
    // Marks every copy but the one the rule keeps, in every group at once;
    // groups where the rule keeps nothing keep their marks. One undo step.
    // folder is used by KeepInsideFolder only (absolute, no trailing "/").
    RuleOutcome applyRule(MarkingRule rule, const QByteArray& folder = QByteArray());

    bool canUndo() const { return !m_undo.empty(); }
    // Puts the marks back as they were before the last rule or click.
    bool undo();

    int markedCount() const;
    std::int64_t markedBytes() const;
    QString statusText() const { return m_status; }

    // Orders the files of every group by column (stable: equal keys keep
    // their order). The groups themselves keep their order.
    void sortFiles(ReviewColumn column, bool ascending);

    // Takes files that no longer exist where the search saw them (acted on)
    // out of the model; groups left with one file leave too. The undo steps
    // are dropped: they would name files that are gone.
    void forgetFiles(const std::vector<int>& ids);

    // The groups as they stand now, in the search result's form (for export).
    FinderResult currentResult() const;

    // The text shown when marking would take the last copy of a group.
    static QString lastCopyText();

private:
    bool markedById(int id) const { return m_marks[size_t(id)] != 0; }
    int unmarkedCount(const ReviewGroup& group) const;
    void pushUndo();

    FinderResult m_searched; // folders, counts and unreadable files of the search
    std::vector<ReviewGroup> m_groups;
    std::vector<char> m_marks; // by ReviewFile::id
    std::vector<std::vector<char>> m_undo;
    QString m_status;
};
