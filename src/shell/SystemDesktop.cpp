#include "shell/SystemDesktop.h"

#include "handling/FileActions.h"
#include "shell/BrowseDirectorysOnly.h"
#include "shell/basMsgBoxEx.h"

#include <QDesktopServices>

QString SystemDesktop::browseForFolder(
    QWidget* owner, const QString& title, const QString& startFolder)
{
    return BrowseDirectorysOnly::BrowseForFolder(owner, title, startFolder);
}

QString SystemDesktop::browseForSearchFolder(
    QWidget* owner, const QString& title, const QString& startFolder, SearchChoices& choices)
{
    return BrowseDirectorysOnly::BrowseForFolder(owner, title, startFolder, &choices);
}

int SystemDesktop::messageBox(
    QWidget* owner, const QString& text, const QString& title, int style, int x, int y)
{
    return basMsgBoxEx::MsgBoxEx(owner, text, title, style, x, y);
}

bool SystemDesktop::moveToTrash(const QString& path, QString* error)
{
    return FileActions::RecycleFile(path, error);
}

bool SystemDesktop::openUrl(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}
