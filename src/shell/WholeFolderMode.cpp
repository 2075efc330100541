#include "shell/WholeFolderMode.h"

#include "finder/SearchProgress.h"
#include "review/PictureForView.h"
#include "shell/Desktop.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QScreen>
#include <QTimer>

WholeFolderMode::WholeFolderMode(Hooks hooks, WholeFolderSearch::Engine engine, QObject* parent)
    : QObject(parent)
    , m_hooks(std::move(hooks))
    , m_search(std::move(engine))
{
    Desktop* desktop = m_hooks.desktop;
    QWidget* owner = m_hooks.owner;
    reviewHooks.actionRow = m_hooks.actionRow;
    // The review window's action list is the main window's: its rows, and a
    // choice goes through the main window's own handler of the list (looked
    // up when asked: the main window makes its list after this).
    const QPointer<QWidget> held(owner);
    const auto mainList = [held]() -> QComboBox* {
        return held ? held->findChild<QComboBox*>(QStringLiteral("cboOptions")) : nullptr;
    };
    reviewHooks.actionTexts = [mainList] {
        QStringList texts;
        if (QComboBox* list = mainList())
            for (int row = 0; row < list->count(); ++row)
                texts << list->itemText(row);
        return texts;
    };
    reviewHooks.chooseAction = [mainList](int row) {
        QComboBox* list = mainList();
        if (!list || row < 0 || row >= list->count())
            return;
        list->setCurrentIndex(row);
        emit list->activated(row);
    };
    reviewHooks.pickFolder = [this, desktop, owner](const QString& title) {
        return desktop->browseForFolder(owner, title, m_searchFolder);
    };
    reviewHooks.openUrl = [desktop](const QUrl& url) { return desktop->openUrl(url); };
    // A place the main window leaves free: its context menu, and a key.
    if (owner) {
        m_showLast = new QAction(QStringLiteral("Show last results"), owner);
        m_showLast->setObjectName(QStringLiteral("actShowLastResults"));
        m_showLast->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
        m_showLast->setShortcutContext(Qt::WindowShortcut);
        m_showLast->setToolTip(
            QStringLiteral("Open the review window on the results of the last search again"));
        connect(m_showLast, &QAction::triggered, this, [this] { showLastResults(); });
        owner->addAction(m_showLast);
        if (owner->contextMenuPolicy() == Qt::DefaultContextMenu)
            owner->setContextMenuPolicy(Qt::ActionsContextMenu);
    }
    connect(&m_search, &WholeFolderSearch::progress, this, &WholeFolderMode::progress);
    connect(&m_search, &WholeFolderSearch::finished, this, &WholeFolderMode::finished);
}

WholeFolderMode::~WholeFolderMode()
{
    delete m_review;
}

void WholeFolderMode::start(const QString& folder, bool recursive, bool samePhoto)
{
    WholeFolderRequest request;
    request.folder = QFile::encodeName(folder);
    request.recursive = recursive;
    request.samePhoto = samePhoto;
    start(request);
}

void WholeFolderMode::start(const WholeFolderRequest& request)
{
    if (isBusy())
        return;
    const QString folder = QFile::decodeName(request.folder);
    m_searchFolder = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    m_hooks.setSearchFolder(m_searchFolder);
    // The list in the window is kept with its marks, without asking.
    if (m_review)
        m_review->closeKeeping();
    m_stage.reset();
    if (!m_search.start(request)) {
        m_hooks.message(QStringLiteral("The search of every picture is not part of this build."));
        return;
    }
    const QString searched = request.moreFolders.isEmpty()
        ? folder
        : QStringLiteral("%1 folders").arg(request.moreFolders.size() + 1);
    const QString subfolders = !request.recursive ? QString()
        : request.moreFolders.isEmpty()           ? QStringLiteral(" and its subfolders")
                                                  : QStringLiteral(" and their subfolders");
    m_hooks.showSearching(QStringLiteral("Searching %1%2").arg(searched, subfolders));
}

QString WholeFolderMode::stageLine(
    const FinderProgress& progress, std::optional<double> secondsLeft)
{
    const QLocale english(QLocale::English);
    QString name = QString::fromLatin1(finder::stageName(progress.stage));
    name[0] = name[0].toUpper();
    QString line = progress.stage == FinderProgress::Stage::Scanning
        ? QStringLiteral("%1: %2 files found").arg(name, english.toString(qint64(progress.done)))
        : QStringLiteral("%1 %2 of %3 %4")
              .arg(name, english.toString(qint64(progress.done)),
                  english.toString(qint64(progress.total)),
                  QString::fromLatin1(finder::stageUnit(progress.stage)));
    line += QStringLiteral(" (step %1 of %2)").arg(progress.step).arg(progress.steps);
    if (secondsLeft) {
        const auto seconds = qint64(*secondsLeft + 0.5);
        line += seconds < 90 ? QStringLiteral(", about %1 s left").arg(std::max<qint64>(seconds, 1))
                             : QStringLiteral(", about %1 min left").arg((seconds + 30) / 60);
    }
    return line;
}

