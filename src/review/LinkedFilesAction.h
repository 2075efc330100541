#pragma once
// "Replace with links": every marked file of an identical group that holds
// the very bytes of the group's copy that stays gives up its blocks and
// keeps its name, as a clone of that copy where the file system can make one,
// else as a hard link to it (LinkReplacement). One file per step, so that a
// window can show progress between steps.
//
// Files are left alone with their reason when they are not byte-identical to
// the copy that stays (the same pixels in other bytes: their metadata would
// be lost), sit on another file system, or have no copy that stays they
// could share with (only the same photo saved differently, or a copy that
// may not take links). The copy that stays is looked at before every file;
// after each hard link of the action's own, its link count and change time
// have moved, and what is expected of it moves with them.

#include "handling/LinkReplacement.h"
#include "review/ReviewModel.h"

#include <QString>

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

class LinkedFilesAction {
public:
    struct NotDone {
        QString path; // as the review shows it
        QString reason;
        bool skipped = false; // left alone on purpose, not a failure
    };
    // One name replaced, with what Put back needs.
    struct Replaced {
        int id = 0;
        FileIdentity searched;
        LinkReplacement::Linked linked;
    };

    // Takes the marked files of model as they are now, and decides for each
    // which copy it will share with and how (a clone is tried on an unseen
    // file first).
    explicit LinkedFilesAction(const ReviewModel& model);

    // Whether the copy that stays may take another name or share its blocks.
    // A copy under a protected folder may not: an edit through the new name
    // of a hard link would change the master. Files the search found carry
    // isProtected once the search knows protected folders.
    template <typename File> static bool mayLinkTo(const File& kept)
    {
        if constexpr (requires { kept.isProtected; })
            return !kept.isProtected;
        else
            return true;
    }

    int total() const { return int(m_plan.size()); }
    std::int64_t totalBytes() const { return m_totalBytes; }
    int clonesPlanned() const { return m_clonesPlanned; }
    int hardLinksPlanned() const { return total() - m_clonesPlanned; }
    int position() const { return m_next; }
    bool finished() const { return m_next >= total(); }

    void step();
    void runToEnd();

    const std::vector<int>& actedIds() const { return m_acted; }
    // Every listing of the replaced files (a file may be listed in an
    // identical group and in a same-photo group).
    const std::vector<int>& goneIds() const { return m_gone; }
    const std::vector<Replaced>& replaced() const { return m_replaced; }
    // Skipped when the action was planned, and left alone or failed since.
    const std::vector<NotDone>& notDone() const { return m_notDone; }
    // Who each copy that stays is now (its links moved with hard links).
    const std::map<QByteArray, FileIdentity>& keptNow() const { return m_keptNow; }
    std::int64_t freedBytes() const { return m_freedBytes; }

    // The confirmation: how many files, how many clones and hard links, and
    // what a hard link means for an edit.
    QString confirmationText() const;
    // The report: how many names were replaced, the space freed, what was left.
    QString summaryText() const;

private:
    struct Planned {
        int id = 0;
        FoundFile found;
        QString shownPath;
        QByteArray kept;
        LinkReplacement::Method method = LinkReplacement::Method::Clone;
    };

    void actOn(const Planned& planned);

    std::vector<Planned> m_plan;
    std::int64_t m_totalBytes = 0;
    int m_clonesPlanned = 0;
    int m_next = 0;
    int m_clonesMade = 0;
    std::map<QByteArray, FileIdentity> m_keptNow; // also what the next file expects of it
    std::map<QByteArray, std::vector<int>> m_listings; // path -> ReviewFile ids
    std::vector<int> m_acted;
    std::vector<int> m_gone;
    std::vector<Replaced> m_replaced;
    std::vector<NotDone> m_notDone;
    std::int64_t m_freedBytes = 0;
};
