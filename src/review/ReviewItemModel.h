#pragma once
// The review model as Qt's item views read it: one top-level row per group
// the filter shows (its small picture, how many copies, the picture's size),
// under it one row per file with the columns path, size, type, modified and
// mark. After the groups, when the search could not read some files, a last
// section "Not read" lists each with its reason (whatever the filter).
// Marking, sorting and filtering go through ReviewModel, so the
// one-copy-stays promise holds for every view; a refused click is reported
// through statusChanged().

#include "review/ReviewModel.h"

#include <QAbstractItemModel>
#include <QImage>
#include <QSize>

class ThumbnailCache;

class ReviewItemModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Column {
        PathColumn,
        CopiesColumn,
        SizeColumn,
        TypeColumn,
        ModifiedColumn,
        MarkColumn,
        DifferenceColumn, // same-photo groups: the measured difference from the best copy
        ColumnCount
    };

    // thumbnails may be null (no small pictures). Neither is owned.
    ReviewItemModel(ReviewModel& model, ThumbnailCache* thumbnails, QObject* parent = nullptr);

    QModelIndex index(
        int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Top-level rows that are groups (the Not read section comes after them).
    int shownGroupCount() const { return int(m_rows.size()); }
    // The Not read section's row, or one of its files.
    bool isNotRead(const QModelIndex& index) const;
    QModelIndex notReadIndex() const;

    // The file a row stands for; group -1 for a group row, a row of the Not
    // read section or an invalid index.
    FileSpot spotOf(const QModelIndex& index) const;
    QModelIndex indexOf(FileSpot spot, int column = 0) const;
    // The group a row belongs to (a group row or one of its files), or -1.
    int groupOf(const QModelIndex& index) const;
    // The groups of some rows, each once, in list order.
    std::vector<int> groupsOf(const QModelIndexList& indexes) const;

    // Marking through the view: false when refused (statusChanged says why).
    bool toggleMark(const QModelIndex& index);
    void applyRule(
        MarkingRule rule, const QByteArray& folder = QByteArray(), bool withSamePhoto = false);
    bool undo();
    void clearMarks();
    int protectFolder(const QByteArray& folder); // ReviewModel::protectFolder
    void markAll(const std::vector<int>& groups);
    void markNone(const std::vector<int>& groups);
    void invertMarks(const std::vector<int>& groups);
    void removeGroups(const std::vector<int>& groups);
    void setFilter(const QString& text);
    // After the marks changed in the model directly.
    void refreshMarks() { marksReset(); }
    // After files were acted on: they leave the list.
    void forgetFiles(const std::vector<int>& ids);
    // After files were put back: they return to the list.
    void putFilesBack(const std::vector<std::pair<int, FileIdentity>>& returned);

    static ReviewColumn reviewColumn(int column);

    ReviewModel& model() const { return m_model; }

    static QString modifiedText(std::int64_t modifiedNs);
    // The verdict in words, then the figures: "half the width, re-saved
    // (SSIM 0.981, mean 1.2, largest 14 at 800 x 600)"; "best copy" for the
    // best copy itself. best is the group's best copy (may be null).
    static QString differenceText(const ReviewFile& file, const ReviewFile* best);
    // The best copy of a same-photo group, or null.
    static const ReviewFile* bestCopyOf(const ReviewGroup& group);
    // The Difference column of a file of the group's first member: the best
    // copy and why, or on the group's first row why it has none.
    static QString bestCopyText(const ReviewFile& file, const ReviewGroup& group);

signals:
    void statusChanged(const QString& text);
    void marksChanged();

private:
    void thumbnailReady(const QByteArray& path);
    void marksReset();
    void refreshRows();
    const ReviewGroup& shownGroup(int row) const { return m_model.group(m_rows[size_t(row)]); }
    bool hasNotRead() const { return !m_model.searched().unreadable.empty(); }
    int notReadRow() const { return hasNotRead() ? int(m_rows.size()) : -1; }
    QVariant notReadData(const QModelIndex& index, int role) const;

    ReviewModel& m_model;
    std::vector<int> m_rows; // the model's group of each top-level row
    std::vector<int> m_rowOf; // the top-level row of each model group, -1 when hidden
    ThumbnailCache* m_thumbnails;
    mutable QImage m_blank; // stands in for a small picture not made yet
};
