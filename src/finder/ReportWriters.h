#pragma once
// The three report forms of a whole-folder search, each written from one
// result: corvane-find's output and the review window's export.

#include "finder/FinderResult.h"

#include <QByteArray>

namespace findreport {

// One group per paragraph (groups apart by an empty line), one path a line.
QByteArray text(const FinderResult& result);

// One line per unreadable file, "corvane-find: PATH: reason", for standard error.
QByteArray unreadableLines(const FinderResult& result);

QByteArray json(const FinderResult& result);

// A header row, then one row per file of every group (group numbered from 1)
// and one per unreadable file (empty group, with its reason). RFC 4180 quoting.
QByteArray csv(const FinderResult& result);

} // namespace findreport