QLabel* WholeFolderMode::filesLabel() const
{
    return m_hooks.owner ? m_hooks.owner->findChild<QLabel*>(QStringLiteral("lblFiles")) : nullptr;
}

void WholeFolderMode::progress(const FinderProgress& progress)
{
    if (m_closing)
        return;
    // The bar follows the search's own fraction, which never falls, through every stage.
    constexpr qint64 kSteps = 10000;
    m_hooks.view->showProgress(qint64(progress.fraction * double(kSteps) + 0.5), kSteps);
    if (progress.stage != m_stage) {
        m_stage = progress.stage;
        m_stageClock.start();
    }
    if (QLabel* label = filesLabel(); label && progress.stage != FinderProgress::Stage::Finished) {
        // The folder's caption moves to the tooltip while the line tells the stage.
        if (label->toolTip().isEmpty())
            label->setToolTip(label->text());
        label->setText(stageLine(
            progress, finder::secondsLeft(progress, double(m_stageClock.elapsed()) / 1000.0)));
    }
    emit progressShown(progress);
}

void WholeFolderMode::forgetSearchLine()
{
    // The label is the first design's: it leaves as it came.
    if (QLabel* label = filesLabel())
        label->setToolTip(QString());
    m_stage.reset();
}

void WholeFolderMode::finished(const FinderResult& result)
{
    if (m_closing)
        return;
    forgetSearchLine();
    if (result.cancelled) {
        m_hooks.view->cancelSearch();
        return;
    }
    // Every kind of group opens the review: a folder whose only find is the
    // same photo saved twice, or a photo beside its watermarked copy, has
    // something to show.
    if (result.groups.empty() && result.samePhotoGroups.empty() && result.editedGroups.empty()) {
        m_hooks.view->finishSearch({int(result.filesExamined), 0});
        return;
    }
    m_hooks.view->showProgress(1, 1);
    m_hooks.showIdle();
    openReview(result, nullptr);
}

bool WholeFolderMode::showLastResults()
{
    if (isBusy() || m_closing)
        return false;
    const std::optional<KeptResults::Kept> kept = KeptResults::load();
    if (!kept
        || (kept->result.groups.empty() && kept->result.samePhotoGroups.empty()
            && kept->result.editedGroups.empty())) {
        m_hooks.message(QStringLiteral("No results of an earlier search are kept."));
        return false;
    }
    if (m_review)
        m_review->closeKeeping();
    if (!kept->result.folders.isEmpty()) {
        const QString folder = QFile::decodeName(kept->result.folders.front());
        m_searchFolder = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    }
    openReview(kept->result, &kept->marked);
    return true;
}

void WholeFolderMode::openReview(const FinderResult& result, const std::set<QByteArray>* keptMarks)
{
    frmReview::Hooks hooks = reviewHooks;
    hooks.walkPairs = [this] {
        // The window is closing: take what it still lists, then walk.
        const FinderResult groups = m_review->model().currentResult();
        QTimer::singleShot(0, this, [this, groups] { startWalk(groups); });
    };
    m_review = new frmReview(result, hooks);
    m_review->setAttribute(Qt::WA_DeleteOnClose);
    if (keptMarks)
        m_review->takeUp(*keptMarks);
    // Centred on the main window's screen, within it: the list is the work now.
    if (QScreen* screen = m_hooks.owner ? m_hooks.owner->screen() : nullptr) {
        const QRect area = screen->availableGeometry();
        m_review->resize(m_review->size().boundedTo(area.size() - QSize(40, 60)));
        m_review->move(area.center() - QPoint(m_review->width() / 2, m_review->height() / 2));
    }
    m_review->show();
    m_review->raise();
    m_review->activateWindow();
}

void WholeFolderMode::startWalk(const FinderResult& groups)
{
    if (isBusy() || m_closing)
        return;
    m_walk
        = std::make_unique<GroupPairWalk>(*m_hooks.view, groups, m_searchFolder, &pictureForView);
    m_walk->start();
}

void WholeFolderMode::cancel()
{
    if (m_search.isRunning())
        m_search.cancel(); // finished() follows with the cancelled result
    else if (m_walk)
        m_walk->cancel();
}

void WholeFolderMode::windowClosing()
{
    m_closing = true;
    m_search.cancel();
    if (m_walk)
        m_walk->windowClosing();
    if (m_review)
        m_review->closeKeeping();
}
