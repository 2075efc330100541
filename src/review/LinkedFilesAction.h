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
#include "review/MarkedFileSteps.h"

#include <QString>

#include <map>
#include <vector>

class LinkedFilesAction final : public MarkedFileSteps {
public:
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
    // of a hard link would change the master.
    static bool mayLinkTo(const FoundFile& kept) { return !kept.isProtected; }

    int clonesPlanned() const { return m_clonesPlanned; }
    int hardLinksPlanned() const { return total() - m_clonesPlanned; }

    // notDone() holds the files skipped when the action was planned, and
    // those left alone or failed since.
    const std::vector<Replaced>& replaced() const { return m_replaced; }
    // Who each copy that stays is now (its links moved with hard links).
    const std::map<QByteArray, FileIdentity>& keptNow() const { return m_keptNow; }

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

    void actOn(int index) override;

    std::vector<Planned> m_plan;
    int m_clonesPlanned = 0;
    int m_clonesMade = 0;
    std::map<QByteArray, FileIdentity> m_keptNow; // also what the next file expects of it
    std::vector<Replaced> m_replaced;
};
