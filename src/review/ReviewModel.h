#pragma once
// The review window's state without any widget: the duplicate groups of a
// whole-folder search, which files are marked to go, the marking rules with
// their undo steps, the order of the groups and of the files within each,
// the filter that narrows what is shown, and the groups taken off the list.
// The window shows this model and forwards clicks to it; tests drive it
// directly.
//
// groupCount() and group() are every group still on the list, whether the
// filter shows it or not: acting on the marked files acts on all of them
// (hiddenMarkedCount() says how many the filter hides).
//
// The one promise the model keeps whatever it is asked: one copy of every
// group stays unmarked. A request that would mark the last unmarked copy is
// refused and statusText() says why.
//
// A file can be listed twice, in its identical group and in a same-photo
// group: it has one mark, shown in both places. Marking it in one group
// marks it in the other, and is refused when either group would be left
// without an unmarked copy. The counts and sizes of marked files count each
// file once.

#include "finder/FinderResult.h"
#include "review/MarkingRule.h"
#include "similar/PhotoDifference.h"

#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

// Copies orders the groups by how many copies they hold; within a group it
// is no order at all.
enum class ReviewColumn { Path, Size, Type, Modified, Mark, Copies, Difference };

struct ReviewFile {
    FoundFile found;
    QString shownPath; // relative to the searched folder that holds it, for people
    int id = 0; // stable for the model's life, whatever the sort order
    // Same-photo groups only: which member (picture) of the group the file
    // holds, 0 for the best copy; the member's pixel size; and its measured
    // difference from the best copy (none for the best copy itself).
    int member = -1;
    std::uint32_t pixelWidth = 0;
    std::uint32_t pixelHeight = 0;
    std::optional<similar::PhotoDifference> difference;

    bool isBestCopy() const { return member == 0; }
};

struct ReviewGroup {
    int id = 0; // stable for the model's life; also the search's order
    // The same photo saved differently: its files are not all identical. Such
    // groups come after the identical ones, whatever the order.
    bool samePhoto = false;
    // Edited copies (also samePhoto): the first file's photo and copies of
    // it edited in one region. They come last, and no rule marks them: only
    // the user's own click does.
    bool edited = false;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t frames = 1;
    std::int64_t totalSize = 0;
    std::vector<ReviewFile> files;
    // Same-photo groups: the best copy's file, empty when the evidence names
    // none; and why ("most pixels", "no clear best copy: ...").
    QByteArray bestPath;
    QString bestBecause;
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
    // A path as the list shows it: relative to the searched folder holding it.
    QString shownPath(const QByteArray& path) const;

    bool isMarked(FileSpot spot) const;
    // Under a protected folder (FoundFile::isProtected): no rule, command or
    // click ever marks it; it still counts as a copy that stays.
    bool isProtected(FileSpot spot) const { return isProtectedId(file(spot).id); }
    // Protects every listed file under folder (by path) and takes its mark
    // away; the number of files newly protected.
    int protectFolder(const QByteArray& folder);

    // Results taken up again later (KeptResults): looks at every file once
    // more. A file that changed since the search is unmarked and can never
    // be marked again; returns how many changed.
    int noteChangedFiles();
    // Why the file changed since the search, or empty when it did not.
    QString changedReason(FileSpot spot) const;
    // Marks the files at these paths, as far as the promise allows; no undo
    // step.
    void restoreMarks(const std::set<QByteArray>& paths);
    // The paths of the marked files.
    std::set<QByteArray> markedPaths() const;
    // Marks or unmarks one file; one undo step. False (and a status text)
    // when it would leave no copy of the group unmarked.
    bool setMarked(FileSpot spot, bool marked);
    bool toggleMark(FileSpot spot);
    // Unmarks everything; one undo step.
    void clearMarks();

    // The commands on the groups the user selected (indexes into group()),
    // each one undo step. markAll marks every copy but the first in the
    // current order; invertMarks turns every mark over and, in a group that
    // would be left with no copy, unmarks the first. Return the files whose
    // mark changed.
    int markAll(const std::vector<int>& groups);
    int markNone(const std::vector<int>& groups);
    int invertMarks(const std::vector<int>& groups);

    // Takes groups off the list (their files stay where they are, their marks
    // go with them); undo brings them back. One undo step.
    void removeGroups(const std::vector<int>& groups);

    struct RuleOutcome {
        int groupsChanged = 0; // groups whose marks the rule set
        int groupsLeftAlone = 0; // groups where the rule had no copy to keep
        int groupsWithoutBest = 0; // KeepBestCopy: same-photo groups with no clear best copy
    };
    // Marks every copy but the one the rule keeps, in every group at once;
    // groups where the rule keeps nothing keep their marks. One undo step.
    // folder is used by KeepInsideFolder only (absolute, no trailing "/").
    // Same-photo groups are left alone unless withSamePhoto, except by
    // KeepBestCopy, the rule made for them.
    RuleOutcome applyRule(
        MarkingRule rule, const QByteArray& folder = QByteArray(), bool withSamePhoto = false);

    // Marked files whose pixels no copy that stays holds: same-photo copies
    // that go while only a different save of the photo stays.
    int markedNotIdenticalToAKeptCopy() const;

