#pragma once
// The three report forms of a whole-folder search, each written from one
// result: corvane-find's output and the review window's export.

#include "finder/FinderResult.h"

#include <QByteArray>

namespace findreport {

// One group per paragraph (groups apart by an empty line), one path a line.
// When the search looked for the same photo saved differently, each group is
// headed by its kind ("identical", "same photo") and every member of a
// same-photo group but the best copy is followed by its measured difference.
QByteArray text(const FinderResult& result);

// One line per unreadable file, "corvane-find: PATH: reason", for standard error.
QByteArray unreadableLines(const FinderResult& result);

// One line for standard error: "corvane-find: 12 files examined: 1 group of
// identical pictures (2 files), 1 unreadable; 3 files not examined (...)".
QByteArray summaryLine(const FinderResult& result);

// The note on a fingerprint cache that was not used (or made anew) and why;
// problem as FinderStats::cacheProblem ("it is read-only").
QByteArray cacheNote(const QString& problem, bool usedAnyway);

// Every group has "kind": "identical" groups first, then "same photo" groups
// (best copy first; the others with "difference"; files identical to each
// other with "identical_group", the index of their group in "groups",
// counted from 0).
QByteArray json(const FinderResult& result);

// A header row, then one row per file of every group (group numbered from 1)
// and one per unreadable file (empty group, with its reason). RFC 4180
// quoting. Same-photo groups follow the identical ones, numbered on, with
// the same figures as the JSON report in columns of their own;
// identical_group holds the number of the file's identical group as the
// group column gives it (from 1).
QByteArray csv(const FinderResult& result);

} // namespace findreport
