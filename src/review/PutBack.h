#pragma once
// Taking back what the review's last action did. Right after the action,
// Corvane notes where each file went and who it was there (device, inode,
// size, times): a file sent to the trash is found by its trash record (the
// freedesktop.org trash's info/NAME.trashinfo, whose Path names the file's
// old place, and files/NAME, which must be the very inode that was
// trashed); a moved file is in the target folder under its own name.
//
// Putting back moves each file to its old place only while it is still the
// file noted then, and never over a file that now stands at the old place:
// such a file is left alone, with its reason. A file back from the trash
// loses its trash record. Deleted files cannot come back. A name replaced
// with a link or clone gets a file of its own again (LinkReplacement), only
// while the copy that stays is unchanged since.

#include "finder/FinderResult.h"
#include "handling/LinkReplacement.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

class PutBack {
public:
    // A file the action acted on: its id in the review and where the search saw it.
    struct Acted {
        int id = 0;
        QByteArray path;
        FileIdentity searched;
    };
    struct LeftAlone {
        QString path; // the old place
        QString reason;
    };
    struct Outcome {
        // Ids of the files back at their places, with who they are there now.
        std::vector<std::pair<int, FileIdentity>> returned;
        // For each file back from Corvane's own rename: who the search saw
        // and who it is now, so that what was learned about it carries over.
        std::vector<std::pair<FileIdentity, FileIdentity>> renamed;
        std::vector<LeftAlone> leftAlone;
        // After links: who each copy that stays is now (its link count and
        // change time move as its names get files of their own).
        std::vector<std::pair<QByteArray, FileIdentity>> keptNow;
        bool links = false;
    };

    // Nothing to put back.
    PutBack() = default;
    // After files went to the trash; homeTrash is the desktop's home trash
    // folder (homeTrash() in Corvane), the trash of each file's own disk is
    // looked for beside it.
    static PutBack afterTrash(const std::vector<Acted>& files, const QByteArray& homeTrash);
    // After files were moved into folder (absolute, no trailing "/").
    static PutBack afterMove(const std::vector<Acted>& files, const QByteArray& folder);
    // After names were replaced with links or clones (id, what was done).
    static PutBack afterLinks(const std::vector<std::pair<int, LinkReplacement::Linked>>& names);
    // After files were deleted: put back says they cannot come back.
    static PutBack afterDelete(int count);

    // The trash GIO uses: "Trash" in the user's data folder.
    static QByteArray homeTrash();

    // Files the last action acted on (deleted ones included).
    int count() const { return m_deleted > 0 ? m_deleted : int(m_entries.size()); }
    bool deleted() const { return m_deleted > 0; }

    // Moves every noted file back to its place. Used once: the notes are
    // emptied.
    Outcome run();

    // One paragraph for the report: how many came back, how many were left.
    static QString summaryText(const Outcome& outcome);
    // What a put back after a deletion says.
    static QString deletedText();

private:
    struct Entry {
        int id = 0;
        QByteArray original;
        QByteArray place; // where the action put it; empty when not found
        QByteArray record; // the trash record, for files in the trash
        FileIdentity after; // who it was at place right after the action
        FileIdentity searched; // who the search saw
        QString missing; // why there is nothing to put back, when place is empty
        std::optional<LinkReplacement::Linked> linked; // a name replaced with a link
    };

    QString putBackOne(const Entry& entry, FileIdentity* now) const;

    std::vector<Entry> m_entries;
    int m_deleted = 0;
};
