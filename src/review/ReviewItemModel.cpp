#include "review/ReviewItemModel.h"

#include "review/MarkedFilesAction.h"
#include "review/ThumbnailCache.h"

#include <QDateTime>
#include <QLocale>

namespace {

// Internal ids: 0 for a group row, group + 1 for the rows of its files.
constexpr quintptr kGroupRow = 0;

} // namespace

ReviewItemModel::ReviewItemModel(ReviewModel& model, ThumbnailCache* thumbnails, QObject* parent)
    : QAbstractItemModel(parent)
    , m_model(model)
    , m_thumbnails(thumbnails)
{
    if (m_thumbnails)
        connect(m_thumbnails, &ThumbnailCache::ready, this, &ReviewItemModel::thumbnailReady);
}

QModelIndex ReviewItemModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column < 0 || column >= ColumnCount || row < 0)
        return QModelIndex();
    if (!parent.isValid())
        return row < m_model.groupCount() ? createIndex(row, column, kGroupRow) : QModelIndex();
    if (parent.internalId() != kGroupRow || parent.row() >= m_model.groupCount())
        return QModelIndex();
    if (row >= int(m_model.group(parent.row()).files.size()))
        return QModelIndex();
    return createIndex(row, column, quintptr(parent.row()) + 1);
}

QModelIndex ReviewItemModel::parent(const QModelIndex& child) const
{
    if (!child.isValid() || child.internalId() == kGroupRow)
        return QModelIndex();
    return createIndex(int(child.internalId() - 1), 0, kGroupRow);
}

int ReviewItemModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return m_model.groupCount();
    if (parent.internalId() == kGroupRow && parent.column() == 0
        && parent.row() < m_model.groupCount())
        return int(m_model.group(parent.row()).files.size());
    return 0;
}

int ReviewItemModel::columnCount(const QModelIndex&) const
{
    return ColumnCount;
}

FileSpot ReviewItemModel::spotOf(const QModelIndex& index) const
{
    if (!index.isValid() || index.internalId() == kGroupRow)
        return {};
    return {int(index.internalId() - 1), index.row()};
}

QModelIndex ReviewItemModel::indexOf(FileSpot spot, int column) const
{
    return index(spot.file, column, index(spot.group, 0));
}

int ReviewItemModel::groupOf(const QModelIndex& index) const
{
    if (!index.isValid())
        return -1;
    return index.internalId() == kGroupRow ? index.row() : int(index.internalId() - 1);
}

QString ReviewItemModel::modifiedText(std::int64_t modifiedNs)
{
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(modifiedNs / 1'000'000);
    return QLocale().toString(when, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QVariant ReviewItemModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return QVariant();
    if (index.internalId() == kGroupRow) {
        const ReviewGroup& group = m_model.group(index.row());
        if (index.column() == PathColumn) {
            if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) {
                QString text = QStringLiteral("%1 copies, %2 \u00d7 %3")
                                   .arg(group.files.size())
                                   .arg(group.width)
                                   .arg(group.height);
                if (group.frames > 1)
                    text += QStringLiteral(", %1 frames").arg(group.frames);
                return text;
            }
            if (role == Qt::DecorationRole && m_thumbnails) {
                const QByteArray& path = group.files.front().found.path;
                const QImage small = m_thumbnails->thumbnail(path);
                if (!small.isNull())
                    return small;
                // A blank of the full size until the picture is made, so rows
                // do not change height while the user scrolls.
                if (m_blank.isNull()) {
                    m_blank = QImage(m_thumbnails->box(), QImage::Format_ARGB32_Premultiplied);
                    m_blank.fill(Qt::transparent);
                }
                return m_blank;
            }
            if (role == Qt::ToolTipRole && m_thumbnails
                && m_thumbnails->failed(group.files.front().found.path))
                return QStringLiteral("No preview for this picture.");
        }
        if (index.column() == SizeColumn && role == Qt::DisplayRole)
            return MarkedFilesAction::sizeText(group.totalSize);
        if (index.column() == SizeColumn && role == Qt::TextAlignmentRole)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant();
    }

    const FileSpot spot = spotOf(index);
    const ReviewFile& file = m_model.file(spot);
    const bool marked = m_model.isMarked(spot);
    switch (index.column()) {
    case PathColumn:
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
            return file.shownPath;
        break;
    case SizeColumn:
        if (role == Qt::DisplayRole)
            return QLocale().toString(qint64(file.found.identity.size));
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        break;
    case TypeColumn:
        if (role == Qt::DisplayRole)
            return file.found.type;
        break;
    case ModifiedColumn:
        if (role == Qt::DisplayRole)
            return modifiedText(file.found.identity.modifiedNs);
        break;
    case MarkColumn:
        if (role == Qt::CheckStateRole)
            return marked ? Qt::Checked : Qt::Unchecked;
        if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
            return marked ? QStringLiteral("goes") : QStringLiteral("stays");
        break;
    }
    return QVariant();
}

