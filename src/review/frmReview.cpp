#include "review/frmReview.h"

#include "finder/Finder.h"
#include "finder/IgnoreList.h"
#include "report/ReportWriters.h"
#include "review/PictureForView.h"
#include "review/ReviewItemModel.h"
#include "review/ThumbnailCache.h"
#include "review/frmCompare.h"
#include "review/frmPicture.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QSettings>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <QElapsedTimer>

#include <algorithm>

namespace {

const QSize kThumbnailBox(96, 72);
// Every column but File, which takes what they leave: enough for their
// usual texts in the window's font (Difference shows its verdict in full and
// the figures as far as they go; the tooltip has them all).
const char* const kWidestTexts[ReviewItemModel::ColumnCount] = {"", "Copies", "999,999,999",
    "JPEG 2000", "2026-12-31 23:59:59", "stays", "half the width, converted from PNG"};
// One step of acting runs files for about this long before the window
// repaints and takes input.
constexpr int kActSliceMs = 30;

QSettings settings()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Corvane"),
        QStringLiteral("Corvane"));
}

// Gives group rows the height of a small picture without asking for the
// picture: Qt's views measure every row, and asking would decode them all.
class GroupRowDelegate : public QStyledItemDelegate {
public:
    GroupRowDelegate(QSize box, QObject* parent)
        : QStyledItemDelegate(parent)
        , m_box(box)
    {
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const auto* items = qobject_cast<const ReviewItemModel*>(index.model());
        if (index.parent().isValid() || index.column() != ReviewItemModel::PathColumn
            || (items && items->isNotRead(index)))
            return QStyledItemDelegate::sizeHint(option, index);
        const QFontMetrics metrics(option.font);
        const int text = metrics.horizontalAdvance(index.data().toString());
        return QSize(m_box.width() + text + 16, qMax(m_box.height() + 6, metrics.height() + 4));
    }

private:
    QSize m_box;
};

