#pragma once
// frmReview: every duplicate group of a whole-folder search in one list. The
// user marks the copies that go (by hand or by a rule), looks closer at any
// picture, and acts on all marked files at once with one confirmation and one
// report. A thin view over ReviewModel: marks, rules and undo live there.
//
//   frmReview
//   |-- toolbar: Mark (rules; all, none, invert in the selected groups) | Undo
//   |            | Look closer | Show in folder | ......... | cboAction | Act
//   |-- txtFilter (narrows the list to groups with a matching path)
//   |            | Compare | Remove from list | Replace with links | Put back | Export
//   |            | Pairs one by one
//   |-- lstGroups   tree: group rows (small picture, copies, size) with their
//   |               files (path, size, type, modified, mark); a header
//   |               click sorts the files and the groups
//   `-- status line  lblStatus | prgAct (while acting) | lblTotal
//
// Keys: arrows move, Space marks or unmarks, Enter looks closer, Delete acts
// (after the confirmation), Ctrl+Z undoes, Ctrl+F goes to the filter.

#include "finder/FinderResult.h"
#include "review/KeptResults.h"
#include "review/LinkedFilesAction.h"
#include "review/MarkedFilesAction.h"
#include "review/PutBack.h"
#include "review/ReviewModel.h"

#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QToolButton;
class QTreeView;
class ReviewItemModel;
class ThumbnailCache;

class frmReview : public QWidget {
    Q_OBJECT
public:
    // What the window needs from outside. Each one left empty gets a
    // default that talks to the desktop directly (message box, file dialogs,
    // the browser). The trash is not among them: the marked files go to the
    // trash through MarkedFilesAction alone, which looks at each file again
    // at the moment it hands it over.
    struct Hooks {
        std::function<int()> actionRow; // the main window's action list: 0 trash, 1 delete, 2 move
        // The rows of that list, and a choice made in the review window's
        // copy of it (it goes through the main window's list).
        std::function<QStringList()> actionTexts;
        std::function<void(int row)> chooseAction;
        std::function<bool(const QString& question)> confirm;
        std::function<QString(const QString& title)> pickFolder; // "" when cancelled
        std::function<QString()> pickExportFile; // "" when cancelled; .json or .csv
        std::function<void(const QString& summary, const QStringList& problems)> report;
        std::function<bool(const QUrl& url)> openUrl;
        // Adds a folder to the search window's protected folders; none: no
        // "Protect this folder".
        std::function<void(const QString& folder)> protectFolder;
        std::function<void()> walkPairs; // the pair-by-pair walk; the window closes first
        // Closing with marks: 0 act on them, 1 keep them for later, 2 discard
        // them, -1 stay open.
        std::function<int(const QString& question)> askOnClose;
        // Keeps the results and marks for later; empty or why not.
        std::function<QString(const KeptResults::Kept& kept)> keep;
        std::function<void()> discardKept;
    };

    explicit frmReview(
        const FinderResult& result, Hooks hooks = Hooks(), QWidget* parent = nullptr);
    ~frmReview() override;

    ReviewModel& model() const { return *m_model; }
    ReviewItemModel* itemModel() const { return m_items; }
    QTreeView* lstGroups() const { return m_list; }
    QLabel* lblStatus() const { return m_status; }
    QProgressBar* prgAct() const { return m_progress; }
    QPushButton* cmdAct() const { return m_act; }
    QToolButton* cmdLinks() const { return m_links; }
    QComboBox* cboAction() const { return m_actionList; }
    QLabel* lblTotal() const { return m_total; }
    QToolButton* cmdMark() const { return m_mark; }
    QToolButton* cmdUndo() const { return m_undo; }
    QToolButton* cmdLook() const { return m_look; }
    QToolButton* cmdShowInFolder() const { return m_showInFolder; }
    QToolButton* cmdExport() const { return m_export; }
    QToolButton* cmdPairs() const { return m_pairs; }
    QToolButton* cmdRemove() const { return m_remove; }
    QToolButton* cmdIgnore() const { return m_ignore; }
    QToolButton* cmdPutBack() const { return m_putBackButton; }
    QToolButton* cmdCompare() const { return m_compare; }
    QLineEdit* txtFilter() const { return m_filter; }
    ThumbnailCache* thumbnails() const { return m_thumbnails.get(); }

