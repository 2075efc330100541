#include "search/ComparisonRun.h"

#include "search/CandidateEntry.h"
#include "search/ModImageCompare.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <sys/stat.h>

namespace {

constexpr double kAreaWidth = 320;
constexpr double kAreaHeight = 240;
constexpr double kAreaRatio = kAreaHeight / kAreaWidth;
// Centres of the left and right display areas and the label's distance above the image.
constexpr double kLeftCentreX = 176;
constexpr double kRightCentreX = 512;
constexpr double kCentreY = 143;
constexpr double kLabelGap = 20;

// Identifies one state of a file: a picture decoded from it is reused, and a
// pair is shown and acted on, only while this stays the same (the file may be
// replaced during an event turn or while the pair is on show). Empty for
// anything but a regular file: a copy replaced by a link to its twin must
// never make a pair with it.
QByteArray fileSignature(const QString& path)
{
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return QByteArray();
    const qint64 fields[] = {qint64(info.st_dev), qint64(info.st_ino), qint64(info.st_size),
        qint64(info.st_mtim.tv_sec), qint64(info.st_mtim.tv_nsec), qint64(info.st_ctim.tv_sec),
        qint64(info.st_ctim.tv_nsec)};
    return QByteArray(reinterpret_cast<const char*>(fields), sizeof(fields));
}

} // namespace

ComparisonRun::ComparisonRun(
    ComparisonView& view, const QString& programFolder, const QString& scratchFolder)
    : m_view(view)
    , m_converter(programFolder, scratchFolder)
    , m_decoder(&m_converter)
{
    m_converter.setEventTurn([this] { viewTurn(); });
    // A cancelled search has no use for the picture being converted, and a
    // closing window waits for no converter. The window also borrows this
    // client for image reports while a pair is on show; those run to the end.
    m_converter.setAbortCheck([this] { return m_closing || (m_running && CancelRequested); });
}

ComparisonRun::ComparisonRun(ComparisonView& view, const QString& programFolder)
    : ComparisonRun(view, programFolder, ConverterClient::defaultScratchFolder(programFolder))
{
}

void ComparisonRun::start(const QString& folder)
{
    if (m_closing || folder.isEmpty())
        return;
    NewRun = true;
    if (m_running) {
        // A cancel during an event-loop turn showed the search button again and
        // the user started anew: let the old step unwind first; CompareFiles
        // starts this search when it returns.
        m_pendingFolder = folder;
        m_startPending = true;
        CancelRequested = true;
        return;
    }
    beginSearch(folder);
}

void ComparisonRun::beginSearch(const QString& folder)
{
    NewRun = true;
    SearchFolder = folder + QLatin1Char('/');
    List1.clear();
    m_unreadable.clear();
    CancelRequested = false;
    List1.scan(SearchFolder);
    m_pairOnShow = false;
    m_searchActive = true;
    m_view.beginSearch(filesCaption(SearchFolder, List1.count()));
    DeletedCount = 0;
    m_droppedCount = 0;
    CancelRequested = false;
    CompareFiles();
}

void ComparisonRun::CompareFiles()
{
    if (m_running || m_closing)
        return;
    m_running = true;
    runSteps();
    m_running = false;

    if (m_startPending && !m_closing) {
        m_startPending = false;
        beginSearch(m_pendingFolder);
    }
}

