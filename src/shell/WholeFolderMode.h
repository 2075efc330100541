#pragma once
// The main window's whole-folder search: what Form1 does when either check
// box of the folder picker is on. The search runs in its own thread with the
// progress bar and the cancel button of the first design's search; its groups
// open in the review window, and from there the pair-by-pair walk runs in the
// main window with its action list, buttons and closing message.

#include "review/GroupPairWalk.h"
#include "review/WholeFolderSearch.h"
#include "review/frmReview.h"
#include "search/ComparisonView.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>
#include <set>

class Desktop;
class QAction;
class QLabel;
class QWidget;

class WholeFolderMode : public QObject {
    Q_OBJECT
public:
    // What the main window lends: its view, desktop and action list.
    struct Hooks {
        ComparisonView* view = nullptr;
        Desktop* desktop = nullptr;
        QWidget* owner = nullptr;
        std::function<int()> actionRow; // the row the action list shows, -1 for none
        std::function<void(const QString& caption)> showSearching; // searching state
        std::function<void()> showIdle; // idle state without a message
        std::function<void(const QString& text)> message; // the owner-centred box
        std::function<void(const QString& folder)> setSearchFolder; // ends with "/"
    };

    WholeFolderMode(Hooks hooks, WholeFolderSearch::Engine engine, QObject* parent = nullptr);
    ~WholeFolderMode() override;

    // Starts a search of folder (no trailing "/" except "/" itself); samePhoto
    // also looks for the same photo saved differently.
    void start(const QString& folder, bool recursive, bool samePhoto = false);
    // Starts the search window's search: its folders, protected folders,
    // exclusions and smallest size.
    void start(const WholeFolderRequest& request);
    bool isSearching() const { return m_search.isRunning(); }
    bool isWalking() const { return m_walk && m_walk->isActive(); }
    bool isBusy() const { return isSearching() || isWalking(); }
    void setEngine(WholeFolderSearch::Engine engine) { m_search.setEngine(std::move(engine)); }
    // The cancel button while a search or a walk is on.
    void cancel();
    GroupPairWalk* walk() const { return m_walk.get(); }
    frmReview* reviewWindow() const { return m_review; }
    // Opens the review window on the results kept last, with their marks,
    // without a search ("Show last results", Ctrl+L or the main window's
    // context menu). False (and a message) when none are kept.
    bool showLastResults();
    QAction* showLastResultsAction() const { return m_showLast; }
    // Starts the pair walk over what the review window still lists.
    void startWalk(const FinderResult& groups);
    void windowClosing();

    // Hooks the review window gets; tests replace the ones that open dialogs.
    frmReview::Hooks reviewHooks;

    // The line under the bar during a search: "Decoding 312 of 1,240
    // pictures (step 3 of 7), about 20 s left"; the time left once the
    // stage's pace can tell it.
    static QString stageLine(const FinderProgress& progress, std::optional<double> secondsLeft);

signals:
    // After the window showed a report of the search's progress (bar and line).
    void progressShown(const FinderProgress& progress);

private:
    void progress(const FinderProgress& progress);
    QLabel* filesLabel() const; // the main window's lblFiles, where the search's line goes
    void forgetSearchLine();
    void finished(const FinderResult& result);
    void openReview(const FinderResult& result, const std::set<QByteArray>* keptMarks);

    Hooks m_hooks;
    WholeFolderSearch m_search;
    QString m_searchFolder; // ends with "/"
    std::unique_ptr<GroupPairWalk> m_walk;
    QPointer<frmReview> m_review;
    bool m_closing = false;
    QAction* m_showLast = nullptr;
    // The stage on show and when it began, for the time it has left.
    std::optional<FinderProgress::Stage> m_stage;
    QElapsedTimer m_stageClock;
};