void showReportDialog(QWidget* owner, const QString& summary, const QStringList& problems)
{
    QDialog dialog(owner);
    dialog.setWindowTitle(QStringLiteral("Corvane"));
    dialog.setAccessibleName(QStringLiteral("Report"));
    auto* text = new QLabel(summary, &dialog);
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    text->setAccessibleName(QStringLiteral("Summary"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(text);
    if (!problems.isEmpty()) {
        auto* list = new QPlainTextEdit(problems.join(QLatin1Char('\n')), &dialog);
        list->setReadOnly(true);
        list->setAccessibleName(QStringLiteral("Files not acted on, with the reasons"));
        list->setLineWrapMode(QPlainTextEdit::NoWrap);
        layout->addWidget(list);
        dialog.resize(640, 360);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.exec();
}

} // namespace

QString frmReview::totalText(int files, std::int64_t bytes)
{
    if (files == 0)
        return QStringLiteral("No file marked");
    return QStringLiteral("%1 %2 marked, %3")
        .arg(files)
        .arg(files == 1 ? QStringLiteral("file") : QStringLiteral("files"))
        .arg(MarkedFilesAction::sizeText(bytes));
}

QString frmReview::actCaption(int row)
{
    switch (row) {
    case 0:
        return QStringLiteral("Move marked files to the trash");
    case 1:
        return QStringLiteral("Delete marked files");
    case 2:
        return QStringLiteral("Move marked files to a folder");
    }
    return QStringLiteral("Act on marked files");
}

frmReview::frmReview(const FinderResult& result, Hooks hooks, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , m_hooks(std::move(hooks))
    , m_model(std::make_unique<ReviewModel>(result))
    , m_thumbnails(std::make_unique<ThumbnailCache>(kThumbnailBox,
          [](const QByteArray& path) { return smallPictureForView(path, kThumbnailBox); }))
{
    setObjectName(QStringLiteral("frmReview"));
    setWindowTitle(QStringLiteral("Corvane - Review duplicates"));
    setAccessibleName(QStringLiteral("Review duplicates"));
    if (!m_hooks.actionRow || !m_hooks.chooseAction) {
        // No main window: the window keeps its own choice.
        auto row = std::make_shared<int>(m_hooks.actionRow ? m_hooks.actionRow() : 0);
        m_hooks.actionRow = [row] { return *row; };
        m_hooks.chooseAction = [row](int chosen) { *row = chosen; };
    }
    if (!m_hooks.actionTexts || m_hooks.actionTexts().isEmpty()) {
        m_hooks.actionTexts = [] {
            return QStringList{QStringLiteral("Delete to recycle bin"),
                QStringLiteral("Delete permanently"), QStringLiteral("Move to another folder")};
        };
    }
    if (!m_hooks.confirm) {
        m_hooks.confirm = [this](const QString& question) {
            return QMessageBox::question(this, QStringLiteral("Corvane"), question)
                == QMessageBox::Yes;
        };
    }
    if (!m_hooks.pickFolder) {
        m_hooks.pickFolder = [this](const QString& title) {
            return QFileDialog::getExistingDirectory(this, title);
        };
    }
    if (!m_hooks.pickExportFile) {
        m_hooks.pickExportFile = [this] {
            return QFileDialog::getSaveFileName(this, QStringLiteral("Export the list"),
                QStringLiteral("duplicates.csv"), QStringLiteral("CSV (*.csv);;JSON (*.json)"));
        };
    }
    if (!m_hooks.report) {
        m_hooks.report = [this](const QString& summary, const QStringList& problems) {
            showReportDialog(this, summary, problems);
        };
    }
    if (!m_hooks.askOnClose) {
        m_hooks.askOnClose = [this](const QString& question) {
            QMessageBox box(QMessageBox::Question, QStringLiteral("Corvane"), question,
                QMessageBox::NoButton, this);
            QPushButton* act
                = box.addButton(QStringLiteral("&Act on them"), QMessageBox::AcceptRole);
            QPushButton* keep
                = box.addButton(QStringLiteral("&Keep for later"), QMessageBox::ApplyRole);
            QPushButton* discard
                = box.addButton(QStringLiteral("&Discard"), QMessageBox::DestructiveRole);
            box.addButton(QMessageBox::Cancel);
            box.setDefaultButton(keep);
            box.exec();
            const QAbstractButton* chosen = box.clickedButton();
            return chosen == act ? 0 : chosen == keep ? 1 : chosen == discard ? 2 : -1;
        };
    }
    if (!m_hooks.keep)
        m_hooks.keep = [](const KeptResults::Kept& kept) { return KeptResults::save(kept); };
    if (!m_hooks.discardKept)
        m_hooks.discardKept = [] { KeptResults::discard(); };
    if (!m_hooks.openUrl)
        m_hooks.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    m_actTimer.setInterval(0);
    setupWidgets();
    setupConnections();
    restoreLayout();
    updateControls();
    int samePhoto = 0;
    int edited = 0;
    for (int g = 0; g < m_model->groupCount(); ++g) {
        edited += m_model->group(g).edited ? 1 : 0;
        samePhoto += m_model->group(g).samePhoto && !m_model->group(g).edited ? 1 : 0;
    }
    const int groups = m_model->groupCount() - samePhoto - edited;
    QString found = groups == 1 ? QStringLiteral("1 group of identical pictures")
                                : QStringLiteral("%1 groups of identical pictures").arg(groups);
    if (samePhoto > 0 && groups == 0) {
        found = samePhoto == 1
            ? QStringLiteral("1 group of the same photo saved differently")
            : QStringLiteral("%1 groups of the same photo saved differently").arg(samePhoto);
    } else if (samePhoto > 0) {
        found += samePhoto == 1
            ? QStringLiteral(" and 1 of the same photo saved differently")
            : QStringLiteral(" and %1 of the same photo saved differently").arg(samePhoto);
    }
    if (edited > 0) {
        found += edited == 1 ? QStringLiteral(", 1 photo with edited copies")
                             : QStringLiteral(", %1 photos with edited copies").arg(edited);
    }
    setStatus(found + QStringLiteral(". Mark the copies that go, or choose a rule under Mark."));
}

frmReview::~frmReview()
{
    // The list and its item model read the review model and the thumbnail
    // cache, which as members die before the widget's children would: the
    // children go first, so that hiding them reads nothing that is gone.
    delete m_list;
    delete m_items;
}

void frmReview::setupWidgets()
{
    auto makeTool = [this](const QString& text, const QString& name, const QString& tip) {
        auto* button = new QToolButton(this);
        button->setText(text);
        button->setAccessibleName(name);
        button->setToolTip(tip);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setAutoRaise(false);
        return button;
    };
    m_mark = makeTool(QStringLiteral("&Mark"), QStringLiteral("Mark by a rule"),
        QStringLiteral("Mark every copy but one in each group"));
    m_mark->setPopupMode(QToolButton::InstantPopup);
    auto* rules = new QMenu(m_mark);
    rules->setAccessibleName(QStringLiteral("Marking rules"));
    for (MarkingRule rule : {MarkingRule::KeepOldest, MarkingRule::KeepNewest,
             MarkingRule::KeepLargest, MarkingRule::KeepSmallest, MarkingRule::KeepShortestPath,
             MarkingRule::KeepInsideFolder, MarkingRule::KeepBestCopy}) {
        const QString title = rule == MarkingRule::KeepInsideFolder
            ? QStringLiteral("Keep the copy inside a folder...")
            : ruleTitle(rule);
        rules->addAction(title, this, [this, rule] { applyRule(rule); });
    }
    m_rulesMarkSamePhoto
        = rules->addAction(QStringLiteral("Rules mark also the same-photo groups"));
    m_rulesMarkSamePhoto->setCheckable(true);
    m_rulesMarkSamePhoto->setToolTip(QStringLiteral(
        "Off: the rules above mark identical groups only (Keep the best copy marks both kinds)"));
    rules->addSeparator();
    rules->addAction(
        QStringLiteral("Mark all in the selected groups"), this, [this] { markAll(); });
    rules->addAction(
        QStringLiteral("Mark none in the selected groups"), this, [this] { markNone(); });
    rules->addAction(
        QStringLiteral("Invert marking in the selected groups"), this, [this] { invertMarks(); });
    rules->addSeparator();
    rules->addAction(QStringLiteral("Unmark all"), this, [this] { m_items->clearMarks(); });
    m_mark->setMenu(rules);

    m_undo = makeTool(QStringLiteral("&Undo"), QStringLiteral("Undo"),
        QStringLiteral("Undo the last change of marks (Ctrl+Z)"));
    m_undo->setShortcut(QKeySequence::Undo);
    // Named short: the row holds every tool beside the filter at the smallest width.
    m_remove = makeTool(QStringLiteral("&Remove"), QStringLiteral("Remove from list"),
        QStringLiteral("Take the selected groups off the list; their files stay where they are"));
    m_ignore = makeTool(QStringLiteral("&Not duplicates (ignore)"),
        QStringLiteral("Not duplicates (ignore)"),
        QStringLiteral("Take the selected groups off the list and leave them out of later "
                       "searches, until a new file joins one"));
    m_ignore->setPopupMode(QToolButton::MenuButtonPopup);
    auto* ignoreMenu = new QMenu(m_ignore);
    ignoreMenu->setAccessibleName(QStringLiteral("Ignored groups"));
    m_ignoreFile = ignoreMenu->addAction(QStringLiteral("Not a duplicate: only the current file"),
        this, [this] { ignoreCurrentFile(); });
    m_forgetIgnored = ignoreMenu->addAction(QString(), this, [this] { forgetIgnoredGroups(); });
    connect(ignoreMenu, &QMenu::aboutToShow, this, [this] {
        const int count = ignoredGroupCount();
        m_forgetIgnored->setText(
            QStringLiteral("Forget the ignored groups (%1 in the list)").arg(count));
        m_forgetIgnored->setEnabled(count > 0);
    });
    m_ignore->setMenu(ignoreMenu);
    m_putBackButton = makeTool(QStringLiteral("Put &back"), QStringLiteral("Put back"),
        QStringLiteral("Return the files of the last action to their places, or give the names "
                       "replaced with links files of their own again"));
    m_links = makeTool(QStringLiteral("Replace with lin&ks..."),
        QStringLiteral("Replace with links"),
        QStringLiteral("Free the space of the marked copies that hold the very bytes of the copy "
                       "that stays; every name keeps working"));
    m_links->setObjectName(QStringLiteral("cmdLinks"));
    m_look = makeTool(QStringLiteral("&Look closer"), QStringLiteral("Look closer"),
        QStringLiteral("Show the picture at full size (Enter)"));
    m_showInFolder = makeTool(QStringLiteral("Show in &folder"), QStringLiteral("Show in folder"),
        QStringLiteral("Open the file manager at the file's folder"));
    if (m_hooks.protectFolder) {
        m_showInFolder->setPopupMode(QToolButton::MenuButtonPopup);
        auto* folderMenu = new QMenu(m_showInFolder);
        m_protectFolder = folderMenu->addAction(
            QStringLiteral("Protect this folder"), this, [this] { protectCurrentFolder(); });
        m_protectFolder->setObjectName(QStringLiteral("actProtectFolder"));
        m_protectFolder->setToolTip(QStringLiteral(
            "Never mark the files of the current file's folder, here and in later searches"));
        m_showInFolder->setMenu(folderMenu);
    }
    m_export = makeTool(QStringLiteral("E&xport..."), QStringLiteral("Export the list"),
        QStringLiteral("Save the list as CSV or JSON"));
    m_compare = makeTool(QStringLiteral("&Compare"), QStringLiteral("Compare with the best copy"),
        QStringLiteral("Show this copy beside its group's best copy, with flicker and the "
                       "difference (C)"));
    m_pairs = makeTool(QStringLiteral("&Pairs one by one"), QStringLiteral("Pairs one by one"),
        QStringLiteral("Go through the duplicates pair by pair in the main window instead"));

    m_act = new QPushButton(this);
    m_act->setAccessibleName(QStringLiteral("Act on marked files"));
    m_act->setAutoDefault(false);
    m_actionList = new QComboBox(this);
    m_actionList->setObjectName(QStringLiteral("cboAction"));
    m_actionList->setAccessibleName(QStringLiteral("What happens to the marked files"));
    m_actionList->setToolTip(QStringLiteral("The main window's action list"));
    // Narrow enough that the tool bar does not widen the window.
    m_actionList->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_actionList->setMinimumContentsLength(17);
    for (const QString& text : m_hooks.actionTexts())
        m_actionList->addItem(text.trimmed());

    m_items = new ReviewItemModel(*m_model, m_thumbnails.get(), this);
    m_list = new QTreeView(this);
    m_list->setObjectName(QStringLiteral("lstGroups"));
    m_list->setAccessibleName(QStringLiteral("Duplicate groups"));
    m_list->setAccessibleDescription(
        QStringLiteral("Space marks or unmarks a file, Enter shows it at full size, Delete acts "
                       "on the marked files."));
    m_list->setModel(m_items);
    m_list->setIconSize(kThumbnailBox);
    // No column sorted at first: the search's order. Enabling sorting sorts
    // by the indicator at once, so it is cleared first.
    m_list->header()->setSortIndicator(-1, Qt::AscendingOrder);
    m_list->header()->setSortIndicatorShown(true);
    m_list->setSortingEnabled(true);
    m_list->setItemDelegate(new GroupRowDelegate(kThumbnailBox, m_list));
    m_list->header()->setStretchLastSection(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setAllColumnsShowFocus(true);
    m_list->setExpandsOnDoubleClick(false);
    m_list->setItemsExpandable(false);
    m_list->setRootIsDecorated(false);
    m_list->expandAll();
    m_list->installEventFilter(this);

    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("txtFilter"));
    m_filter->setAccessibleName(QStringLiteral("Filter by path"));
    m_filter->setPlaceholderText(QStringLiteral("Filter by path (Ctrl+F)"));
    m_filter->setClearButtonEnabled(true);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("lblStatus"));
    m_status->setAccessibleName(QStringLiteral("Status"));
    m_status->setTextFormat(Qt::PlainText);
    m_progress = new QProgressBar(this);
    m_progress->setAccessibleName(QStringLiteral("Progress of the action"));
    m_progress->setFormat(QStringLiteral("%v of %m files"));
    m_progress->hide();
    m_total = new QLabel(this);
    m_total->setObjectName(QStringLiteral("lblTotal"));
    m_total->setAccessibleName(QStringLiteral("Marked so far"));
    m_total->setTextFormat(Qt::PlainText);

    auto* bar = new QHBoxLayout;
    for (QWidget* w : {static_cast<QWidget*>(m_mark), static_cast<QWidget*>(m_undo),
             static_cast<QWidget*>(m_look), static_cast<QWidget*>(m_showInFolder)})
        bar->addWidget(w);
    bar->addStretch();
    bar->addWidget(m_actionList);
    bar->addWidget(m_act);
    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(m_status, 1);
    statusRow->addWidget(m_progress);
    statusRow->addWidget(m_total);
    auto* layout = new QVBoxLayout(this);
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(m_filter, 1);
    listRow->addWidget(m_compare);
    listRow->addWidget(m_remove);
    listRow->addWidget(m_ignore);
    listRow->addWidget(m_links);
    listRow->addWidget(m_putBackButton);
    // What is done with the whole list sits with the list.
    listRow->addWidget(m_export);
    listRow->addWidget(m_pairs);
    layout->addLayout(bar);
    layout->addLayout(listRow);
    layout->addWidget(m_list, 1);
    layout->addLayout(statusRow);

    setTabOrder(m_filter, m_list);
    setTabOrder(m_list, m_act);
    m_list->setFocus();
    if (m_model->groupCount() > 0)
        m_list->setCurrentIndex(m_items->indexOf({0, 0}));
}

void frmReview::setupConnections()
{
    connect(m_items, &ReviewItemModel::statusChanged, this, &frmReview::setStatus);
    connect(m_items, &ReviewItemModel::marksChanged, this, &frmReview::updateControls);
    connect(m_items, &QAbstractItemModel::modelReset, m_list, &QTreeView::expandAll);
    // The Not read section's rows are one text each, across the columns.
    const auto spanNotRead = [this] {
        const QModelIndex section = m_items->notReadIndex();
        if (!section.isValid())
            return;
        m_list->setFirstColumnSpanned(section.row(), QModelIndex(), true);
        for (int row = 0; row < m_items->rowCount(section); ++row)
            m_list->setFirstColumnSpanned(row, section, true);
        m_list->expand(section);
    };
    connect(m_items, &QAbstractItemModel::modelReset, this, spanNotRead);
    connect(m_items, &QAbstractItemModel::layoutChanged, this, spanNotRead);
    spanNotRead();
    connect(m_undo, &QToolButton::clicked, this, [this] { m_items->undo(); });
    connect(m_remove, &QToolButton::clicked, this, &frmReview::removeFromList);
    connect(m_ignore, &QToolButton::clicked, this, &frmReview::ignoreSelectedGroups);
    connect(m_putBackButton, &QToolButton::clicked, this, &frmReview::putBack);
    connect(m_filter, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_items->setFilter(text);
        updateControls();
        if (m_items->shownGroupCount() > 0)
            m_list->setCurrentIndex(m_items->index(0, 0));
        if (text.trimmed().isEmpty()) {
            setStatus(QStringLiteral("Every group shown."));
            return;
        }
        setStatus(QStringLiteral("%1 of %2 groups have a file whose path holds \"%3\".")
                      .arg(m_items->shownGroupCount())
                      .arg(m_model->groupCount())
                      .arg(text.trimmed()));
    });
    auto* find = new QAction(this);
    find->setShortcut(QKeySequence::Find);
    connect(find, &QAction::triggered, m_filter, [this] { m_filter->setFocus(); });
    addAction(find);
    connect(m_look, &QToolButton::clicked, this, &frmReview::lookCloser);
    connect(m_compare, &QToolButton::clicked, this, &frmReview::compareWithBest);
    connect(m_list->selectionModel(), &QItemSelectionModel::currentChanged, this,
        [this] { updateControls(); });
    connect(m_showInFolder, &QToolButton::clicked, this, &frmReview::showInFolder);
    connect(m_export, &QToolButton::clicked, this, &frmReview::exportList);
    connect(m_act, &QPushButton::clicked, this, &frmReview::actOnMarked);
    connect(m_links, &QToolButton::clicked, this, &frmReview::replaceWithLinks);
    connect(m_actionList, qOverload<int>(&QComboBox::activated), this, [this](int row) {
        m_hooks.chooseAction(row);
        refreshActionCaption();
    });
    connect(m_list, &QTreeView::doubleClicked, this, &frmReview::lookCloser);
    connect(m_pairs, &QToolButton::clicked, this, [this] {
        if (!m_hooks.walkPairs || isActing())
            return;
        const auto walk = m_hooks.walkPairs;
        closeKeeping();
        walk();
    });
    connect(&m_actTimer, &QTimer::timeout, this, &frmReview::actSteps);
}

void frmReview::restoreLayout()
{
    const QSettings s = settings();
    const int width = s.value(QStringLiteral("Review/Width"), 1000).toInt();
    const int height = s.value(QStringLiteral("Review/Height"), 660).toInt();
    resize(qBound(400, width, 10000), qBound(300, height, 10000));
    // File takes what the other columns leave, so that all of them are in
    // sight at any width the user gives the window. (Widths kept before File
    // stretched are under another key and left alone.)
    QHeaderView* header = m_list->header();
    const QStringList widths
        = s.value(QStringLiteral("Review/ColumnWidths")).toString().split(QLatin1Char(','));
    const QFontMetrics metrics(m_list->font());
    const int checkBox = style()->pixelMetric(QStyle::PM_IndicatorWidth);
    // The Difference column is for the same photo saved differently, whose
    // types say their pixel sizes too.
    bool anySamePhoto = false;
    bool anyProtected = false;
    for (int g = 0; g < m_model->groupCount(); ++g) {
        anySamePhoto = anySamePhoto || m_model->group(g).samePhoto;
        for (const ReviewFile& f : m_model->group(g).files)
            anyProtected = anyProtected || f.found.isProtected;
    }
    for (int c = 0; c < ReviewItemModel::ColumnCount; ++c) {
        if (c == ReviewItemModel::PathColumn) {
            header->setSectionResizeMode(c, QHeaderView::Stretch);
            continue;
        }
        header->setSectionResizeMode(c, QHeaderView::Interactive);
        const QString title = m_items->headerData(c, Qt::Horizontal).toString();
        const QString widest = c == ReviewItemModel::TypeColumn && anySamePhoto
            ? QStringLiteral("JPEG, 4000 \u00d7 3000")
            : c == ReviewItemModel::MarkColumn && anyProtected ? QStringLiteral("protected")
                                                               : QLatin1String(kWidestTexts[c]);
        int fit
            = qMax(metrics.horizontalAdvance(widest), metrics.horizontalAdvance(title) + 12) + 10;
        if (c == ReviewItemModel::MarkColumn)
            fit += checkBox + 8;
        bool ok = false;
        const int w = c < widths.size() ? widths[c].toInt(&ok) : 0;
        header->resizeSection(c, ok && w >= 20 && w <= 4000 ? w : fit);
    }
    m_list->setColumnHidden(ReviewItemModel::DifferenceColumn, !anySamePhoto);
    bool ok = false;
    const int column = s.value(QStringLiteral("Review/SortColumn"), -1).toInt(&ok);
    if (ok && column >= 0 && column < ReviewItemModel::ColumnCount) {
        const bool descending = s.value(QStringLiteral("Review/SortOrder")).toString()
            == QStringLiteral("descending");
        m_list->sortByColumn(column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    }
}

void frmReview::storeLayout()
{
    QSettings s = settings();
    s.setValue(QStringLiteral("Review/Width"), width());
    s.setValue(QStringLiteral("Review/Height"), height());
    QStringList widths;
    for (int c = 0; c < ReviewItemModel::ColumnCount; ++c)
        widths << QString::number(m_list->header()->sectionSize(c));
    s.setValue(QStringLiteral("Review/ColumnWidths"), widths.join(QLatin1Char(',')));
    const int column = m_list->header()->sortIndicatorSection();
    if (column >= 0 && column < ReviewItemModel::ColumnCount) {
        s.setValue(QStringLiteral("Review/SortColumn"), column);
        s.setValue(QStringLiteral("Review/SortOrder"),
            m_list->header()->sortIndicatorOrder() == Qt::DescendingOrder
                ? QStringLiteral("descending")
                : QStringLiteral("ascending"));
    } else {
        s.remove(QStringLiteral("Review/SortColumn"));
        s.remove(QStringLiteral("Review/SortOrder"));
    }
    s.sync();
}

void frmReview::closeEvent(QCloseEvent* e)
{
    // A half-done action finishes its current file, then stops and reports.
    if (isActing()) {
        e->ignore();
        return;
    }
    if (m_closeKeeping) {
        keepResults();
    } else if (const int marked = m_model->markedCount(); marked > 0) {
        const QString question
            = QStringLiteral("%1 %2 marked (%3). Act on them now, keep the list and its marks "
                             "for later (\"Show last results\" in the main window), or discard "
                             "them?")
                  .arg(marked)
                  .arg(marked == 1 ? QStringLiteral("file is") : QStringLiteral("files are"))
                  .arg(MarkedFilesAction::sizeText(m_model->markedBytes()));
        switch (m_hooks.askOnClose(question)) {
        case 0:
            e->ignore();
            actOnMarked();
            return;
        case 1:
            keepResults();
            break;
        case 2:
            m_hooks.discardKept();
            break;
        default:
            e->ignore();
            return;
        }
    } else {
        keepResults();
    }
    storeLayout();
    QWidget::closeEvent(e);
}

void frmReview::closeKeeping()
{
    m_closeKeeping = true;
    if (!close())
        m_closeKeeping = false;
}

void frmReview::keepResults()
{
    if (m_model->groupCount() == 0) {
        m_hooks.discardKept();
        return;
    }
    const QString problem = m_hooks.keep({m_model->currentResult(true), m_model->markedPaths()});
    if (!problem.isEmpty())
        setStatus(QStringLiteral("The results could not be kept: %1").arg(problem));
}

void frmReview::takeUp(const std::set<QByteArray>& marked)
{
    m_model->restoreMarks(marked);
    const int changed = m_model->noteChangedFiles();
    m_items->refreshMarks();
    updateControls();
    if (changed > 0) {
        setStatus(QStringLiteral("The last results. %1 changed since the search: %2 left alone.")
                      .arg(changed == 1 ? QStringLiteral("1 file has")
                                        : QStringLiteral("%1 files have").arg(changed))
                      .arg(changed == 1 ? QStringLiteral("it is") : QStringLiteral("they are")));
    } else {
        setStatus(QStringLiteral("The last results, with their marks."));
    }
}

void frmReview::setStatus(const QString& text)
{
    if (!text.isEmpty())
        m_status->setText(text);
}

void frmReview::refreshActionCaption()
{
    const int row = m_hooks.actionRow();
    m_act->setText(actCaption(row));
    if (m_actionList->currentIndex() != row)
        m_actionList->setCurrentIndex(row);
}

void frmReview::updateControls()
{
    refreshActionCaption();
    const bool acting = isActing();
    const bool any = m_model->groupCount() > 0;
    m_act->setEnabled(!acting && m_model->markedCount() > 0);
    m_links->setEnabled(!acting && m_model->markedCount() > 0);
    m_actionList->setEnabled(!acting);
    m_total->setText(totalText(m_model->markedCount(), m_model->markedBytes()));
    m_mark->setEnabled(!acting && any);
    m_undo->setEnabled(!acting && m_model->canUndo());
    m_remove->setEnabled(!acting && m_items->shownGroupCount() > 0);
    m_ignore->setEnabled(!acting && m_items->shownGroupCount() > 0);
    m_putBackButton->setEnabled(!acting && m_putBack.count() > 0);
    m_look->setEnabled(!acting && any);
    const QModelIndex current = currentFileIndex();
    m_compare->setEnabled(
        !acting && current.isValid() && m_model->file(m_items->spotOf(current)).member > 0);
    m_showInFolder->setEnabled(any);
    m_export->setEnabled(!acting);
    // The walk shows identical pairs only: with none listed it has nothing to show.
    bool anyIdentical = false;
    for (int g = 0; g < m_model->groupCount() && !anyIdentical; ++g)
        anyIdentical = !m_model->group(g).samePhoto;
    m_pairs->setEnabled(!acting && anyIdentical && m_hooks.walkPairs != nullptr);
    m_list->setEnabled(!acting);
}

QModelIndex frmReview::currentFileIndex() const
{
    const QModelIndex current = m_list->currentIndex();
    if (!current.isValid())
        return QModelIndex();
    const FileSpot spot = m_items->spotOf(current);
    if (spot.group >= 0)
        return current;
    // A group row stands for its first file.
    return m_items->indexOf({m_items->groupOf(current), 0}, current.column());
}

std::vector<int> frmReview::selectedGroups() const
{
    std::vector<int> groups = m_items->groupsOf(m_list->selectionModel()->selectedIndexes());
    if (groups.empty() && m_list->currentIndex().isValid())
        groups.push_back(m_items->groupOf(m_list->currentIndex()));
    return groups;
}

void frmReview::markAll()
{
    m_items->markAll(selectedGroups());
}

void frmReview::markNone()
{
    m_items->markNone(selectedGroups());
}

void frmReview::invertMarks()
{
    m_items->invertMarks(selectedGroups());
}

void frmReview::removeFromList()
{
    if (isActing())
        return;
    const std::vector<int> groups = selectedGroups();
    if (groups.empty())
        return;
    const int row
        = m_list->currentIndex().isValid() ? m_items->indexOf({groups.front(), -1}).row() : 0;
    m_items->removeGroups(groups);
    updateControls();
    if (m_items->shownGroupCount() > 0)
        m_list->setCurrentIndex(m_items->index(qBound(0, row, m_items->shownGroupCount() - 1), 0));
}

int frmReview::ignoreSelectedGroups()
{
    if (isActing())
        return 0;
    const std::vector<int> groups = selectedGroups();
    if (groups.empty())
        return 0;
    const QString path = finder::IgnoreList::defaultPath();
    QString problem;
    finder::IgnoreList list = finder::IgnoreList::load(path, &problem);
    if (!problem.isEmpty()) {
        m_status->setText(
            QStringLiteral("The list of ignored groups cannot be read (%1): nothing was ignored.")
                .arg(problem));
        return 0;
    }
    std::vector<int> ignored;
    QString refused;
    for (int g : groups) {
        std::vector<const FoundFile*> files;
        for (const ReviewFile& file : m_model->group(g).files)
            files.push_back(&file.found);
        const QString why = list.add(files);
        if (why.isEmpty())
            ignored.push_back(g);
        else if (refused.isEmpty())
            refused = why;
    }
    if (!ignored.empty()) {
        if (const QString saved = list.save(path); !saved.isEmpty()) {
            m_status->setText(
                QStringLiteral("The list of ignored groups cannot be written (%1): nothing was "
                               "ignored.")
                    .arg(saved));
            return 0;
        }
        const int row = m_items->indexOf({ignored.front(), -1}).row();
        m_items->removeGroups(ignored);
        updateControls();
        if (m_items->shownGroupCount() > 0)
            m_list->setCurrentIndex(
                m_items->index(qBound(0, row, m_items->shownGroupCount() - 1), 0));
    }
    QString text = QStringLiteral("%1 ignored: later searches leave %2 out.")
                       .arg(ignored.size() == 1 ? QStringLiteral("1 group")
                                                : QStringLiteral("%1 groups").arg(ignored.size()),
                           ignored.size() == 1 ? QStringLiteral("it") : QStringLiteral("them"));
    if (!refused.isEmpty())
        text += QStringLiteral(" Not ignored: %1.").arg(refused);
    m_status->setText(text);
    return int(ignored.size());
}

bool frmReview::ignoreCurrentFile()
{
    if (isActing())
        return false;
    const FileSpot spot = m_items->spotOf(m_list->currentIndex());
    if (spot.group < 0 || spot.file < 0) {
        m_status->setText(QStringLiteral("Choose the file that is not a duplicate first."));
        return false;
    }
    const ReviewGroup& group = m_model->group(spot.group);
    const ReviewFile& chosen = group.files[size_t(spot.file)];
    std::vector<const FoundFile*> files;
    for (const ReviewFile& file : group.files)
        files.push_back(&file.found);
    const QString path = finder::IgnoreList::defaultPath();
    QString problem;
    finder::IgnoreList list = finder::IgnoreList::load(path, &problem);
    if (problem.isEmpty())
        problem = list.add(files, &chosen.found);
    if (problem.isEmpty())
        problem = list.save(path);
    if (!problem.isEmpty()) {
        m_status->setText(QStringLiteral("Not ignored: %1.").arg(problem));
        return false;
    }
    const QString shown = chosen.shownPath;
    m_items->forgetFiles({chosen.id});
    updateControls();
    m_status->setText(
        QStringLiteral("%1 is not a duplicate of the others: later searches leave it out of "
                       "their group.")
            .arg(shown));
    return true;
}

int frmReview::ignoredGroupCount() const
{
    return int(finder::IgnoreList::load(finder::IgnoreList::defaultPath()).size());
}

void frmReview::forgetIgnoredGroups()
{
    const int count = ignoredGroupCount();
    if (count == 0)
        return;
    if (m_hooks.confirm
        && !m_hooks.confirm(
            QStringLiteral("Forget the %1 ignored groups? Later searches show them again.")
                .arg(count)))
        return;
    const QString problem = finder::IgnoreList::forget(finder::IgnoreList::defaultPath());
    m_status->setText(problem.isEmpty()
            ? QStringLiteral("The ignored groups are forgotten: later searches show them again.")
            : QStringLiteral("The list of ignored groups cannot be removed: %1").arg(problem));
}

void frmReview::applyRule(MarkingRule rule)
{
    QByteArray folder;
    if (rule == MarkingRule::KeepInsideFolder) {
        const QString chosen = m_hooks.pickFolder(QStringLiteral("Keep the copies inside"));
        if (chosen.isEmpty())
            return;
        folder = QFile::encodeName(chosen);
        while (folder.size() > 1 && folder.endsWith('/'))
            folder.chop(1);
    }
    m_items->applyRule(rule, folder, m_rulesMarkSamePhoto->isChecked());
}

void frmReview::setRulesMarkSamePhoto(bool on)
{
    m_rulesMarkSamePhoto->setChecked(on);
}

void frmReview::compareWithBest()
{
    const QModelIndex index = currentFileIndex();
    if (!index.isValid())
        return;
    const FileSpot spot = m_items->spotOf(index);
    const ReviewFile& member = m_model->file(spot);
    if (member.member <= 0)
        return;
    const ReviewGroup& group = m_model->group(spot.group);
    const auto best = std::find_if(
        group.files.begin(), group.files.end(), [](const ReviewFile& f) { return f.isBestCopy(); });
    if (best == group.files.end())
        return;
    const auto facts = [](const ReviewFile& f) {
        return QStringLiteral("%1 \u00d7 %2, %3, %4")
            .arg(f.pixelWidth)
            .arg(f.pixelHeight)
            .arg(f.found.type, MarkedFilesAction::sizeText(f.found.identity.size));
    };
    // The first file is the best copy only where the evidence names one; in
    // an edited group it is the photo the others were edited from.
    const QString firstRole = group.edited ? QStringLiteral("Original")
        : group.bestPath.isEmpty()         ? QStringLiteral("Reference copy")
                                           : QStringLiteral("Best copy");
    const QString memberRole
        = group.edited ? QStringLiteral("Edited copy") : QStringLiteral("This copy");
    frmCompare* window
        = frmCompare::showFiles(best->found.path, {best->shownPath, facts(*best), firstRole},
            member.found.path, {member.shownPath, facts(member), memberRole},
            ReviewItemModel::differenceText(member, &*best), this);
    // The box of the region that differs most, as shares of the picture.
    if (member.difference && member.difference->comparedWidth > 0
        && member.difference->comparedHeight > 0) {
        const similar::PhotoDifference& d = *member.difference;
        const double w = d.comparedWidth;
        const double h = d.comparedHeight;
        window->setRegion(QRectF(d.local.region[0] / w, d.local.region[1] / h,
            d.local.region[2] / w, d.local.region[3] / h));
    }
}

void frmReview::lookCloser()
{
    const QModelIndex index = currentFileIndex();
    if (!index.isValid())
        return;
    const ReviewFile& file = m_model->file(m_items->spotOf(index));
    frmPicture::showFile(file.found.path, file.shownPath, this);
}

void frmReview::showInFolder()
{
    const QModelIndex index = currentFileIndex();
    if (!index.isValid())
        return;
    const ReviewFile& file = m_model->file(m_items->spotOf(index));
    const QString folder = QFileInfo(QFile::decodeName(file.found.path)).absolutePath();
    if (!m_hooks.openUrl(QUrl::fromLocalFile(folder)))
        setStatus(QStringLiteral("No file manager could be opened at %1.").arg(folder));
}

bool frmReview::protectCurrentFolder()
{
    const QModelIndex index = currentFileIndex();
    if (isActing() || !index.isValid() || !m_hooks.protectFolder)
        return false;
    const ReviewFile& file = m_model->file(m_items->spotOf(index));
    const QString folder = QFileInfo(QFile::decodeName(file.found.path)).absolutePath();
    m_hooks.protectFolder(folder);
    const int count = m_items->protectFolder(QFile::encodeName(folder));
    updateControls();
    setStatus(QStringLiteral(
        "%1 is protected: its files are never marked (%2 listed files newly protected).")
                  .arg(folder)
                  .arg(count));
    return true;
}

void frmReview::exportList()
{
    const QString target = m_hooks.pickExportFile();
    if (target.isEmpty())
        return;
    const FinderResult now = m_model->currentResult(true);
    const bool json = target.endsWith(QStringLiteral(".json"), Qt::CaseInsensitive);
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly)
        || file.write(json ? findreport::json(now) : findreport::csv(now)) < 0 || !file.commit()) {
        setStatus(QStringLiteral("The list could not be saved to %1: %2")
                      .arg(target, file.errorString()));
        return;
    }
    const size_t saved = now.groups.size() + now.samePhotoGroups.size();
    const QString groups
        = saved == 1 ? QStringLiteral("1 group") : QStringLiteral("%1 groups").arg(saved);
    setStatus(QStringLiteral("%1 saved to %2.").arg(groups, target));
}

