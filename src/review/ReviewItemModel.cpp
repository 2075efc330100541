#include "review/ReviewItemModel.h"

#include "review/DifferenceVerdict.h"
#include "review/MarkedFilesAction.h"
#include "review/ThumbnailCache.h"

#include <QDateTime>
#include <QFile>
#include <QIcon>
#include <QLocale>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <unordered_map>

namespace {

// Internal ids: 0 for a group row, the group's row + 1 for the rows of its files.
constexpr quintptr kGroupRow = 0;

// A padlock for the Mark column of a protected file: the desktop's own when
// its icon theme has one, else drawn here.
QIcon lockIcon()
{
    static const QIcon icon = [] {
        QIcon themed = QIcon::fromTheme(QStringLiteral("object-locked"));
        if (!themed.isNull())
            return themed;
        QPixmap pixmap(16, 16);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(90, 90, 90), 2));
        painter.drawArc(QRectF(4.5, 1.5, 7, 9), 0, 180 * 16);
        painter.drawLine(QPointF(4.5, 6), QPointF(4.5, 8));
        painter.drawLine(QPointF(11.5, 6), QPointF(11.5, 8));
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(200, 150, 40));
        painter.drawRoundedRect(QRectF(2.5, 7.5, 11, 7.5), 1.5, 1.5);
        painter.end();
        return QIcon(pixmap);
    }();
    return icon;
}

} // namespace

ReviewItemModel::ReviewItemModel(ReviewModel& model, ThumbnailCache* thumbnails, QObject* parent)
    : QAbstractItemModel(parent)
    , m_model(model)
    , m_thumbnails(thumbnails)
{
    refreshRows();
    if (m_thumbnails)
        connect(m_thumbnails, &ThumbnailCache::ready, this, &ReviewItemModel::thumbnailReady);
}

QModelIndex ReviewItemModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column < 0 || column >= ColumnCount || row < 0)
        return QModelIndex();
    if (!parent.isValid())
        return row < rowCount() ? createIndex(row, column, kGroupRow) : QModelIndex();
    if (parent.internalId() != kGroupRow || parent.row() >= rowCount())
        return QModelIndex();
    if (row >= rowCount(parent.siblingAtColumn(0)))
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
        return int(m_rows.size()) + (hasNotRead() ? 1 : 0);
    if (parent.internalId() != kGroupRow || parent.column() != 0)
        return 0;
    if (parent.row() < int(m_rows.size()))
        return int(shownGroup(parent.row()).files.size());
    if (parent.row() == notReadRow())
        return int(m_model.searched().unreadable.size());
    return 0;
}

bool ReviewItemModel::isNotRead(const QModelIndex& index) const
{
    if (!index.isValid() || !hasNotRead())
        return false;
    const int row = index.internalId() == kGroupRow ? index.row() : int(index.internalId() - 1);
    return row == notReadRow();
}

QModelIndex ReviewItemModel::notReadIndex() const
{
    return hasNotRead() ? index(notReadRow(), 0) : QModelIndex();
}

QVariant ReviewItemModel::notReadData(const QModelIndex& index, int role) const
{
    const std::vector<UnreadableFile>& files = m_model.searched().unreadable;
    if (index.internalId() == kGroupRow) {
        if (index.column() == PathColumn
            && (role == Qt::DisplayRole || role == Qt::AccessibleTextRole))
            return files.size() == 1 ? QStringLiteral("Not read: 1 file")
                                     : QStringLiteral("Not read: %1 files").arg(files.size());
        return QVariant();
    }
    const UnreadableFile& file = files[size_t(index.row())];
    if (index.column() == PathColumn) {
        // The reason as corvane-find gives it, after the path.
        if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
            return m_model.shownPath(file.path) + QStringLiteral(": ") + file.reason;
        if (role == Qt::ToolTipRole)
            return QFile::decodeName(file.path) + QStringLiteral(": ") + file.reason;
    }
    return QVariant();
}

