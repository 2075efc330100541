#include "shell/Form1.h"

#include "CorvaneVersion.h"
#include "controls/chameleonButton.h"
#include "handling/frmInfo.h"
#include "search/ComparisonRun.h"
#include "shell/CopyAction.h"
#include "shell/Desktop.h"
#include "shell/FolderSearchChoices.h"
#include "shell/ImageBox.h"
#include "shell/LogicalScale.h"
#include "shell/Module1.h"
#include "shell/ProgressBarBox.h"
#include "shell/RestoredFrame.h"
#include "shell/Rounding.h"
#include "shell/SearchChoices.h"
#include "shell/SearchTexts.h"
#include "shell/SettingsStore.h"
#include "shell/ShapeBox.h"
#include "shell/StoredLayout.h"
#include "shell/SubfolderHint.h"
#include "shell/WholeFolderMode.h"
#include "shell/WindowIcon.h"
#include "shell/frmFolderSearch.h"
#include "update/UpdateCheck.h"
#include "update/frmUpdate.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <cmath>

namespace {

constexpr quint32 kButtonColour = 0xFFC5AA; // red 170, green 197, blue 255
constexpr quint32 kHoverColour = 0xFFBE96; // red 150, green 190, blue 255

const QStringList kActionRows = {QStringLiteral(" Delete to recycle bin"),
    QStringLiteral(" Delete permanently"), QStringLiteral(" Move to another folder")};

} // namespace

// Resources of a static library must be registered by name, outside any namespace.
static void initShellResources()
{
    Q_INIT_RESOURCE(shell);
}

