#pragma once
// What the actions on the review's marked files share: a plan made when the
// action is taken, carried out one file per step so that a window can show
// progress between steps, and the account of what was done: the listings
// that leave the review, every file left alone with its reason, the space
// freed.

#include "review/ReviewModel.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <vector>

class MarkedFileSteps {
public:
    struct NotDone {
        QString path; // as the review shows it
        QString reason;
        bool skipped = false; // left alone on purpose, not a failure
    };

    virtual ~MarkedFileSteps() = default;
    MarkedFileSteps(const MarkedFileSteps&) = delete;
    MarkedFileSteps& operator=(const MarkedFileSteps&) = delete;

    int total() const { return m_total; }
    std::int64_t totalBytes() const { return m_totalBytes; }
    int position() const { return m_next; }
    bool finished() const { return m_next >= m_total; }

    // Acts on the next file.
    void step();
    void runToEnd();

    // ReviewFile ids of the files acted on.
    const std::vector<int>& actedIds() const { return m_acted; }
    // Every listing in the review of the files acted on (a file may be listed
    // in an identical group and in a same-photo group).
    const std::vector<int>& goneIds() const { return m_gone; }
    const std::vector<NotDone>& notDone() const { return m_notDone; }
    // Each file left alone as "path: reason", for the report.
    QStringList problems() const;
    // Bytes no longer held by any name.
    std::int64_t freedBytes() const { return m_freedBytes; }

    static QString sizeText(std::int64_t bytes);

protected:
    // Notes every listing of model's files, so that a file acted on takes
    // all of its listings out of the review.
    explicit MarkedFileSteps(const ReviewModel& model);

    // Acts on the file planned at index, in the order of the plan.
    virtual void actOn(int index) = 0;

    // One more file in the plan, after those before it.
    void addToPlan(std::int64_t bytes);
    // The file at path, listed as id, was acted on; freed is what that gave
    // back to the file system.
    void acted(int id, const QByteArray& path, std::int64_t freed);
    void leftAlone(const QString& shownPath, const QString& reason, bool skipped);
    int skippedCount() const;
    int failedCount() const { return int(m_notDone.size()) - skippedCount(); }

    static QString filesText(int count);
    static QByteArray parentFolder(const QByteArray& path);

private:
    int m_total = 0;
    std::int64_t m_totalBytes = 0;
    int m_next = 0;
    std::map<QByteArray, std::vector<int>> m_listings; // path -> ReviewFile ids
    std::vector<int> m_acted;
    std::vector<int> m_gone;
    std::vector<NotDone> m_notDone;
    std::int64_t m_freedBytes = 0;
};
