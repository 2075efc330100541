#pragma once
// The comparison run: one object holding the search state of the main window.
// It walks the size-sorted candidate list List1 and examines neighbouring
// entries only; a pair within 200 bytes is decoded into pic1 and pic2 and
// compared pixel by pixel. An identical pair is shown through the view and the
// run returns (paused); an action on one copy resumes it one pair back. The
// window talks to it through start(), cancel(), the pair walk (PairWalk.h) and
// windowClosing(); the run talks back through ComparisonView (see that
// header), in counts and names: layout and wording are the window's.
//
// Safety over the window's historic behaviour: a pair is shown only when both
// pictures were decoded for the current step (the first one may come from the
// previous step, for the same unchanged file, when it decoded there) and compared
// equal; a failed decode leaves its holder empty; a cancelled
// or closing search never shows a pair; a start that arrives while a step is
// still on the stack (through an event-loop turn) waits until that step has
// unwound.

#include "search/CandidateList.h"
#include "search/ComparisonView.h"
#include "search/ConverterClient.h"
#include "search/PairWalk.h"
#include "search/PictureDecoder.h"

#include <QImage>
#include <QSet>
#include <QString>

class ComparisonRun : public PairWalk {
public:
    // A pair goes on to decoding only when its size keys differ by less than this.
    static constexpr int kSizeWindow = 200;

    // The view must outlive the run. The converter lies in programFolder and
    // writes its scratch files to scratchFolder.
    ComparisonRun(ComparisonView& view, const QString& programFolder, const QString& scratchFolder);
    // Scratch files go to ConverterClient::defaultScratchFolder(programFolder).
    ComparisonRun(ComparisonView& view, const QString& programFolder);

    ComparisonRun(const ComparisonRun&) = delete;
    ComparisonRun& operator=(const ComparisonRun&) = delete;

    // The search button's work after the folder choice: folder is the picker's
    // answer (no trailing "/" except for "/" itself); "" does nothing. Scans the
    // folder, puts the window in its searching state and runs CompareFiles.
    // Returns when a pair is on show, the search is over, or it was cancelled.
    void start(const QString& folder);

    // Runs steps until a pair is on show, the list is exhausted, or
    // CancelRequested is found set at the start of a step. A call while a step
    // is already on the stack is refused.
    void CompareFiles();

    // The cancel button: stops the search at its next step and resets the
    // window through ComparisonView::cancelSearch. Ignored when no search is active.
    void cancel();

    // PairWalk: the pair on show. Removed and dropped entries leave List1
    // (a dropped file still counts as compared); the run resumes one pair back.
    bool pairOnShow() const override { return m_pairOnShow; }
    QString pathOf(Side side) const override;
    // Who the copy was when its picture was decoded for the pair check.
    std::optional<FileIdentity> identityOf(Side side) const override;
    bool pairUnchanged() const override;
    QString searchFolder() const override { return SearchFolder; }
    void actOn(Side side, ActOutcome outcome) override;

    // The window is closing: cancels the search; the view is not called again,
    // not even by a step still on the stack.
    void windowClosing();

    bool isRunning() const { return m_running; }
    bool isSearching() const { return m_searchActive; }
    // The run's converter client; its event turns go to the view, and it is
    // stopped early only for a cancelled search step or a closing window.
    ConverterClient& converter() { return m_converter; }

    // Full paths of the files of this search that failed to decode at least
    // once, sorted.
    QStringList unreadableFiles() const;
    // The searched folder, ending with "/": the window sets it from its
    // settings at load and from the folder picker.
    void setSearchFolder(const QString& folder) { SearchFolder = folder; }
    // The search button: the next CompareFiles starts at the first pair.
    void restartAtFirstPair() { NewRun = true; }
    // Pairs shown in this search, less refused actions.
    int deletedCount() const { return DeletedCount; }
    // The candidate entries, sorted by size key.
    const CandidateList& candidates() const { return List1; }
    // List1 indexes of the copies on show, and of the second file of the
    // pair being examined.
    int leftIndex() const { return LeftIndex; }
    int rightIndex() const { return RightIndex; }
    int secondIndex() const { return SecondIndex; }
    // Whether the acted-on entry left List1.
    bool entryRemoved() const { return RemoveEntry; }

private:
    // Search state, written by the run alone except through the setters above.
    QString SearchFolder; // the searched folder, ending with "/"
    bool NewRun = false; // the next CompareFiles starts at the first pair
    bool CancelRequested = false;
    bool LeftDeleted = false; // the left copy of the pair on show was acted on
    bool RightDeleted = false; // the right copy of the pair on show was acted on
    bool RemoveEntry = false; // the acted-on entry left List1
    int FirstIndex = 0; // List1 index of the pair being examined
    int SecondIndex = 0; // always FirstIndex + 1
    int LeftIndex = 0; // List1 index of the left copy on show
    int RightIndex = 0; // List1 index of the right copy on show
    int DeletedCount = 0; // pairs shown in this search, less refused actions
    CandidateList List1; // the candidate entries, sorted by size key
    QImage pic1; // the decoded first and second picture of the pair being
    QImage pic2; // examined; null after a failed decode and between searches

    void beginSearch(const QString& folder);
    void runSteps();
    void showPair(const QString& firstPath, const QString& secondPath);
    void finish();
    void forgetPreviousSecond();
    void releasePictures();
    void viewTurn();

    ComparisonView& m_view;
    ConverterClient m_converter;
    PictureDecoder m_decoder;
    bool m_running = false; // a call of CompareFiles is on the stack
    bool m_searchActive = false; // between a start and its finish or cancel
    bool m_pairOnShow = false;
    bool m_closing = false;
    bool m_startPending = false; // a start that waits for the running step
    int m_droppedCount = 0; // entries dropped without an action in this search
    QString m_pendingFolder;
    // The decoded second picture of the last examined pair, within one call.
    QString m_previousSecondPath;
    std::optional<FileIdentity> m_previousSecondIdentity;
    QImage m_previousSecond;
    // Who the left and right file of the pair on show were, taken before
    // they were decoded.
    FileIdentity m_shownIdentities[2];
    // Paths whose decode failed in this search (missing, unreadable, corrupt,
    // refused, or a converter that failed or ran out of time).
    QSet<QString> m_unreadable;
};
