#pragma once
// A folder of real pictures made by the tests with ImageMagick, libjpeg-turbo's
// tools and Qt: every kind of true duplicate the whole-folder search must
// group, near misses that must never group, files it cannot read, and files
// it must not look at.

#include <QByteArray>
#include <QString>

#include <set>

namespace testcollection {

using PathSet = std::set<QByteArray>; // paths relative to the collection root

struct Collection {
    std::set<PathSet> groups; // the true groups, when searched with subfolders
    PathSet nearMisses; // readable pictures that must be in no group
    PathSet unreadable; // must be listed as unreadable, with a reason
    PathSet ignored; // must not be examined at all (hidden, links, other names)
    PathSet lonely; // pictures whose dimensions no other picture has
    int examined = 0; // files the search must examine (with subfolders)
};

// Writes the collection into root (an empty folder). Fails the running test
// (ADD_FAILURE) and returns false when a tool is missing or fails.
bool make(const QString& root, Collection* collection);

// Runs a program with arguments; true when it exits with 0.
bool run(const QString& program, const QStringList& arguments, QByteArray* output = nullptr,
    const QByteArray& input = QByteArray());

// Copies a folder tree as it is (links, hard links, times) with cp -a.
bool copyTree(const QString& from, const QString& to);

} // namespace testcollection