Form1::Form1(Desktop* desktop, const QString& programFolder, QWidget* parent)
    : QWidget(parent,
        Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , m_desktop(desktop)
    , m_settings(new SettingsStore)
{
    initShellResources();
    setObjectName(QStringLiteral("Form1"));
    m_run = std::make_unique<ComparisonRun>(static_cast<ComparisonView&>(*this),
        programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : programFolder);
    m_wholeFolder = std::make_unique<WholeFolderMode>(
        WholeFolderMode::Hooks{static_cast<ComparisonView*>(this), m_desktop, this,
            [this] { return shownActionRow(); },
            [this](const QString& caption) { showSearching(caption); },
            [this] {
                showIdleState();
                m_command1->setFocus();
            },
            [this](const QString& text) { MsgBox(text); },
            [this](const QString& folder) { m_run->setSearchFolder(folder); }},
        WholeFolderSearch::finderEngine());
    // The review window's "Protect this folder" adds to the search window's list.
    m_wholeFolder->reviewHooks.protectFolder = [this](const QString& folder) {
        FolderSearchChoices choices = FolderSearchChoices::load(*m_settings);
        choices.protect(folder);
        choices.save(*m_settings);
        m_settings->sync();
    };
    // Beside "Show last results" in the context menu: the folder picker also
    // picks the move target, so the several-folder search has its own window.
    auto* searchFolders = new QAction(QStringLiteral("Search folders..."), this);
    searchFolders->setObjectName(QStringLiteral("actSearchFolders"));
    searchFolders->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    searchFolders->setShortcutContext(Qt::WindowShortcut);
    searchFolders->setToolTip(QStringLiteral(
        "Search several folders, with protected folders, exclusions and a smallest size"));
    connect(searchFolders, &QAction::triggered, this, &Form1::openFolderSearch);
    addAction(searchFolders);
    m_updateCheck = new UpdateCheck(this);
    m_subfolderHint = new SubfolderHint(this);
    setMouseTracking(true);
    setupWidgets();
    setupConnections();
}

Form1::~Form1()
{
    delete m_settings;
}

void Form1::setupWidgets()
{
    setWindowIcon(QIcon(QPixmap::fromImage(makeCorvaneIcon())));

    auto makeLabel = [this](const QString& name, const QString& text) {
        auto* label = new QLabel(text, this);
        label->setObjectName(name);
        label->setAlignment(Qt::AlignCenter);
        label->setTextFormat(Qt::PlainText);
        return label;
    };
    m_lblPic1 = makeLabel(QStringLiteral("lblPic1"), QString());
    m_lblPic2 = makeLabel(QStringLiteral("lblPic2"), QString());
    m_lblFiles = makeLabel(QStringLiteral("lblFiles"), QStringLiteral("Label1"));
    m_lblFiles->hide();
    // Made before the buttons, so that they lie above it.
    m_lblHint = makeLabel(QStringLiteral("lblHint"), QString());
    m_lblHint->setWordWrap(true);
    m_lblHint->hide();

    m_shape1 = new ShapeBox(this);
    m_shape2 = new ShapeBox(this);
    m_image1 = new ImageBox(this);
    m_image2 = new ImageBox(this);
    m_image1->setObjectName(QStringLiteral("Image1"));
    m_image2->setObjectName(QStringLiteral("Image2"));

    m_picProgressBar = new ProgressBarBox(this);
    m_picProgressBar->setObjectName(QStringLiteral("picProgressBar"));
    m_picProgressBar->hide();

    const StoredLayout layout = StoredLayout::fromResource(QStringLiteral(":/shell/Form1.layout"));
    auto makeButton = [this, &layout](const QString& name) {
        auto* button = new chameleonButton(this);
        button->setObjectName(name);
        button->ReadProperties(layout.bagFor(name));
        return button;
    };
    m_cmdCompare = makeButton(QStringLiteral("cmdCompare"));
    m_cmdDelete1 = makeButton(QStringLiteral("cmdDelete1"));
    m_cmdDelete2 = makeButton(QStringLiteral("cmdDelete2"));
    m_cmdCancel = makeButton(QStringLiteral("cmdCancel"));
    m_cmdInfo = makeButton(QStringLiteral("cmdInfo"));
    m_cmdSkip = makeButton(QStringLiteral("cmdSkip"));
    m_cmdCancel->hide();
    m_cmdInfo->hide();
    m_cmdSkip->hide();

    m_cboOptions = new QComboBox(this);
    m_cboOptions->setObjectName(QStringLiteral("cboOptions"));
    m_cboOptions->setEditable(true);
    m_cboOptions->setInsertPolicy(QComboBox::NoInsert);
    m_cboOptions->setEditText(QStringLiteral("Combo1"));

    // The focus holder: present and focusable, but outside the client area.
    m_command1 = new QPushButton(QStringLiteral("Command1"), this);
    m_command1->setObjectName(QStringLiteral("Command1"));
    m_command1->setGeometry(-1000, -1000, 0, 0);

    QFont designFont(QStringLiteral("Arial"));
    designFont.setPointSizeF(9.75);
    designFont.setBold(true);
    for (QWidget* w : {static_cast<QWidget*>(m_cboOptions), static_cast<QWidget*>(m_lblFiles),
             static_cast<QWidget*>(m_lblPic1), static_cast<QWidget*>(m_lblPic2)})
        w->setFont(designFont);

    // Tab order by the controls' tab indexes.
    QWidget::setTabOrder(m_cmdCompare, m_cmdDelete1);
    QWidget::setTabOrder(m_cmdDelete1, m_cmdDelete2);
    QWidget::setTabOrder(m_cmdDelete2, m_cboOptions);
    QWidget::setTabOrder(m_cboOptions, m_command1);
    QWidget::setTabOrder(m_command1, m_cmdCancel);
    QWidget::setTabOrder(m_cmdCancel, m_cmdInfo);
    QWidget::setTabOrder(m_cmdInfo, m_cmdSkip);
}

void Form1::setupConnections()
{
    for (chameleonButton* button : buttons()) {
        connect(button, &chameleonButton::MouseMove, this,
            [this, button](short&, short&, float&, float&) { setHoverColour(button); });
    }
    connect(m_cboOptions, qOverload<int>(&QComboBox::activated), this, [this] {
        cboOptions_Click();
        m_settings->sync(); // the user's choice is kept even if Corvane is killed later
    });
    connect(
        m_cboOptions->lineEdit(), &QLineEdit::editingFinished, this, [this] { shownActionRow(); });
    connect(m_cmdCompare, &chameleonButton::Click, this, &Form1::cmdCompare_Click);
    connect(m_cmdCancel, &chameleonButton::Click, this, &Form1::cmdCancel_Click);
    connect(m_cmdDelete1, &chameleonButton::Click, this, [this] { cmdDelete_Click(Side::Left); });
    connect(m_cmdDelete2, &chameleonButton::Click, this, [this] { cmdDelete_Click(Side::Right); });
    connect(m_cmdInfo, &chameleonButton::Click, this, &Form1::cmdInfo_Click);
    connect(m_cmdSkip, &chameleonButton::Click, this, &Form1::cmdSkip_Click);
    connect(m_subfolderHint, &SubfolderHint::ready, this, &Form1::subfolderLineReady);
    connect(m_updateCheck, &UpdateCheck::newVersionAvailable, this, &Form1::updatesReady);
}

QList<chameleonButton*> Form1::buttons() const
{
    return {m_cmdCompare, m_cmdDelete1, m_cmdDelete2, m_cmdCancel, m_cmdInfo, m_cmdSkip};
}

void Form1::Form_Load()
{
    m_command1->setGeometry(-1000, -1000, 0, 0);
    setWindowTitle(QStringLiteral("Corvane ") + QLatin1String(kCorvaneVersion));
    // The grey ground is Corvane's own, whatever the desktop's palette: its
    // text is black with it, or a dark palette's light text lands on light grey.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(170, 170, 170));
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    setAutoFillBackground(true);
    show();

    const double left = m_settings->GetNumber(
        QStringLiteral("Me"), QStringLiteral("Left"), RestoredFrame::kDefaultLeft);
    const double top = m_settings->GetNumber(
        QStringLiteral("Me"), QStringLiteral("Top"), RestoredFrame::kDefaultTop);
    const double width = m_settings->GetNumber(
        QStringLiteral("Me"), QStringLiteral("Width"), RestoredFrame::kDefaultWidth);
    m_aspectRatio = 0.571854f;
    m_restoredFrame
        = RestoredFrame::restoredFrame(left, top, width, m_aspectRatio, availableScreenAreas());
    m_sinceLoad.start();
    setFrame(m_restoredFrame);
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        QTimer::singleShot(0, this, &Form1::settleFrame);
    Module1::HookWindow(this, &m_aspectRatio);

    for (chameleonButton* button : buttons())
        button->setBackColor(kButtonColour);

    m_run->setSearchFolder(m_settings->GetSetting(
        QStringLiteral("Statr"), QStringLiteral("Folder"), QDir::homePath() + QLatin1Char('/')));

    m_imageBoxes = DisplayGeometry(); // 16, 23, 320 x 240, 352
    m_loaded = true;
    placeControls();

    const QList<QWidget*> nine = {m_cmdCompare, m_cmdDelete1, m_cmdDelete2, m_lblFiles, m_lblPic1,
        m_lblPic2, m_cboOptions, m_cmdCancel, m_cmdInfo};
    applyFontSizes(nine, fontPointsForHeight());
    applyBoldRule(nine);
    applyAddedFonts();

    m_cboOptions->clear();
    m_cboOptions->addItems(kActionRows);
    bool ok = false;
    int row
        = m_settings
              ->GetSetting(QStringLiteral("Delete"), QStringLiteral("Options"), QStringLiteral("0"))
              .trimmed()
              .toInt(&ok);
    if (!ok || row < 0 || row > 2)
        row = 0;
    m_cboOptions->setCurrentIndex(row);
    cboOptions_Click();

    showRestingHint();
    m_command1->setFocus();
    CheckForUpdate();
}

void Form1::CheckForUpdate()
{
    m_updateCheck->CheckForUpdate();
}

void Form1::updatesReady(const QString& version)
{
    frmUpdate::showFor(this, version, [this](const QUrl& url) { return m_desktop->openUrl(url); });
}

QString Form1::SearchFolder() const
{
    return m_run->searchFolder();
}

double Form1::Left() const
{
    return LogicalScale::pixelsToTwips(frameGeometry().x());
}

double Form1::Top() const
{
    return LogicalScale::pixelsToTwips(frameGeometry().y());
}

double Form1::Width() const
{
    return LogicalScale::pixelsToTwips(frameGeometry().width());
}

double Form1::Height() const
{
    return LogicalScale::pixelsToTwips(frameGeometry().height());
}

void Form1::setTwipsGeometry(double left, double top, double width, double height)
{
    setFrame(QRect(LogicalScale::twipsToPixels(left), LogicalScale::twipsToPixels(top),
        LogicalScale::twipsToPixels(width), LogicalScale::twipsToPixels(height)));
}

void Form1::setFrame(const QRect& outer)
{
    // The place is the outer frame's; Qt sizes the client area.
    const QRect frame = frameGeometry();
    const QRect client = geometry();
    const int extraW = frame.width() - client.width();
    const int extraH = frame.height() - client.height();
    move(outer.topLeft());
    resize(qMax(1, outer.width() - extraW), qMax(1, outer.height() - extraH));
}

QList<QRect> Form1::availableScreenAreas()
{
    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens())
        areas << screen->availableGeometry();
    return areas;
}

