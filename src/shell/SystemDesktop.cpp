#include "shell/SystemDesktop.h"

#include "shell/BrowseDirectorysOnly.h"
#include "shell/basMsgBoxEx.h"

#include <QDesktopServices>

QString SystemDesktop::browseForFolder(QWidget* owner, const QString& title, const QString& startFolder)
{
    return BrowseDirectorysOnly::BrowseForFolder(owner, title, startFolder);
}

int SystemDesktop::messageBox(QWidget* owner, const QString& text, const QString& title, int style,
                              int x, int y)
{
    return basMsgBoxEx::MsgBoxEx(owner, text, title, style, x, y);
}

bool SystemDesktop::moveToTrash(const QString& path, QString* error)
{
    Q_UNUSED(path);
    if (error)
        *error = QStringLiteral("The trash is not available.");
    return false;
}

bool SystemDesktop::openUrl(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}
