#pragma once
// What a pair walk needs from the main window. Form1 implements it; tests
// drive the walks with a fake. All calls come on the window thread, from
// inside the walk's public entry points. The walk says what happened (counts,
// names, pictures); where things go on screen and how the messages read is
// the window's business.
//
//--- View interface
// beginSearch(folder, files)  searching state: cmdCompare hidden, cmdCancel and a
//                             disabled cmdInfo shown, picProgressBar cleared and shown,
//                             lblFiles shown with the folder and its file count, focus
//                             to Command1, the whole window repainted at once
// showProgress(done, total)   fill picProgressBar from its left edge to done/total of
//                             its width (total > 0), full height
// processEvents()             one turn of the event loop: pending window events are
//                             handled before the walk goes on
// showPair(...)               pair on show: Shape1/Shape2 hidden; Image1/Image2 fitted
//                             to the picture's proportions; the pictures shown
//                             stretched; lblPic1/lblPic2 above them with the names as
//                             caption and tooltip; cmdDelete1, cmdDelete2 and cmdInfo
//                             enabled
// clearPair(actedOn)          after an action on one copy, before the walk resumes: both
//                             pictures emptied when the left copy was acted on (kept for
//                             the right one), Image1/Image2 back at their rest places,
//                             Shape1/Shape2 shown, the three action buttons disabled,
//                             both labels emptied and repainted
// finishSearch(tally)         list exhausted: idle state (cmdCompare shown; cmdCancel,
//                             cmdInfo, picProgressBar, lblFiles hidden), both pictures
//                             cleared, the closing message in the owner-centred box,
//                             focus to Command1
// cancelSearch()              search cancelled: action buttons disabled, idle state, both
//                             pictures cleared, image boxes and frames at rest and shown,
//                             labels emptied, the cancel message in the owner-centred
//                             box, focus to Command1

#include <QImage>
#include <QString>

enum class Side { Left, Right };

// What a search or a walk tells when it ends; the closing message is made from it.
struct SearchTally {
    int compared = 0; // files the search started with
    int deleted = 0; // pairs shown, less refused actions and dropped entries
    int unreadable = 0; // files that could not be read, so some pairs were never compared
    int skippedNames = 0; // candidates left out for their names

    bool operator==(const SearchTally&) const = default;
};

class ComparisonView {
public:
    virtual ~ComparisonView() = default;

    virtual void beginSearch(const QString& searchFolder, int fileCount) = 0;
    virtual void showProgress(qint64 done, qint64 total) = 0;
    virtual void processEvents() = 0;
    virtual void showPair(
        const QImage& left, const QImage& right, const QString& leftName, const QString& rightName)
        = 0;
    virtual void clearPair(Side actedOn) = 0;
    virtual void finishSearch(const SearchTally& tally) = 0;
    virtual void cancelSearch() = 0;
};