int Form1::fontPointsForHeight() const
{
    return static_cast<int>(std::floor(Height() / 580.0));
}

void Form1::placeControls()
{
    const LogicalScale s(size());
    const DisplayGeometry boxes = m_imageBoxes;
    double labelTop = boxes.imageTop - 20;
    if (!m_pictureOnShow.isEmpty()) {
        // The client area's proportions change with its size (the title bar
        // does not grow), so the pair is fitted anew: its proportions hold.
        const DisplayGeometry fit = fitToClient(m_pictureOnShow);
        m_imageBoxes = fit;
        m_image1->setGeometry(s.sizedRect(fit.image1));
        m_image2->setGeometry(s.sizedRect(fit.image2));
        labelTop = fit.labelTop;
    } else {
        m_image1->setGeometry(
            s.rect(boxes.imageLeft, boxes.imageTop, boxes.imageWidth, boxes.imageHeight));
        m_image2->setGeometry(
            s.rect(boxes.image2Left, boxes.imageTop, boxes.imageWidth, boxes.imageHeight));
    }
    m_shape1->setGeometry(s.rect(18, 25, 317, 237));
    m_shape2->setGeometry(s.rect(354, 25, 317, 237));
    m_cmdCompare->setGeometry(s.rect(215, 317, 260, 33));
    m_cmdCancel->setGeometry(s.rect(500, 314, 120, 24));
    m_cmdInfo->setGeometry(s.rect(70, 314, 120, 24));
    m_cmdDelete1->setGeometry(s.rect(142, 275, 65, 24));
    m_cmdDelete2->setGeometry(s.rect(480, 275, 65, 24));
    m_lblFiles->setGeometry(s.rect(0, 345, 690, 25));
    m_lblPic1->setGeometry(s.rect(16, labelTop, 320, 18));
    m_lblPic2->setGeometry(s.rect(352, labelTop, 320, 18));
    m_picProgressBar->setGeometry(s.rect(225, 317, 240, 20));
    // Below the search button, where lblFiles stands during a search.
    m_lblHint->setGeometry(s.rect(0, 350, 690, 20));
    // Right of the right Delete: the neighbour search never puts anything there.
    m_cmdSkip->setGeometry(s.rect(560, 275, 115, 24));
    const QRect combo = s.rect(254, 275, 180, 0);
    m_cboOptions->setGeometry(
        combo.x(), combo.y(), combo.width(), m_cboOptions->sizeHint().height());
}

