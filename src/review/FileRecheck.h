#pragma once
// Is a file still the one the search examined? Before Corvane acts on a file
// of a duplicate group (or relies on the copy that stays), it looks at the
// path again without following links and compares what it finds with the
// identity the search recorded (files/FileIdentity.h).

#include "finder/FinderResult.h"

#include <QByteArray>
#include <QString>

// Empty when the file at path is the same plain file as when it was searched
// (device, inode, size, times, mode, owner, links); otherwise one short line
// saying what happened to it ("removed since the search", ...).
QString changeSinceSearch(const QByteArray& path, const FileIdentity& searched);

// Qt names files by text. A path whose bytes do not survive the round trip
// through text (not valid UTF-8) would be acted on under another name, so it
// is never acted on; this says whether a path is safe to hand to Qt.
bool survivesAsText(const QByteArray& path);
