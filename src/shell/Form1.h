#pragma once
// Form1: Corvane's main window. It owns the controls, restores and stores
// its place, lays the controls out in the 690 x 370 logical scale on every
// resize, scales the fonts with its height and forwards button clicks to the
// search and the file actions.
//
//   Form1 (grey 170,170,170; caption "Corvane " and the version)
//   |-- lblPic1      lblPic2          file names above the two pictures
//   |-- Image1       Image2           the pair on show, stretched
//   |-- Shape1       Shape2           grey frames of the empty picture areas
//   |-- cmdDelete1   cboOptions   cmdDelete2
//   |-- cmdInfo   cmdCompare / picProgressBar   cmdCancel
//   |-- lblFiles                      folder and count during a search
//   |-- lblHint                       in lblFiles' place at rest: what to do
//   |                                 first, or the pictures a search left out
//   |-- cmdSkip                       "Skip this pair", during the group walk only
//   `-- Command1                      focus holder, outside the client area

#include "search/ComparisonView.h"
#include "shell/PairLayout.h"

#include <QElapsedTimer>
#include <QImage>
#include <QRectF>
#include <QString>
#include <QWidget>
#include <memory>

class chameleonButton;
class ComparisonRun;
class Desktop;
class PairWalk;
class UpdateCheck;
class WholeFolderMode;
class QAction;
class frmFolderSearch;
struct FolderSearchChoices;
class ImageBox;
class ProgressBarBox;
class QComboBox;
class QLabel;
class QPushButton;
class SettingsStore;
class ShapeBox;
class SubfolderHint;
struct SearchChoices;

class Form1 : public QWidget, private ComparisonView {
    Q_OBJECT
public:
    // programFolder holds i__view32.exe; by default the folder of corvane itself.
    explicit Form1(
        Desktop* desktop, const QString& programFolder = QString(), QWidget* parent = nullptr);
    ~Form1() override;

    // The start-up sequence: shows the window, restores its place, lays out
    // the controls and starts the update check.
    void Form_Load();

    // `corvane FOLDER`: searches folder as if it had been picked in the folder
    // picker, with the check boxes the settings file holds. A folder that does
    // not exist gets a message box "Folder not found: <folder>" and no search.
    void searchFolder(const QString& folder);

    // "Search folders..." (Ctrl+Shift+O, the context menu): opens the search
    // window on the stored choices; its Search stores them and runs the
    // whole-folder search. Null while no search window is open.
    void openFolderSearch();
    frmFolderSearch* folderSearchWindow() const { return m_folderSearch; }

    // Position and outer size in twips (15 per pixel), as stored.
    double Left() const;
    double Top() const;
    double Width() const;
    double Height() const;
    void setTwipsGeometry(double left, double top, double width, double height);

    float AspectRatio() const { return m_aspectRatio; }
    QString SearchFolder() const;
    ComparisonRun& run() const { return *m_run; }
    // The search of every picture (either check box of the folder picker on).
    WholeFolderMode& wholeFolder() const { return *m_wholeFolder; }
    UpdateCheck& updateCheck() const { return *m_updateCheck; }

    // Controls, for the window's own wiring and for tests.
    chameleonButton* cmdCompare() const { return m_cmdCompare; }
    chameleonButton* cmdDelete1() const { return m_cmdDelete1; }
    chameleonButton* cmdDelete2() const { return m_cmdDelete2; }
    chameleonButton* cmdCancel() const { return m_cmdCancel; }
    chameleonButton* cmdInfo() const { return m_cmdInfo; }
    chameleonButton* cmdSkip() const { return m_cmdSkip; }
    QComboBox* cboOptions() const { return m_cboOptions; }
    QPushButton* Command1() const { return m_command1; }
    QLabel* lblFiles() const { return m_lblFiles; }
    QLabel* lblHint() const { return m_lblHint; }
    QLabel* lblPic1() const { return m_lblPic1; }
    QLabel* lblPic2() const { return m_lblPic2; }
    ImageBox* Image1() const { return m_image1; }
    ImageBox* Image2() const { return m_image2; }
    ShapeBox* Shape1() const { return m_shape1; }
    ShapeBox* Shape2() const { return m_shape2; }
    ProgressBarBox* picProgressBar() const { return m_picProgressBar; }