void Form1::applyFontSizes(const QList<QWidget*>& controls, int points)
{
    // Minimised windows report tiny heights; keep the fonts readable.
    points = qMax(1, points);
    for (QWidget* control : controls) {
        if (auto* button = qobject_cast<chameleonButton*>(control)) {
            QFont font = button->Font();
            font.setPointSize(points);
            button->setFontProperty(font);
        } else {
            QFont font = control->font();
            font.setPointSize(points);
            control->setFont(font);
        }
    }
}

void Form1::applyBoldRule(const QList<QWidget*>& controls)
{
    // Small fonts lose bold: a size read back below 8 points is drawn regular.
    const bool bold = !(QFontInfo(m_cmdCompare->Font()).pointSizeF() < 8.0);
    for (QWidget* control : controls) {
        if (auto* button = qobject_cast<chameleonButton*>(control)) {
            QFont font = button->Font();
            font.setBold(bold);
            button->setFontProperty(font);
        } else {
            QFont font = control->font();
            font.setBold(bold);
            control->setFont(font);
        }
    }
}

void Form1::settleFrame()
{
    // On X11 the frame's size arrives from the window manager a little after
    // the window is mapped. Until then the restored place was applied to the
    // client area, which would make the window creep by its title bar at every
    // start; apply it once more as soon as the frame is known.
    if (m_frameSettled || m_unloaded)
        return;
    if (frameGeometry() != geometry()) {
        m_frameSettled = true;
        setFrame(m_restoredFrame);
    } else if (m_sinceLoad.elapsed() < 2000) {
        QTimer::singleShot(40, this, &Form1::settleFrame);
    }
}