void ComparisonRun::runSteps()
{
    const bool newRun = NewRun;
    NewRun = false;
    forgetPreviousSecond();
    bool firstStep = true;

    while (!CancelRequested) {
        if (firstStep && newRun)
            FirstIndex = 0;
        else if (firstStep && (LeftDeleted || RightDeleted))
            FirstIndex = std::max(FirstIndex - 1, 0);
        else
            ++FirstIndex;
        firstStep = false;
        LeftDeleted = false;
        RightDeleted = false;
        SecondIndex = FirstIndex + 1;

        const int count = List1.count();
        if (count > 0) {
            BarWidth = roundHalfEven(double(FirstIndex) / count * m_view.progressWidth());
            m_view.drawProgress(BarWidth);
        }
        if (SecondIndex > count - 1) {
            finish();
            return;
        }

        const CandidateEntry first = CandidateEntry::splitEntry(List1.at(FirstIndex));
        const CandidateEntry second = CandidateEntry::splitEntry(List1.at(SecondIndex));
        const int firstKey = CandidateEntry::keyValue(first.sizeKey);
        const int secondKey = CandidateEntry::keyValue(second.sizeKey);
        if (firstKey < 0 || secondKey < 0 || std::abs(firstKey - secondKey) >= kSizeWindow) {
            forgetPreviousSecond();
            continue;
        }

        // A failed decode leaves its holder empty, so no picture from an
        // earlier step can ever stand in for it. The second picture of the
        // previous step is the first of this one when its entry is, and only
        // when it decoded.
        // The pictures of the last pair are let go before a new one is decoded,
        // so that a search holds at most two pictures at a time (a 24-megapixel
        // pair is already 192 MB).
        // Signatures are taken before decoding, so that a change during the
        // decode also prevents reuse and showing.
        QByteArray firstSignature;
        if (!m_previousSecond.isNull() && m_previousSecondPath == first.path
            && m_previousSecondSignature == fileSignature(first.path)) {
            firstSignature = m_previousSecondSignature;
            pic1 = m_previousSecond;
        } else {
            releasePictures();
            firstSignature = fileSignature(first.path);
            pic1 = m_decoder.decode(first.path);
        }
        const QByteArray secondSignature = fileSignature(second.path);
        m_previousSecondSignature = secondSignature;
        pic2 = QImage();
        pic2 = m_decoder.decode(second.path);
        m_previousSecondPath = second.path;
        m_previousSecond = pic2;

        if (!m_closing)
            m_view.processEvents();
        if (m_closing || CancelRequested) {
            releasePictures();
            return;
        }

        if (pic1.isNull())
            m_unreadable.insert(first.path);
        if (pic2.isNull())
            m_unreadable.insert(second.path);
        if (pic1.isNull() || pic2.isNull())
            continue;
        if (pic1.size() != pic2.size())
            continue;
        if (!ModImageCompare::ComparePictures(pic1, pic2))
            continue;
        // A file that changed during the event turn is not what was compared.
        if (firstSignature.isEmpty() || fileSignature(first.path) != firstSignature
            || secondSignature.isEmpty() || fileSignature(second.path) != secondSignature)
            continue;
        m_shownSignatures[0] = firstSignature;
        m_shownSignatures[1] = secondSignature;
        showPair(first.path, second.path);
        return;
    }
}

void ComparisonRun::showPair(const QString& firstPath, const QString& secondPath)
{
    const QSizeF logical = m_view.logicalSize(pic1.size());
    DisplayGeometry geometry = fitPair(logical.width(), logical.height());
    if (geometry.keepPlace) {
        geometry.image1 = QRectF(ImageLeft, ImageTop, ImageWidth, ImageHeight);
        geometry.image2 = QRectF(Image2Left, ImageTop, ImageWidth, ImageHeight);
        geometry.labelTop = ImageTop - kLabelGap;
        geometry.imageLeft = ImageLeft;
        geometry.imageTop = ImageTop;
        geometry.imageWidth = ImageWidth;
        geometry.imageHeight = ImageHeight;
        geometry.image2Left = Image2Left;
    } else {
        ImageLeft = geometry.imageLeft;
        ImageTop = geometry.imageTop;
        ImageWidth = geometry.imageWidth;
        ImageHeight = geometry.imageHeight;
        Image2Left = geometry.image2Left;
    }
    LeftIndex = FirstIndex;
    RightIndex = SecondIndex;
    ++DeletedCount;
    m_pairOnShow = true;
    m_view.showPair(geometry, pic1, pic2, CandidateEntry::fileName(firstPath),
        CandidateEntry::fileName(secondPath));
}

void ComparisonRun::finish()
{
    m_searchActive = false;
    m_pairOnShow = false;
    resetGeometry();
    releasePictures();
    m_view.finishSearch(closingText(List1.count() + DeletedCount + m_droppedCount, DeletedCount,
        int(m_unreadable.size()), List1.skippedNames()));
}

void ComparisonRun::cancel()
{
    if (m_closing || !m_searchActive)
        return;
    CancelRequested = true;
    m_startPending = false;
    m_searchActive = false;
    m_pairOnShow = false;
    // The box below waits for the user inside this event turn: a converter of
    // the search must not keep the scratch folder (and other Corvanes) meanwhile.
    if (m_running)
        m_converter.stopNow();
    resetGeometry();
    releasePictures();
    m_view.cancelSearch(canceledText());
}

void ComparisonRun::actOn(Side side, ActOutcome outcome)
{
    if (m_closing || m_running || !m_pairOnShow)
        return;
    m_pairOnShow = false;
    const int index = side == Side::Left ? LeftIndex : RightIndex;
    if (side == Side::Left)
        LeftDeleted = true;
    else
        RightDeleted = true;
    RemoveEntry = outcome != ActOutcome::Refused;
    if (outcome != ActOutcome::EntryRemoved)
        --DeletedCount;
    if (outcome == ActOutcome::EntryDropped)
        ++m_droppedCount;
    if (RemoveEntry) {
        m_unreadable.remove(CandidateEntry::splitEntry(List1.at(index)).path);
        List1.removeAt(index);
    }
    m_view.clearPair(side);
    CompareFiles();
}