int ReviewItemModel::columnCount(const QModelIndex&) const
{
    return ColumnCount;
}

FileSpot ReviewItemModel::spotOf(const QModelIndex& index) const
{
    if (!index.isValid() || index.internalId() == kGroupRow || isNotRead(index))
        return {};
    return {m_rows[size_t(index.internalId() - 1)], index.row()};
}

QModelIndex ReviewItemModel::indexOf(FileSpot spot, int column) const
{
    if (spot.group < 0 || spot.group >= int(m_rowOf.size()) || m_rowOf[size_t(spot.group)] < 0)
        return QModelIndex();
    const int row = m_rowOf[size_t(spot.group)];
    return spot.file < 0 ? index(row, column) : index(spot.file, column, index(row, 0));
}

int ReviewItemModel::groupOf(const QModelIndex& index) const
{
    if (!index.isValid())
        return -1;
    const int row = index.internalId() == kGroupRow ? index.row() : int(index.internalId() - 1);
    return row < int(m_rows.size()) ? m_rows[size_t(row)] : -1;
}

std::vector<int> ReviewItemModel::groupsOf(const QModelIndexList& indexes) const
{
    std::vector<int> groups;
    for (const QModelIndex& i : indexes)
        if (const int g = groupOf(i); g >= 0)
            groups.push_back(g);
    std::sort(groups.begin(), groups.end());
    groups.erase(std::unique(groups.begin(), groups.end()), groups.end());
    return groups;
}

void ReviewItemModel::refreshRows()
{
    m_rows = m_model.shownGroups();
    m_rowOf.assign(size_t(m_model.groupCount()), -1);
    for (size_t row = 0; row < m_rows.size(); ++row)
        m_rowOf[size_t(m_rows[row])] = int(row);
}

ReviewColumn ReviewItemModel::reviewColumn(int column)
{
    switch (column) {
    case CopiesColumn:
        return ReviewColumn::Copies;
    case SizeColumn:
        return ReviewColumn::Size;
    case TypeColumn:
        return ReviewColumn::Type;
    case ModifiedColumn:
        return ReviewColumn::Modified;
    case MarkColumn:
        return ReviewColumn::Mark;
    case DifferenceColumn:
        return ReviewColumn::Difference;
    default:
        return ReviewColumn::Path;
    }
}

QString ReviewItemModel::differenceText(const ReviewFile& file, const ReviewFile* best)
{
    if (!file.difference)
        return QStringLiteral("best copy");
    const QString figures = review::differenceFigures(*file.difference);
    if (!best)
        return figures;
    const similar::PhotoDifference& d = *file.difference;
    if (similar::editOf(d) == similar::Edit::Region && d.comparedWidth > 0
        && d.comparedHeight > 0) {
        // Where, in the first picture's pixels: the words a user can check.
        const auto x = std::uint64_t(d.local.region[0]) * best->pixelWidth / d.comparedWidth;
        const auto y = std::uint64_t(d.local.region[1]) * best->pixelHeight / d.comparedHeight;
        return QStringLiteral("edited at %1, %2 (%3)").arg(x).arg(y).arg(figures);
    }
    return review::differenceVerdict({file.pixelWidth, file.pixelHeight, file.found.type},
               {best->pixelWidth, best->pixelHeight, best->found.type})
        + QStringLiteral(" (") + figures + QLatin1Char(')');
}

QString ReviewItemModel::bestCopyText(const ReviewFile& file, const ReviewGroup& group)
{
    if (!group.bestPath.isEmpty()) {
        if (file.found.path == group.bestPath)
            return QStringLiteral("best copy: ") + group.bestBecause;
        return QStringLiteral("identical to the best copy");
    }
    // No best copy: the group's first row says why; the reference's other files are its copies.
    if (!group.files.empty() && &file == &group.files.front())
        return group.bestBecause;
    return QStringLiteral("identical to the reference copy");
}