void Form1::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    if (m_loaded)
        Form_Resize();
}

void Form1::Form_Resize()
{
    placeControls();
    const QList<QWidget*> eight = {m_cmdCompare, m_cmdCancel, m_cmdInfo, m_cmdDelete1, m_cmdDelete2,
        m_lblFiles, m_lblPic1, m_lblPic2};
    const int points = fontPointsForHeight();
    applyFontSizes(eight, points);

    // The field shows the chosen action: showing row 0 while another row is
    // selected would tell the user files go to the trash when they do not.
    m_cboOptions->setEditText(QString());
    applyFontSizes({m_cboOptions}, points);
    const int row = m_cboOptions->currentIndex();
    m_cboOptions->setEditText(
        m_cboOptions->count() > 0 ? m_cboOptions->itemText(qMax(0, row)) : QString());
    const QRect combo = m_cboOptions->geometry();
    m_cboOptions->setGeometry(
        combo.x(), combo.y(), combo.width(), m_cboOptions->sizeHint().height());

    applyBoldRule(eight);
    applyAddedFonts();
    m_command1->setFocus();
}

void Form1::applyAddedFonts()
{
    // The skip button speaks like the Delete buttons beside it; the hint is
    // a quiet line, a little smaller and never bold.
    const int points = qMax(1, fontPointsForHeight());
    QFont button = m_cmdSkip->Font();
    button.setPointSize(points);
    button.setBold(m_cmdDelete1->Font().bold());
    m_cmdSkip->setFontProperty(button);
    fitHintFont();
}

void Form1::fitHintFont()
{
    // A quiet line, smaller than the buttons and never bold, on one line as
    // far as a readable size allows.
    const int points = qMax(1, fontPointsForHeight());
    QFont hint = m_lblHint->font();
    hint.setBold(false);
    int size = qMax(1, points - 2);
    hint.setPointSize(size);
    while (size > qMax(6, points - 4)
        && QFontMetrics(hint).horizontalAdvance(m_lblHint->text()) > m_lblHint->width()) {
        hint.setPointSize(--size);
    }
    m_lblHint->setFont(hint);
}

void Form1::cboOptions_Click()
{
    m_command1->setFocus();
    const int row = m_cboOptions->currentIndex();
    if (row < 0)
        return;
    m_settings->SaveSetting(
        QStringLiteral("Delete"), QStringLiteral("Options"), QString::number(row));
    const QString caption = row < 2 ? QStringLiteral("Delete") : QStringLiteral("Move");
    m_cmdDelete1->setCaption(caption);
    m_cmdDelete2->setCaption(caption);
}

int Form1::shownActionRow()
{
    // The action is the row the field shows. Typed text that is none of the
    // rows selects no row, keeping the text as typed.
    const QString shown = m_cboOptions->currentText();
    const int row = m_cboOptions->findText(shown, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (row < 0 && m_cboOptions->currentIndex() >= 0) {
        m_cboOptions->setCurrentIndex(-1);
        m_cboOptions->setEditText(shown);
    }
    return row;
}

void Form1::setHoverColour(chameleonButton* hovered)
{
    // Setting the colour repaints the face; skip it when nothing changes.
    if (hovered->BackColor() != kHoverColour)
        hovered->setBackColor(kHoverColour);
}

void Form1::mouseMoveEvent(QMouseEvent* e)
{
    for (chameleonButton* button : buttons())
        if (button->BackColor() != kButtonColour)
            button->setBackColor(kButtonColour);
    QWidget::mouseMoveEvent(e);
}

void Form1::closeEvent(QCloseEvent* e)
{
    // A search still on the stack (waiting for the converter or an event
    // turn) notices this at its next step and unwinds without touching the window.
    m_run->windowClosing();
    m_wholeFolder->windowClosing();
    Form_Unload();
    QWidget::closeEvent(e);
}

void Form1::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    Module1::UnhookWindow(this);
    m_settings->SaveNumber(
        QStringLiteral("Me"), QStringLiteral("Left"), static_cast<float>(Left()));
    m_settings->SaveNumber(QStringLiteral("Me"), QStringLiteral("Top"), static_cast<float>(Top()));
    m_settings->SaveNumber(
        QStringLiteral("Me"), QStringLiteral("Width"), static_cast<float>(Width()));
    m_settings->SaveSetting(
        QStringLiteral("Statr"), QStringLiteral("Folder"), m_run->searchFolder());
    m_settings->sync();
}

