#pragma once
// The hidden sorted list List1: candidate entries kept in ascending text order,
// which the fixed-width size key turns into ascending size order. Indexes are
// from 0; an index out of range reads as "" and removes nothing.

#include <QStringList>

class CandidateList {
public:
    // Inserts after any entries that compare equal, so equal texts keep their order.
    void insert(const QString& entry);
    QString at(int index) const;
    int count() const;
    void removeAt(int index);
    void clear();
    const QStringList& entries() const { return m_entries; }

    // Adds one entry per candidate image of searchFolder (which ends with "/"),
    // no subfolders. Only plain regular files count: hidden names, symbolic
    // links, folders, devices, sockets and fifos are never listed, and a file
    // that vanishes before it is measured is skipped. Returns the number added;
    // an unreadable folder adds nothing.
    int scan(const QString& searchFolder);

    // Candidates the scans since the last clear() left out because their
    // names are not valid UTF-8: such a name cannot be written as text and
    // back, so no file action could be sure to reach that very file.
    int skippedNames() const { return m_skippedNames; }

private:
    QStringList m_entries;
    int m_skippedNames = 0;
};
