#pragma once
// Acting on every marked file of the review at once: to the trash, deleted,
// or moved to a folder, one file per step so that a window can show progress
// between steps. Before each file Corvane looks again: a file that changed
// since the search (removed, replaced, resized, rewritten, turned into a
// link) is skipped, and so is every marked file of a group whose unmarked
// copies all changed -- the copy that stays is what makes the others
// duplicates, so it is looked at again before every file (another program may
// move it away halfway through a long action). Nothing that is not marked is ever touched; every
// file that is not acted on is listed with its reason.

#include "review/MarkedFileSteps.h"

#include <QString>

#include <cstdint>
#include <vector>

class MarkedFilesAction final : public MarkedFileSteps {
public:
    // The rows of the main window's action list.
    enum class Kind { Trash = 0, Delete = 1, Move = 2 };

    // Takes the marked files of model as they are now. targetFolder is used
    // by Kind::Move (absolute, without a trailing "/"). Kind::Trash sends
    // files to the desktop's trash (FileActions), the same route in every
    // caller.
    MarkedFilesAction(const ReviewModel& model, Kind kind, const QString& targetFolder);

    // Bytes of the files trashed, deleted or moved; of them, freedBytes()
    // counts the deleted files that had no other link. A file skipped (see
    // notDone()) is one that changed since the search.
    std::int64_t actedBytes() const { return m_actedBytes; }

    // The report: how many files went where, the space, and how many were
    // skipped or failed.
    QString summaryText() const;

    // What the action does, for the confirmation: "move 3 files (1.2 MB) to the trash".
    static QString confirmationText(
        Kind kind, int count, std::int64_t bytes, const QString& folder);

private:
    struct Planned {
        int group = 0; // index into m_keepers
        int id = 0;
        FoundFile found;
        QString shownPath;
    };
    struct Keepers {
        std::vector<FoundFile> files; // the unmarked copies of the group
        int lastUnchanged = 0; // the copy found unchanged last time: looked at first
        bool allChanged = false; // once true, the rest of the group is left alone
    };

    bool keeperStillThere(Keepers& keepers);
    void actOn(int index) override;
    void leave(const Planned& planned, const QString& reason, bool skipped);

    Kind m_kind;
    QString m_targetFolder;
    std::vector<Planned> m_plan;
    std::vector<Keepers> m_keepers;
    std::int64_t m_actedBytes = 0;
};