// --- Search ---------------------------------------------------------------

bool Form1::searchBusy() const
{
    // A second search never starts while a step of the first, or the image
    // report's converter, is on the stack.
    return m_run->isRunning() || m_run->converter().inUse() || m_wholeFolder->isBusy();
}

void Form1::cmdCompare_Click()
{
    if (searchBusy())
        return;
    m_run->restartAtFirstPair();
    SearchChoices choices = SearchChoices::load(*m_settings);
    const QString folder = m_desktop->browseForSearchFolder(
        this, QStringLiteral("Select A Directory"), m_run->searchFolder(), choices);
    if (folder.isEmpty())
        return;
    choices.save(*m_settings);
    startSearch(folder, choices);
}

void Form1::searchFolder(const QString& folder)
{
    if (searchBusy())
        return;
    const QFileInfo info(folder);
    if (folder.isEmpty() || !info.isDir()) {
        MsgBox(QStringLiteral("Folder not found: ") + folder);
        return;
    }
    // The picker's form: absolute, without a trailing "/" except for "/" itself.
    m_run->restartAtFirstPair();
    startSearch(QDir::cleanPath(info.absoluteFilePath()), SearchChoices::load(*m_settings));
}

void Form1::startSearch(const QString& folder, const SearchChoices& choices)
{
    m_subfolderHint->forget();
    m_subfolderLine.clear();
    m_searchedFolder = folder;
    m_searchedSubfolders = choices.wholeFolder() && choices.subfolders;
    if (choices.wholeFolder())
        m_wholeFolder->start(folder, choices.subfolders, choices.samePhoto);
    else
        m_run->start(folder);
}

void Form1::openFolderSearch()
{
    if (searchBusy() || m_folderSearch)
        return;
    m_folderSearch = new frmFolderSearch(
        FolderSearchChoices::load(*m_settings), SearchChoices::load(*m_settings),
        [this] {
            return m_desktop->browseForFolder(
                m_folderSearch, QStringLiteral("Add a folder to search"), m_run->searchFolder());
        },
        this);
    m_folderSearch->setAttribute(Qt::WA_DeleteOnClose);
    m_folderSearch->setWindowModality(Qt::WindowModal);
    connect(m_folderSearch, &QDialog::accepted, this,
        [this] { startFolderSearch(m_folderSearch->choices(), m_folderSearch->boxes()); });
    connect(m_folderSearch, &QObject::destroyed, this, [this] { m_folderSearch = nullptr; });
    m_folderSearch->open();
}

void Form1::startFolderSearch(const FolderSearchChoices& choices, const SearchChoices& boxes)
{
    choices.save(*m_settings);
    boxes.save(*m_settings);
    m_settings->sync();
    if (searchBusy())
        return;
    const WholeFolderRequest request = choices.request(boxes);
    m_run->restartAtFirstPair();
    m_subfolderHint->forget();
    m_subfolderLine.clear();
    m_searchedFolder = QFile::decodeName(request.folder);
    m_searchedSubfolders = boxes.subfolders;
    m_wholeFolder->start(request);
}

void Form1::cmdCancel_Click()
{
    if (m_wholeFolder->isBusy()) {
        m_wholeFolder->cancel();
        return;
    }
    m_run->cancel();
}

void Form1::beginSearch(const QString& searchFolder, int fileCount)
{
    showSearching(SearchTexts::filesCaption(searchFolder, fileCount));
}