void frmReview::actOnMarked()
{
    if (isActing())
        return;
    const int count = m_model->markedCount();
    if (count == 0) {
        setStatus(QStringLiteral("Nothing is marked: mark the copies that go, or choose a rule."));
        return;
    }
    const int row = m_hooks.actionRow();
    if (row < 0 || row > 2) {
        setStatus(QStringLiteral("Choose what to do with the files in the main window's list."));
        return;
    }
    const auto kind = MarkedFilesAction::Kind(row);
    QString folder;
    if (kind == MarkedFilesAction::Kind::Move) {
        folder = m_hooks.pickFolder(QStringLiteral("Select A Directory"));
        if (folder.isEmpty())
            return;
    }
    QString question
        = MarkedFilesAction::confirmationText(kind, count, m_model->markedBytes(), folder);
    if (const int hidden = m_model->hiddenMarkedCount(); hidden > 0) {
        question += QStringLiteral("\n%1 of them %2 in groups the filter hides.")
                        .arg(hidden)
                        .arg(hidden == 1 ? QStringLiteral("is") : QStringLiteral("are"));
    }
    if (const int different = m_model->markedNotIdenticalToAKeptCopy(); different > 0) {
        question += QStringLiteral("\n%1 of them %2 not identical to a copy that stays: only the "
                                   "same photo saved differently stays.")
                        .arg(different)
                        .arg(different == 1 ? QStringLiteral("is") : QStringLiteral("are"));
    }
    if (!m_hooks.confirm(question))
        return;
    m_action = std::make_unique<MarkedFilesAction>(*m_model, kind, folder);
    m_actionKind = kind;
    m_actionFolder = folder;
    startSteps(m_action->total());
}

