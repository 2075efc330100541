#pragma once
// What the comparison run needs from the main window. Form1 implements it;
// tests drive the run with a fake. All calls come on the window thread, from
// inside the run's public entry points.
//
//--- View interface
// beginSearch(filesCaption)   searching state: cmdCompare hidden, cmdCancel and a
//                             disabled cmdInfo shown, picProgressBar cleared and shown,
//                             lblFiles shown with filesCaption, focus to Command1,
//                             the whole window repainted at once
// progressWidth()             width of picProgressBar in the units drawProgress takes
// drawProgress(barWidth)      fill picProgressBar from its left edge to barWidth, full
//                             height, in ComparisonRun::kProgressColor
// processEvents()             one turn of the event loop: pending window events are
//                             handled before the run goes on
// logicalSize(pixels)         a picture's size in the window's logical units (by default
//                             its pixel size), so that the fit keeps its proportions on screen
// showPair(...)               pair on show: Shape1/Shape2 hidden; unless keepPlace,
//                             Image1/Image2 moved to geometry.image1/image2; the pictures
//                             shown stretched; lblPic1/lblPic2 at geometry.labelTop with
//                             the names as caption and tooltip; cmdDelete1, cmdDelete2
//                             and cmdInfo enabled
// clearPair(actedOn)          after an action on one copy, before the run resumes: both
//                             pictures emptied when the left copy was acted on (kept for
//                             the right one), Image1/Image2 back at their rest places,
//                             Shape1/Shape2 shown, the three action buttons disabled,
//                             both labels emptied and repainted
// finishSearch(closingText)   list exhausted: idle state (cmdCompare shown; cmdCancel,
//                             cmdInfo, picProgressBar, lblFiles hidden), both pictures
//                             cleared, closingText in the owner-centred box, focus to Command1
// cancelSearch(text)          search cancelled: action buttons disabled, idle state, both
//                             pictures cleared, image boxes and frames at rest and shown,
//                             labels emptied, text in the owner-centred box, focus to Command1

#include <QImage>
#include <QRectF>
#include <QSizeF>
#include <QString>

// Where the image boxes go for a pair, in the main window's logical units
// (690 x 370 over the client area). Rounded fields are halves to even.
struct DisplayGeometry {
    bool keepPlace = false; // the picture has no width: the boxes keep their place and size
    QRectF image1{16, 23, 320, 240};
    QRectF image2{352, 23, 320, 240};
    double labelTop = 3; // top of lblPic1 and lblPic2: 20 above the images
    int imageLeft = 16;
    int imageTop = 23;
    int imageWidth = 320;
    int imageHeight = 240;
    int image2Left = 352;
};

enum class Side { Left, Right };

class ComparisonView {
public:
    virtual ~ComparisonView() = default;

    virtual void beginSearch(const QString& filesCaption) = 0;
    virtual int progressWidth() const = 0;
    virtual void drawProgress(int barWidth) = 0;
    virtual void processEvents() = 0;
    virtual QSizeF logicalSize(QSize pixels) const { return QSizeF(pixels); }
    virtual void showPair(const DisplayGeometry& geometry, const QImage& left, const QImage& right,
        const QString& leftName, const QString& rightName)
        = 0;
    virtual void clearPair(Side actedOn) = 0;
    virtual void finishSearch(const QString& closingText) = 0;
    virtual void cancelSearch(const QString& text) = 0;
};