void Form1::showSearching(const QString& caption)
{
    m_cmdCompare->hide();
    m_cmdCancel->show();
    m_cmdInfo->setEnabledProperty(false);
    m_cmdInfo->show();
    m_command1->setFocus();
    m_picProgressBar->clear();
    m_picProgressBar->show();
    m_lblFiles->setText(caption);
    m_lblFiles->show();
    m_lblHint->hide();
    updateSkipButton();
    repaint();
}

void Form1::showProgress(qint64 done, qint64 total)
{
    m_picProgressBar->fillTo(
        PairLayout::roundHalfEven(double(done) / double(total) * m_picProgressBar->width()));
}

void Form1::processEvents()
{
    QCoreApplication::processEvents();
}

void Form1::showPair(
    const QImage& left, const QImage& right, const QString& leftName, const QString& rightName)
{
    DisplayGeometry geometry = fitToClient(left.size());
    if (geometry.keepPlace)
        geometry = PairLayout::keptPlace(m_imageBoxes);
    else
        m_imageBoxes = geometry;
    m_shape1->hide();
    m_shape2->hide();
    const LogicalScale s(size());
    if (!geometry.keepPlace) {
        // Position and size are mapped apart, so the shown size keeps the
        // picture's proportions within a pixel.
        m_image1->setGeometry(s.sizedRect(geometry.image1));
        m_image2->setGeometry(s.sizedRect(geometry.image2));
        m_pictureOnShow = left.size();
    }
    m_lblPic1->setGeometry(s.rect(16, geometry.labelTop, 320, 18));
    m_lblPic2->setGeometry(s.rect(352, geometry.labelTop, 320, 18));
    m_image1->setPicture(left);
    m_image1->repaint();
    m_image2->setPicture(right);
    m_image2->repaint();
    m_lblPic1->setText(leftName);
    m_lblPic1->setToolTip(leftName);
    m_lblPic2->setText(rightName);
    m_lblPic2->setToolTip(rightName);
    setActionButtonsEnabled(true);
    updateSkipButton();
}

QSizeF Form1::logicalSize(QSize pixels) const
{
    const LogicalScale s(size());
    return {s.toLogicalX(pixels.width()), s.toLogicalY(pixels.height())};
}

DisplayGeometry Form1::fitToClient(QSize picture) const
{
    const QSizeF logical = logicalSize(picture);
    return PairLayout::fitPair(logical.width(), logical.height());
}

void Form1::clearPair(Side actedOn)
{
    m_pictureOnShow = QSize();
    if (actedOn == Side::Left)
        clearPictures();
    showImagesAtRest();
    // Park the focus first: a disabled button would hand it to the action list.
    m_command1->setFocus();
    setActionButtonsEnabled(false);
    updateSkipButton();
    clearFileNames();
    m_lblPic1->repaint();
    m_lblPic2->repaint();
}

void Form1::clearFileNames()
{
    for (QLabel* label : {m_lblPic1, m_lblPic2}) {
        label->setText(QString());
        label->setToolTip(QString());
    }
}

void Form1::finishSearch(const SearchTally& tally)
{
    m_pictureOnShow = QSize();
    m_imageBoxes = DisplayGeometry();
    showIdleState();
    clearPictures();
    clearFileNames();
    MsgBox(SearchTexts::closingText(tally));
    m_command1->setFocus();
    // A search of the folder alone that compared nothing says what its
    // subfolders hold, once counted: the likeliest reason for the empty result.
    if (tally.compared == 0 && !m_searchedSubfolders && !m_searchedFolder.isEmpty())
        m_subfolderHint->look(m_searchedFolder);
}

void Form1::cancelSearch()
{
    m_pictureOnShow = QSize();
    m_imageBoxes = DisplayGeometry();
    setActionButtonsEnabled(false);
    showIdleState();
    clearPictures();
    showImagesAtRest();
    clearFileNames();
    MsgBox(SearchTexts::canceledText());
    m_command1->setFocus();
}

void Form1::showIdleState()
{
    m_cmdCompare->show();
    m_cmdCancel->hide();
    m_cmdInfo->hide();
    m_picProgressBar->hide();
    m_lblFiles->hide();
    m_cmdSkip->hide();
    showRestingHint();
}