void ComparisonRun::windowClosing()
{
    m_closing = true;
    CancelRequested = true;
    m_startPending = false;
    m_searchActive = false;
    m_pairOnShow = false;
    m_converter.stopNow();
    releasePictures();
}

bool ComparisonRun::pairUnchanged() const
{
    if (!m_pairOnShow)
        return false;
    const QByteArray left = fileSignature(pathOf(Side::Left));
    const QByteArray right = fileSignature(pathOf(Side::Right));
    return !left.isEmpty() && left == m_shownSignatures[0] && !right.isEmpty()
        && right == m_shownSignatures[1];
}

QStringList ComparisonRun::unreadableFiles() const
{
    QStringList files(m_unreadable.begin(), m_unreadable.end());
    files.sort();
    return files;
}

QString ComparisonRun::pathOf(Side side) const
{
    if (!m_pairOnShow)
        return QString();
    const int index = side == Side::Left ? LeftIndex : RightIndex;
    return CandidateEntry::splitEntry(List1.at(index)).path;
}

void ComparisonRun::releasePictures()
{
    pic1 = QImage();
    pic2 = QImage();
    forgetPreviousSecond();
}

void ComparisonRun::forgetPreviousSecond()
{
    m_previousSecondPath.clear();
    m_previousSecondSignature.clear();
    m_previousSecond = QImage();
}

DisplayGeometry ComparisonRun::imageBoxes() const
{
    DisplayGeometry boxes;
    boxes.imageLeft = ImageLeft;
    boxes.imageTop = ImageTop;
    boxes.imageWidth = ImageWidth;
    boxes.imageHeight = ImageHeight;
    boxes.image2Left = Image2Left;
    return boxes;
}

void ComparisonRun::setImageBoxes(const DisplayGeometry& geometry)
{
    ImageLeft = geometry.imageLeft;
    ImageTop = geometry.imageTop;
    ImageWidth = geometry.imageWidth;
    ImageHeight = geometry.imageHeight;
    Image2Left = geometry.image2Left;
}

void ComparisonRun::resetGeometry()
{
    setImageBoxes(DisplayGeometry());
}

void ComparisonRun::viewTurn()
{
    if (!m_closing)
        m_view.processEvents();
}

DisplayGeometry ComparisonRun::fitPair(double w, double h)
{
    DisplayGeometry geometry;
    if (!(w > 0) || !(h > 0)) {
        geometry.keepPlace = true;
        return geometry;
    }
    const double ratio = double(h) / w;
    const double scale = ratio < kAreaRatio ? w / kAreaWidth : h / kAreaHeight;
    const double width = w / scale;
    const double height = h / scale;
    const double top = kCentreY - height / 2;
    geometry.image1 = QRectF(kLeftCentreX - width / 2, top, width, height);
    geometry.image2 = QRectF(kRightCentreX - width / 2, top, width, height);
    geometry.labelTop = top - kLabelGap;
    geometry.imageLeft = roundHalfEven(geometry.image1.left());
    geometry.imageTop = roundHalfEven(top);
    geometry.imageWidth = roundHalfEven(width);
    geometry.imageHeight = roundHalfEven(height);
    geometry.image2Left = roundHalfEven(geometry.image2.left());
    return geometry;
}

QString ComparisonRun::closingText(int compared, int deleted, int unreadable, int skippedNames)
{
    QString text = QStringLiteral("Compared %1 files.\r\n").arg(compared);
    if (deleted > 0)
        text += QStringLiteral("Deleted %1 duplicate(s).").arg(deleted);
    else
        text += QStringLiteral("Found no duplicates.");
    // "No duplicates" is only as good as the files that could be read.
    if (unreadable == 1)
        text += QStringLiteral("\r\n1 file could not be read.");
    else if (unreadable > 1)
        text += QStringLiteral("\r\n%1 files could not be read.").arg(unreadable);
    if (skippedNames == 1)
        text += QStringLiteral("\r\n1 file was left out: its name is not valid UTF-8.");
    else if (skippedNames > 1)
        text += QStringLiteral("\r\n%1 files were left out: their names are not valid UTF-8.")
                    .arg(skippedNames);
    return text;
}

QString ComparisonRun::filesCaption(const QString& searchFolder, int count)
{
    return searchFolder + QStringLiteral(" (%1 files)").arg(count);
}

QString ComparisonRun::canceledText()
{
    return QStringLiteral("Search canceled.");
}

int ComparisonRun::roundHalfEven(double value)
{
    // nearbyint follows the default rounding mode: to nearest, halves to even.
    return int(std::nearbyint(value));
}
