#pragma once
// The review tests send files to the real trash, as the window does: GLib
// reads HOME and XDG_DATA_HOME once per process, so before main() starts
// this program points them (and the cache folder, where the whole-folder
// search keeps its fingerprints) at a scratch home of its own. No test
// touches the trash or the cache of the person who runs it.

#include <QString>
#include <QStringList>

namespace ScratchHome {

// The data folder GLib uses here; the home trash is its "Trash".
QString dataHome();
// The original paths that the trash records (info/*.trashinfo) name inside
// folder, sorted.
QStringList trashedFrom(const QString& folder);

} // namespace ScratchHome