void frmReview::startSteps(int total)
{
    m_progress->setRange(0, total);
    m_progress->setValue(0);
    m_progress->show();
    setStatus(QStringLiteral("Working..."));
    updateControls();
    m_actTimer.start();
}

void frmReview::actSteps()
{
    MarkedFileSteps* const steps
        = m_linking ? static_cast<MarkedFileSteps*>(m_linking.get()) : m_action.get();
    if (!steps)
        return;
    QElapsedTimer slice;
    slice.start();
    while (!steps->finished() && slice.elapsed() < kActSliceMs)
        steps->step();
    m_progress->setValue(steps->position());
    if (!steps->finished())
        return;
    if (m_linking)
        finishLinking();
    else
        finishActing();
}

void frmReview::finishActing()
{
    m_actTimer.stop();
    const std::unique_ptr<MarkedFilesAction> action = std::move(m_action);
    notePutBack(*action);
    const Place place = currentPlace();
    m_items->forgetFiles(action->goneIds());
    restorePlace(place);
    m_progress->hide();
    updateControls();
    const QString summary = action->summaryText();
    setStatus(summary.section(QLatin1Char('\n'), 0, 0));
    m_hooks.report(summary, action->problems());
}

void frmReview::showOutcome(const QString& summary, const QStringList& problems)
{
    setStatus(summary.section(QLatin1Char('\n'), 0, 0));
    m_hooks.report(summary, problems);
}