const ReviewFile* ReviewItemModel::bestCopyOf(const ReviewGroup& group)
{
    for (const ReviewFile& f : group.files)
        if (f.isBestCopy())
            return &f;
    return nullptr;
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
    if (isNotRead(index))
        return notReadData(index, role);
    if (index.internalId() == kGroupRow) {
        const ReviewGroup& group = shownGroup(index.row());
        if (index.column() == PathColumn) {
            if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) {
                QString text = group.edited
                    ? QStringLiteral("Edited copies, %1 files: a photo and copies of it changed "
                                     "in one region (no rule marks them)")
                          .arg(group.files.size())
                    : group.samePhoto ? QStringLiteral("Same photo saved differently, %1 copies")
                                            .arg(group.files.size())
                                      : QStringLiteral("%1 copies, %2 \u00d7 %3")
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
        if (index.column() == CopiesColumn && role == Qt::DisplayRole)
            return int(group.files.size());
        if ((index.column() == SizeColumn || index.column() == CopiesColumn)
            && role == Qt::TextAlignmentRole)
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
        if (role == Qt::DisplayRole) {
            if (file.member < 0)
                return file.found.type;
            return QStringLiteral("%1, %2 \u00d7 %3")
                .arg(file.found.type)
                .arg(file.pixelWidth)
                .arg(file.pixelHeight);
        }
        break;
    case DifferenceColumn:
        if ((role == Qt::DisplayRole || role == Qt::ToolTipRole) && file.member >= 0) {
            const ReviewGroup& group = m_model.group(spot.group);
            if (!file.difference)
                return bestCopyText(file, group);
            return differenceText(file, bestCopyOf(group));
        }
        break;
    case ModifiedColumn:
        if (role == Qt::DisplayRole)
            return modifiedText(file.found.identity.modifiedNs);
        break;
    case MarkColumn:
        if (m_model.isProtected(spot)) {
            if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
                return QStringLiteral("protected");
            if (role == Qt::DecorationRole)
                return lockIcon();
            if (role == Qt::ToolTipRole)
                return QStringLiteral("In a protected folder: never marked, never acted on");
            break;
        }
        if (const QString changed = m_model.changedReason(spot); !changed.isEmpty()) {
            if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
                return QStringLiteral("changed");
            if (role == Qt::ToolTipRole)
                return QStringLiteral("Changed since the search (%1): left alone").arg(changed);
            break;
        }
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
    if (index.internalId() != kGroupRow && index.column() == MarkColumn && !isNotRead(index)
        && !m_model.isProtected(spotOf(index)))
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
    case CopiesColumn:
        return QStringLiteral("Copies");
    case SizeColumn:
        return QStringLiteral("Size");
    case TypeColumn:
        return QStringLiteral("Type");
    case ModifiedColumn:
        return QStringLiteral("Modified");
    case MarkColumn:
        return QStringLiteral("Mark");
    case DifferenceColumn:
        return QStringLiteral("Difference");
    }
    return QVariant();
}

void ReviewItemModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= ColumnCount)
        return;
    emit layoutAboutToBeChanged();
    // Persistent indexes follow their group and file by id: both move.
    struct Held {
        int groupId = -1;
        int fileId = -1;
        int column = 0;
        bool notRead = false; // the Not read section keeps its place and order
        int row = 0;
        bool top = true;
    };
    const QModelIndexList before = persistentIndexList();
    std::vector<Held> held;
    for (const QModelIndex& i : before) {
        const int g = groupOf(i);
        const FileSpot spot = spotOf(i);
        held.push_back(
            {g < 0 ? -1 : m_model.group(g).id, spot.group < 0 ? -1 : m_model.file(spot).id,
                i.column(), isNotRead(i), i.row(), !i.parent().isValid()});
    }
    m_model.sort(reviewColumn(column), order == Qt::AscendingOrder);
    refreshRows();
    // The tree keeps a persistent index per expanded group: look groups up
    // by id rather than walk the list for each.
    std::unordered_map<int, int> groupById;
    for (int g = 0; g < m_model.groupCount(); ++g)
        groupById.emplace(m_model.group(g).id, g);
    QModelIndexList after;
    for (const Held& h : held) {
        if (h.notRead) {
            const QModelIndex section = index(notReadRow(), h.top ? h.column : 0);
            after << (h.top ? section : index(h.row, h.column, section));
            continue;
        }
        const auto g = groupById.find(h.groupId);
        if (g == groupById.end()) {
            after << QModelIndex();
            continue;
        }
        int file = -1;
        const std::vector<ReviewFile>& files = m_model.group(g->second).files;
        for (int f = 0; h.fileId >= 0 && f < int(files.size()); ++f)
            if (files[size_t(f)].id == h.fileId)
                file = f;
        after << indexOf({g->second, file}, h.column);
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
        // Its other listing, if any, shows the same mark.
        marksReset();
        return true;
    }
    emit statusChanged(m_model.statusText());
    return false;
}

