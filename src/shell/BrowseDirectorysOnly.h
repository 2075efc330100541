#pragma once
// The folder picker: Qt's own directory dialog (the same on every desktop),
// opened on a start folder, with a status line that shows the full path of
// the folder under the selection.

#include <QString>

struct SearchChoices;
class QWidget;
class QFileDialog;

namespace BrowseDirectorysOnly {

// The chosen folder without a trailing "/" (the root stays "/"), or "" when
// the user cancels or closes the dialog. A startFolder that is not an
// existing folder given by its full path opens at the user's home folder.
// With choices, the search's two check boxes sit under the status line,
// showing *choices; an accepted dialog writes them back.
QString BrowseForFolder(QWidget* owner, const QString& title, const QString& startFolder,
    SearchChoices* choices = nullptr);

// Removes the trailing "/" of a chosen path, keeping the root "/".
QString withoutTrailingSlash(const QString& path);

// The start folder of the last call.
QString BrowseStartFolder();

} // namespace BrowseDirectorysOnly