void frmReview::replaceWithLinks()
{
    if (isActing())
        return;
    if (m_model->markedCount() == 0) {
        setStatus(QStringLiteral("Nothing is marked: mark the copies that go, or choose a rule."));
        return;
    }
    auto linking = std::make_unique<LinkedFilesAction>(*m_model);
    if (linking->total() == 0) {
        showOutcome(
            QStringLiteral("No marked file can be replaced with a link."), linking->problems());
        return;
    }
    QString question = linking->confirmationText();
    if (const int hidden = m_model->hiddenMarkedCount(); hidden > 0) {
        question += QStringLiteral("\n%1 of the marked files %2 in groups the filter hides.")
                        .arg(hidden)
                        .arg(hidden == 1 ? QStringLiteral("is") : QStringLiteral("are"));
    }
    if (!m_hooks.confirm(question))
        return;
    m_linking = std::move(linking);
    startSteps(m_linking->total());
}

void frmReview::finishLinking()
{
    m_actTimer.stop();
    const std::unique_ptr<LinkedFilesAction> linking = std::move(m_linking);
    std::vector<std::pair<int, LinkReplacement::Linked>> names;
    for (const LinkedFilesAction::Replaced& r : linking->replaced())
        names.emplace_back(r.id, r.linked);
    m_putBack = PutBack::afterLinks(names);
    // The copies that stay keep their bytes; a hard link moved their link
    // count and change time, which later actions must not take for a change.
    for (const auto& [path, now] : linking->keptNow())
        m_model->noteIdentity(path, now);
    const Place place = currentPlace();
    m_items->forgetFiles(linking->goneIds());
    restorePlace(place);
    m_progress->hide();
    updateControls();
    showOutcome(linking->summaryText(), linking->problems());
}