bool ReviewItemModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    const FileSpot spot = spotOf(index);
    if (spot.group < 0 || index.column() != MarkColumn || role != Qt::CheckStateRole)
        return false;
    const bool wanted = value.toInt() == Qt::Checked;
    if (wanted == m_model.isMarked(spot))
        return true;
    return toggleMark(index);
}

Qt::ItemFlags ReviewItemModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.internalId() != kGroupRow && index.column() == MarkColumn)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

QVariant ReviewItemModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case PathColumn:
        return QStringLiteral("File");
    case SizeColumn:
        return QStringLiteral("Size");
    case TypeColumn:
        return QStringLiteral("Type");
    case ModifiedColumn:
        return QStringLiteral("Modified");
    case MarkColumn:
        return QStringLiteral("Mark");
    }
    return QVariant();
}

void ReviewItemModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount)
        return;
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    std::vector<std::pair<int, int>> ids; // group, file id of each persistent index
    for (const QModelIndex& i : before) {
        const FileSpot spot = spotOf(i);
        ids.emplace_back(groupOf(i), spot.group < 0 ? -1 : m_model.file(spot).id);
    }
    m_model.sortFiles(ReviewColumn(column), order == Qt::AscendingOrder);
    QModelIndexList after;
    for (int n = 0; n < before.size(); ++n) {
        const auto [group, id] = ids[size_t(n)];
        if (id < 0) {
            after << before[n];
            continue;
        }
        const std::vector<ReviewFile>& files = m_model.group(group).files;
        int row = 0;
        while (row < int(files.size()) && files[size_t(row)].id != id)
            ++row;
        after << indexOf({group, row}, before[n].column());
    }
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

bool ReviewItemModel::toggleMark(const QModelIndex& index)
{
    const FileSpot spot = spotOf(index);
    if (spot.group < 0)
        return false;
    const bool accepted = m_model.toggleMark(spot);
    if (accepted) {
        const QModelIndex row = indexOf(spot, 0);
        emit dataChanged(row.siblingAtColumn(0), row.siblingAtColumn(ColumnCount - 1));
        emit marksChanged();
    }
    emit statusChanged(m_model.statusText());
    return accepted;
}

void ReviewItemModel::marksReset()
{
    // One change over all top-level rows: Qt's views repaint what they show
    // for it, where one signal per group would cost thousands of calls.
    if (m_model.groupCount() > 0)
        emit dataChanged(index(0, 0), index(m_model.groupCount() - 1, ColumnCount - 1));
    emit marksChanged();
    emit statusChanged(m_model.statusText());
}

void ReviewItemModel::applyRule(MarkingRule rule, const QByteArray& folder)
{
    m_model.applyRule(rule, folder);
    marksReset();
}

bool ReviewItemModel::undo()
{
    const bool undone = m_model.undo();
    if (undone)
        marksReset();
    return undone;
}

void ReviewItemModel::clearMarks()
{
    m_model.clearMarks();
    marksReset();
}

void ReviewItemModel::forgetFiles(const std::vector<int>& ids)
{
    beginResetModel();
    m_model.forgetFiles(ids);
    endResetModel();
    emit marksChanged();
}

void ReviewItemModel::thumbnailReady(const QByteArray& path)
{
    // Few groups are on screen; finding the one is cheaper than keeping a map.
    for (int g = 0; g < m_model.groupCount(); ++g) {
        if (m_model.group(g).files.front().found.path == path) {
            const QModelIndex i = index(g, PathColumn);
            emit dataChanged(i, i, {Qt::DecorationRole});
        }
    }
}