void Form1::showRestingHint()
{
    const QString line = !m_subfolderLine.isEmpty()
        ? m_subfolderLine
        : QStringLiteral("Press %1 and choose a folder.")
              .arg(chameleonButton::stripMnemonic(m_cmdCompare->Caption()));
    m_lblHint->setText(line);
    m_lblHint->setToolTip(line);
    fitHintFont();
    m_lblHint->show();
}

void Form1::subfolderLineReady(const QString& line)
{
    m_subfolderLine = line;
    // Only at rest: a search started since hides it, and its own end decides.
    if (m_cmdCompare->isVisibleTo(this))
        showRestingHint();
}

void Form1::showImagesAtRest()
{
    const LogicalScale s(size());
    m_image1->setGeometry(s.rect(16, 23, 320, 240));
    m_shape1->setGeometry(s.rect(18, 25, 317, 237));
    m_image2->setGeometry(s.rect(352, 23, 320, 240));
    m_shape2->setGeometry(s.rect(354, 25, 317, 237));
    m_shape1->show();
    m_shape2->show();
}

void Form1::clearPictures()
{
    m_image1->clearPicture();
    m_image2->clearPicture();
}

void Form1::setActionButtonsEnabled(bool enabled)
{
    m_cmdDelete1->setEnabledProperty(enabled);
    m_cmdDelete2->setEnabledProperty(enabled);
    m_cmdInfo->setEnabledProperty(enabled);
}

QPoint Form1::messagePosition() const
{
    return QPoint(roundToInt(Left() / 15 + Width() / 2 / 15), roundToInt(Top() / 15 + 150));
}

void Form1::MsgBox(const QString& text)
{
    const QPoint at = messagePosition();
    m_desktop->messageBox(this, text, QStringLiteral("Corvane"), 64, at.x(), at.y());
}

// --- Acting on a copy -------------------------------------------------------

void Form1::cmdDelete_Click(Side side)
{
    // No file action while the image report's converter is on the stack.
    if (m_run->converter().inUse())
        return;
    actOnCopy(walkOnShow(), side);
}

PairWalk& Form1::walkOnShow() const
{
    if (m_wholeFolder->isWalking())
        return *m_wholeFolder->walk();
    return *m_run;
}

void Form1::actOnCopy(PairWalk& walk, Side side)
{
    CopyAction::apply(walk, side, shownActionRow(),
        {m_desktop, this, [this](const QString& text) { MsgBox(text); },
            [this] { m_command1->setFocus(); }});
}

void Form1::updateSkipButton()
{
    // Only the group walk has a pair to pass over: the neighbour search's
    // pairs are left by acting on one copy, as they always were.
    const bool walking = m_wholeFolder->isWalking();
    m_cmdSkip->setVisible(walking);
    m_cmdSkip->setEnabledProperty(walking && m_wholeFolder->walk()->pairOnShow());
}

void Form1::cmdSkip_Click()
{
    if (m_run->converter().inUse() || !m_wholeFolder->isWalking())
        return;
    GroupPairWalk* walk = m_wholeFolder->walk();
    if (!walk->pairOnShow())
        return;
    m_command1->setFocus();
    walk->skip();
}

void Form1::keyPressEvent(QKeyEvent* e)
{
    // Keys typed into the action list's field never arrive here.
    if (e->key() == Qt::Key_S && (e->modifiers() & ~Qt::ShiftModifier) == Qt::NoModifier
        && m_cmdSkip->isVisible() && m_cmdSkip->Enabled()) {
        cmdSkip_Click();
        return;
    }
    QWidget::keyPressEvent(e);
}

void Form1::cmdInfo_Click()
{
    // The report's converter wait turns the event loop: the action buttons are
    // held back until it ends, so that no action, resumed search or second
    // report runs inside it (they would need the converter it holds).
    if (m_run->converter().inUse())
        return;
    m_command1->setFocus();
    setActionButtonsEnabled(false);
    frmInfo::ShowImageInfo(
        this, m_run->converter(), m_run->searchFolder(), m_lblPic1->text(), m_lblPic2->text());
    if (walkOnShow().pairOnShow())
        setActionButtonsEnabled(true);
}
