#pragma once
#include <QString>

namespace TrashTestHome {
// The data folder the trash tests' GLib uses; the home trash is its "Trash".
QString dataHome();
} // namespace TrashTestHome