frmReview::Place frmReview::currentPlace() const
{
    Place place;
    place.scroll = m_list->verticalScrollBar()->value();
    const QModelIndex current = m_list->currentIndex();
    const int g = m_items->groupOf(current);
    if (g < 0)
        return place;
    place.row = m_items->indexOf({g, -1}).row();
    place.groupId = m_model->group(g).id;
    const FileSpot spot = m_items->spotOf(current);
    if (spot.group >= 0)
        place.fileId = m_model->file(spot).id;
    return place;
}

void frmReview::restorePlace(const Place& place)
{
    if (m_items->shownGroupCount() == 0)
        return;
    QModelIndex target;
    for (int g = 0; g < m_model->groupCount() && !target.isValid(); ++g) {
        const ReviewGroup& group = m_model->group(g);
        if (group.id != place.groupId)
            continue;
        target = m_items->indexOf({g, -1});
        for (int f = 0; f < int(group.files.size()); ++f)
            if (group.files[size_t(f)].id == place.fileId)
                target = m_items->indexOf({g, f});
    }
    // The group left the list: the one that took its row.
    if (!target.isValid())
        target = m_items->index(qBound(0, place.row, m_items->shownGroupCount() - 1), 0);
    m_list->selectionModel()->setCurrentIndex(
        target, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    m_list->verticalScrollBar()->setValue(place.scroll);
    m_list->scrollTo(target);
}

void frmReview::notePutBack(const MarkedFilesAction& action)
{
    const std::vector<int>& ids = action.actedIds();
    if (m_actionKind == MarkedFilesAction::Kind::Delete) {
        m_putBack = PutBack::afterDelete(int(ids.size()));
        return;
    }
    std::vector<PutBack::Acted> files;
    std::vector<int> sorted = ids;
    std::sort(sorted.begin(), sorted.end());
    for (int g = 0; g < m_model->groupCount(); ++g) {
        for (const ReviewFile& f : m_model->group(g).files) {
            if (std::binary_search(sorted.begin(), sorted.end(), f.id))
                files.push_back({f.id, f.found.path, f.found.identity});
        }
    }
    m_putBack = m_actionKind == MarkedFilesAction::Kind::Trash
        ? PutBack::afterTrash(files, PutBack::homeTrash())
        : PutBack::afterMove(files, QFile::encodeName(m_actionFolder));
}

void frmReview::putBack()
{
    if (isActing() || m_putBack.count() == 0)
        return;
    if (m_putBack.deleted()) {
        setStatus(PutBack::deletedText());
        return;
    }
    const PutBack::Outcome outcome = m_putBack.run();
    m_putBack = PutBack();
    // The files back are the very files the search read: the next search
    // takes what it learned about them from the cache instead of decoding
    // them again (the window's searches use the default cache).
    carryOverRenamedFiles(FinderOptions(), outcome.renamed);
    for (const auto& [path, now] : outcome.keptNow)
        m_model->noteIdentity(path, now);
    const Place place = currentPlace();
    m_items->putFilesBack(outcome.returned);
    restorePlace(place);
    updateControls();
    const QString summary = PutBack::summaryText(outcome);
    setStatus(summary.section(QLatin1Char('\n'), 0, 0));
    QStringList problems;
    for (const PutBack::LeftAlone& left : outcome.leftAlone)
        problems << left.path + QStringLiteral(": ") + left.reason;
    m_hooks.report(summary, problems);
}

bool frmReview::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == m_list && e->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(e);
        if (key->matches(QKeySequence::Undo)) {
            m_items->undo();
            return true;
        }
        switch (key->key()) {
        case Qt::Key_Space:
            if (const QModelIndex i = m_list->currentIndex(); m_items->spotOf(i).group >= 0)
                m_items->toggleMark(i);
            return true;
        case Qt::Key_Delete:
            actOnMarked();
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            lookCloser();
            return true;
        case Qt::Key_C:
            if (key->modifiers() != Qt::NoModifier)
                break;
            compareWithBest();
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, e);
}
