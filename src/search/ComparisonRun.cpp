#include "search/ComparisonRun.h"

#include "search/CandidateEntry.h"
#include "search/ModImageCompare.h"

#include <QFile>

#include <algorithm>
#include <cstdlib>

namespace {

// Who a file is now: a picture decoded from it is reused, and a pair is shown
// and acted on, only while this stays the same (the file may be replaced
// during an event turn or while the pair is on show). Nothing for anything but
// a regular file: a copy replaced by a link to its twin must never make a pair
// with it.
std::optional<FileIdentity> identityNow(const QString& path)
{
    return plainFileIdentity(QFile::encodeName(path).constData());
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
    m_view.beginSearch(SearchFolder, List1.count());
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
        if (count > 0)
            m_view.showProgress(FirstIndex, count);
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
        // Identities are taken before decoding, so that a change during the
        // decode also prevents reuse and showing.
        std::optional<FileIdentity> firstIdentity;
        if (!m_previousSecond.isNull() && m_previousSecondPath == first.path
            && m_previousSecondIdentity && m_previousSecondIdentity == identityNow(first.path)) {
            firstIdentity = m_previousSecondIdentity;
            pic1 = m_previousSecond;
        } else {
            releasePictures();
            firstIdentity = identityNow(first.path);
            pic1 = m_decoder.decode(first.path);
        }
        const std::optional<FileIdentity> secondIdentity = identityNow(second.path);
        m_previousSecondIdentity = secondIdentity;
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
        if (!firstIdentity || identityNow(first.path) != firstIdentity || !secondIdentity
            || identityNow(second.path) != secondIdentity)
            continue;
        m_shownIdentities[0] = *firstIdentity;
        m_shownIdentities[1] = *secondIdentity;
        showPair(first.path, second.path);
        return;
    }
}

void ComparisonRun::showPair(const QString& firstPath, const QString& secondPath)
{
    LeftIndex = FirstIndex;
    RightIndex = SecondIndex;
    ++DeletedCount;
    m_pairOnShow = true;
    m_view.showPair(
        pic1, pic2, CandidateEntry::fileName(firstPath), CandidateEntry::fileName(secondPath));
}

void ComparisonRun::finish()
{
    m_searchActive = false;
    m_pairOnShow = false;
    releasePictures();
    m_view.finishSearch({List1.count() + DeletedCount + m_droppedCount, DeletedCount,
        int(m_unreadable.size()), List1.skippedNames()});
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
    releasePictures();
    m_view.cancelSearch();
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
    return identityNow(pathOf(Side::Left)) == m_shownIdentities[0]
        && identityNow(pathOf(Side::Right)) == m_shownIdentities[1];
}

std::optional<FileIdentity> ComparisonRun::identityOf(Side side) const
{
    if (!m_pairOnShow)
        return std::nullopt;
    return m_shownIdentities[side == Side::Left ? 0 : 1];
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
    m_previousSecondIdentity.reset();
    m_previousSecond = QImage();
}

void ComparisonRun::viewTurn()
{
    if (!m_closing)
        m_view.processEvents();
}
