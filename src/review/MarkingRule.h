#pragma once
// The rules that choose which copy of a duplicate group stays. Every group is
// pixel-identical, so any copy can stay; a rule only decides which. Ties are
// broken the same way every time, whatever order the window shows the files
// in: by the rule's own measure first, then the oldest modification time, then
// the shortest path, then the path's bytes.

#include "finder/FinderResult.h"

#include <QByteArray>
#include <QString>

#include <vector>

enum class MarkingRule {
    KeepOldest,
    KeepNewest,
    KeepLargest,
    KeepSmallest,
    KeepShortestPath,
    KeepInsideFolder, // the copy inside a folder the user picks
    // In a same-photo group the best copy (the review model knows which); in
    // an identical group every copy is as good, and the oldest stays.
    KeepBestCopy,
};

// What the window's menu and the status line call a rule.
QString ruleTitle(MarkingRule rule);

// Index into files of the copy the rule keeps, or -1 when the rule has no
// opinion on this group (KeepInsideFolder with no copy inside folder). folder
// is an absolute path without a trailing "/" and is used by KeepInsideFolder
// only; when several copies sit inside it, the shortest path among them stays.
int keeperIndex(
    const std::vector<const FoundFile*>& files, MarkingRule rule, const QByteArray& folder);

// True when path lies inside folder or one of its subfolders.
bool isInsideFolder(const QByteArray& path, const QByteArray& folder);