    // The font size of the layout rule: outer height in twips / 580, rounded down.
    int fontPointsForHeight() const;

protected:
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void setupWidgets();
    void setupConnections();
    void Form_Resize();
    void Form_Unload();
    void placeControls();
    void applyFontSizes(const QList<QWidget*>& controls, int points);
    void applyBoldRule(const QList<QWidget*>& controls);
    void applyAddedFonts();
    void fitHintFont();
    void setHoverColour(chameleonButton* hovered);
    void cboOptions_Click();
    int shownActionRow();
    void CheckForUpdate();
    void setFrame(const QRect& outer);
    static QList<QRect> availableScreenAreas();
    void settleFrame();
    QList<chameleonButton*> buttons() const;
    // A picture's size in the window's logical units, so that its fit keeps
    // its proportions on screen.
    QSizeF logicalSize(QSize pixels) const;
    // The pair's fit in the current client area, from the picture's pixel size.
    DisplayGeometry fitToClient(QSize picture) const;

    // Clicks.
    void cmdCompare_Click();
    bool searchBusy() const;
    void startSearch(const QString& folder, const SearchChoices& choices);
    void startFolderSearch(const FolderSearchChoices& choices, const SearchChoices& boxes);
    void cmdCancel_Click();
    void cmdDelete_Click(Side side);
    // The walk whose pairs the window shows: the whole-folder search's group
    // walk while it is on, else the neighbour search.
    PairWalk& walkOnShow() const;
    // The one routine that acts on a copy, for either walk's pair on show.
    void actOnCopy(PairWalk& walk, Side side);
    void cmdInfo_Click();
    // "Skip this pair" (or S) in the group walk: both copies stay.
    void cmdSkip_Click();
    void updateSkipButton();
    // The hint line at rest: the empty window's first step, or what the
    // last search left out.
    void showRestingHint();
    void subfolderLineReady(const QString& line);
    void updatesReady(const QString& version);

    // Window states and the owner-centred box.
    void showSearching(const QString& caption);
    void showIdleState();
    void showImagesAtRest();
    void clearPictures();
    void clearFileNames();
    void setActionButtonsEnabled(bool enabled);
    void MsgBox(const QString& text);
    QPoint messagePosition() const;

    // ComparisonView
    void beginSearch(const QString& searchFolder, int fileCount) override;
    void showProgress(qint64 done, qint64 total) override;
    void processEvents() override;
    void showPair(const QImage& left, const QImage& right, const QString& leftName,
        const QString& rightName) override;
    void clearPair(Side actedOn) override;
    void finishSearch(const SearchTally& tally) override;
    void cancelSearch() override;

    Desktop* m_desktop;
    SettingsStore* m_settings;
    frmFolderSearch* m_folderSearch = nullptr;

    chameleonButton* m_cmdCompare = nullptr;
    chameleonButton* m_cmdDelete1 = nullptr;
    chameleonButton* m_cmdDelete2 = nullptr;
    chameleonButton* m_cmdCancel = nullptr;
    chameleonButton* m_cmdInfo = nullptr;
    QComboBox* m_cboOptions = nullptr;
    QPushButton* m_command1 = nullptr;
    QLabel* m_lblFiles = nullptr;
    QLabel* m_lblPic1 = nullptr;
    QLabel* m_lblPic2 = nullptr;
    ImageBox* m_image1 = nullptr;
    ImageBox* m_image2 = nullptr;
    ShapeBox* m_shape1 = nullptr;
    ShapeBox* m_shape2 = nullptr;
    ProgressBarBox* m_picProgressBar = nullptr;
    QLabel* m_lblHint = nullptr;
    chameleonButton* m_cmdSkip = nullptr;
    SubfolderHint* m_subfolderHint = nullptr;
    // The search under way, or the last one: its folder, and whether it
    // read the subfolders too.
    QString m_searchedFolder;
    bool m_searchedSubfolders = false;
    // The line about the pictures the last search left out, if any.
    QString m_subfolderLine;

    std::unique_ptr<ComparisonRun> m_run;
    std::unique_ptr<WholeFolderMode> m_wholeFolder;
    UpdateCheck* m_updateCheck = nullptr;
    float m_aspectRatio = 0.571854f;
    bool m_loaded = false;
    bool m_unloaded = false;
    // The restored place, kept until the window manager has told Qt the
    // frame's size: before that, twips of the outer frame cannot be honoured.
    QRect m_restoredFrame;
    QElapsedTimer m_sinceLoad;
    bool m_frameSettled = false;
    // Pixel size of the pair on show (empty when none): its fit is redone
    // on every resize.
    QSize m_pictureOnShow;
    // The image boxes of the last fit, re-applied on resize; at rest between
    // searches.
    DisplayGeometry m_imageBoxes;
};