    // The rule menu's entries, in menu order (the folder rule asks for its folder).
    void applyRule(MarkingRule rule);
    // The commands on the selected groups (the current row's group when no
    // row is selected).
    void markAll();
    void markNone();
    void invertMarks();
    void removeFromList();
    // "Not duplicates (ignore)": the selected groups go into the list of
    // ignored groups (IgnoreList, in the data folder) and off the list; later
    // searches leave them out until a new file joins one. Returns how many
    // groups were ignored (a file that changed since the search keeps its
    // group on the list, with the reason in the status line).
    int ignoreSelectedGroups();
    // "Not a duplicate (ignore this file)": the current file's place in its
    // group goes into the same list, and the file off the group (a group
    // left with one file leaves the list). False when no file row is current
    // or the file changed since the search.
    bool ignoreCurrentFile();
    // Protects the current file's folder, here and in later searches from
    // the search window; false when there is no current file or hook.
    bool protectCurrentFolder();
    // How many groups the list of ignored groups holds, and forgetting them all.
    int ignoredGroupCount() const;
    void forgetIgnoredGroups();
    // Act on every marked file: confirmation, progress, report.
    void actOnMarked();
    // Replaces every marked file that is byte-identical to its group's copy
    // that stays with a clone of it or a hard link: confirmation, progress,
    // report; Put back takes it back.
    void replaceWithLinks();
    // Takes back what the last action did, with a report.
    void putBack();
    bool isActing() const { return m_action != nullptr || m_linking != nullptr; }
    void lookCloser();
    // The current same-photo copy beside its group's best copy.
    void compareWithBest();
    // Whether the rules of the Mark menu (but "Keep the best copy") mark the
    // same-photo groups too.
    void setRulesMarkSamePhoto(bool on);
    void showInFolder();
    void exportList();
    // Results taken up again: the marks they were kept with, and every file
    // looked at once more (one that changed is shown so and left alone).
    void takeUp(const std::set<QByteArray>& marked);
    // Keeps the list and its marks for later (the data folder).
    void keepResults();
    // Closes without asking, keeping the list and its marks: a new search
    // or the pair walk takes the window's place.
    void closeKeeping();
    // Follows a change of the main window's action list.
    void refreshActionCaption();

    // The text of the act button for an action row.
    static QString actCaption(int row);
    // The status line's running total: "27 files marked, 97.9 MB".
    static QString totalText(int files, std::int64_t bytes);

protected:
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void setupWidgets();
    void setupConnections();
    void restoreLayout();
    void storeLayout();
    void setStatus(const QString& text);
    void updateControls();
    // Shows the progress of an action on the marked files and starts its steps.
    void startSteps(int total);
    void actSteps();
    void finishActing();
    void finishLinking();
    void showOutcome(const QString& summary, const QStringList& problems);
    QModelIndex currentFileIndex() const;
    std::vector<int> selectedGroups() const;
    void notePutBack(const MarkedFilesAction& action);
    // Where the user is in the list, kept across an action or a put back.
    struct Place {
        int row = 0; // top-level row
        int groupId = -1;
        int fileId = -1;
        int scroll = 0;
    };
    Place currentPlace() const;
    void restorePlace(const Place& place);

    Hooks m_hooks;
    std::unique_ptr<ReviewModel> m_model;
    std::unique_ptr<ThumbnailCache> m_thumbnails;
    ReviewItemModel* m_items = nullptr;

    QTreeView* m_list = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_total = nullptr; // the running total of the marked files
    QComboBox* m_actionList = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_act = nullptr;
    QToolButton* m_links = nullptr;
    QToolButton* m_mark = nullptr;
    QToolButton* m_undo = nullptr;
    QToolButton* m_look = nullptr;
    QToolButton* m_showInFolder = nullptr;
    QToolButton* m_export = nullptr;
    QToolButton* m_pairs = nullptr;
    QToolButton* m_remove = nullptr;
    QToolButton* m_ignore = nullptr;
    QAction* m_forgetIgnored = nullptr;
    QAction* m_ignoreFile = nullptr;
    QAction* m_protectFolder = nullptr;
    QToolButton* m_putBackButton = nullptr;
    QToolButton* m_compare = nullptr;
    QAction* m_rulesMarkSamePhoto = nullptr;
    QLineEdit* m_filter = nullptr;

    std::unique_ptr<MarkedFilesAction> m_action;
    std::unique_ptr<LinkedFilesAction> m_linking;
    MarkedFilesAction::Kind m_actionKind = MarkedFilesAction::Kind::Trash;
    QString m_actionFolder;
    PutBack m_putBack; // what the last action did
    QTimer m_actTimer;
    bool m_closeKeeping = false;
};