void ReviewItemModel::marksReset()
{
    // One change over all top-level rows: Qt's views repaint what they show
    // for it, where one signal per group would cost thousands of calls.
    if (!m_rows.empty())
        emit dataChanged(index(0, 0), index(int(m_rows.size()) - 1, ColumnCount - 1));
    emit marksChanged();
    emit statusChanged(m_model.statusText());
}

void ReviewItemModel::applyRule(MarkingRule rule, const QByteArray& folder, bool withSamePhoto)
{
    m_model.applyRule(rule, folder, withSamePhoto);
    marksReset();
}

bool ReviewItemModel::undo()
{
    if (m_model.undoBringsGroupsBack()) {
        beginResetModel();
        m_model.undo();
        refreshRows();
        endResetModel();
        emit marksChanged();
        emit statusChanged(m_model.statusText());
        return true;
    }
    const bool undone = m_model.undo();
    if (undone)
        marksReset();
    return undone;
}

void ReviewItemModel::markAll(const std::vector<int>& groups)
{
    m_model.markAll(groups);
    marksReset();
}

void ReviewItemModel::markNone(const std::vector<int>& groups)
{
    m_model.markNone(groups);
    marksReset();
}

void ReviewItemModel::invertMarks(const std::vector<int>& groups)
{
    m_model.invertMarks(groups);
    marksReset();
}

void ReviewItemModel::removeGroups(const std::vector<int>& groups)
{
    beginResetModel();
    m_model.removeGroups(groups);
    refreshRows();
    endResetModel();
    emit marksChanged();
    emit statusChanged(m_model.statusText());
}

void ReviewItemModel::setFilter(const QString& text)
{
    if (text.trimmed() == m_model.filter())
        return;
    beginResetModel();
    m_model.setFilter(text);
    refreshRows();
    endResetModel();
}

void ReviewItemModel::putFilesBack(const std::vector<std::pair<int, FileIdentity>>& returned)
{
    beginResetModel();
    m_model.putFilesBack(returned);
    refreshRows();
    endResetModel();
    emit marksChanged();
}

void ReviewItemModel::clearMarks()
{
    m_model.clearMarks();
    marksReset();
}

int ReviewItemModel::protectFolder(const QByteArray& folder)
{
    const int count = m_model.protectFolder(folder);
    marksReset();
    return count;
}

void ReviewItemModel::forgetFiles(const std::vector<int>& ids)
{
    beginResetModel();
    m_model.forgetFiles(ids);
    refreshRows();
    endResetModel();
    emit marksChanged();
}

void ReviewItemModel::thumbnailReady(const QByteArray& path)
{
    // Few groups are on screen; finding the one is cheaper than keeping a map.
    for (int row = 0; row < int(m_rows.size()); ++row) {
        if (shownGroup(row).files.front().found.path == path) {
            const QModelIndex i = index(row, PathColumn);
            emit dataChanged(i, i, {Qt::DecorationRole});
        }
    }
}