    bool canUndo() const { return !m_undo.empty(); }
    // True when undo() would bring groups back onto the list.
    bool undoBringsGroupsBack() const { return canUndo() && !m_undo.back().removed.empty(); }
    // Puts the marks back as they were before the last rule or click, and
    // the groups taken off the list by the last removal.
    bool undo();

    int markedCount() const;
    std::int64_t markedBytes() const;
    QString statusText() const { return m_status; }

    // Orders the files of every group by column (stable: equal keys keep
    // their order). The groups themselves keep their order.
    void sortFiles(ReviewColumn column, bool ascending);
    // A click on a column's header: the files of every group as sortFiles,
    // and the groups by name (Path: their first file's path once sorted),
    // total size (Size) or number of copies (Copies); by any other column
    // the groups go back to the search's order. Groups with equal keys keep
    // the search's order. Kept, and applied again when groups come back.
    void sort(ReviewColumn column, bool ascending);
    std::optional<ReviewColumn> sortColumn() const { return m_sortColumn; }
    bool sortAscending() const { return m_sortAscending; }

    // Shows only the groups with a file whose shown path holds text (any
    // case); an empty text shows every group.
    void setFilter(const QString& text);
    QString filter() const { return m_filter; }
    bool isShown(int group) const;
    // Indexes of the shown groups, in order.
    std::vector<int> shownGroups() const;
    // Marked files in groups the filter hides.
    int hiddenMarkedCount() const;

    // Takes files that no longer exist where the search saw them (acted on)
    // out of the model; groups left with one file leave too. The undo steps
    // are dropped: they would name files that are gone. The files are kept
    // aside so that putFilesBack() can return them.
    void forgetFiles(const std::vector<int>& ids);
    // Who a listed file is now, after a change of Corvane's own that left its
    // bytes as they were (a hard link to it adds a link and moves its change
    // time): every listing of it, on the list or aside, takes it.
    void noteIdentity(const QByteArray& path, const FileIdentity& now);
    // The files forgetFiles() took out, by id (nullptr for an unknown id).
    const ReviewFile* forgottenFile(int id) const;
    // Returns forgotten files to their groups, unmarked, with the identity
    // they have now at their place (a group that had left with them comes
    // back whole). Unknown ids are ignored.
    void putFilesBack(const std::vector<std::pair<int, FileIdentity>>& returned);

    // The groups as they stand now, in the search result's form (for export
    // and the pair walk: identical groups only).
    // withSamePhoto adds the same-photo groups (their members rebuilt from
    // the files still listed).
    FinderResult currentResult(bool withSamePhoto = false) const;

    // The text shown when marking would take the last copy of a group.
    static QString lastCopyText();

private:
    struct UndoStep {
        std::vector<char> marks;
        std::vector<ReviewGroup> removed; // groups the step took off the list
    };
    // Files acted on, by the id of the group they belonged to; survivors are
    // the files of a group that left the list with them.
    struct Forgotten {
        ReviewGroup acted; // width, height, frames, id and the acted files
        std::vector<ReviewFile> survivors;
    };

    bool markedById(int id) const { return m_marks[size_t(id)] != 0; }
    bool isProtectedId(int id) const { return m_protected[size_t(id)] != 0; }
    // The ids of every listing of the file with this id (itself included).
    const std::vector<int>& listingsOf(int id) const
    {
        return m_listings[size_t(m_fileOf[size_t(id)])];
    }
    // After a change of many marks from before: a file whose listings
    // disagree takes the change (it stays when the change kept it in one of
    // them: unmarked it, or chose it as the copy to keep, by id in kept),
    // then every group left with no unmarked copy unmarks its first.
    void settleMarks(const std::vector<char>& before, const std::vector<int>& kept = {});
    // Unmarked copies that can be the one that stays (see canStay).
    int unmarkedCount(const ReviewGroup& group) const;
    // Whether the file can be a group's copy that stays in place of the
    // others: any copy of an identical group, but in a same-photo group not a
    // protected one (its presence never makes another save go).
    bool canStay(const ReviewGroup& group, const ReviewFile& file) const;
    const ReviewFile& firstThatCanStay(const ReviewGroup& group) const;
    void pushUndo();
    // An undo step back to before when the marks differ from it; how many do.
    int keepUndoStep(const std::vector<char>& before);
    void applySort();
    std::vector<int> validGroups(const std::vector<int>& groups) const;
    // The valid groups a command that marks may touch: edited copies are
    // left to the user's own clicks.
    std::vector<int> markableGroups(const std::vector<int>& groups) const;
    static void sumSizes(ReviewGroup& group);

    FinderResult m_searched; // folders, counts and unreadable files of the search
    std::vector<ReviewGroup> m_groups;
    std::vector<char> m_marks; // by ReviewFile::id
    std::vector<char> m_protected; // by ReviewFile::id: FoundFile::isProtected
    std::map<int, QString> m_changed; // by ReviewFile::id: why it changed since the search
    std::vector<int> m_fileOf; // by ReviewFile::id: its file, an index into m_listings
    std::vector<std::vector<int>> m_listings; // the ids of each file's listings
    std::vector<UndoStep> m_undo;
    std::map<int, Forgotten> m_forgotten; // by ReviewGroup::id
    std::optional<ReviewColumn> m_sortColumn;
    bool m_sortAscending = true;
    QString m_filter;
    QString m_status;
};
