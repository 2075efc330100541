#pragma once
// The real desktop: Qt's folder dialog, Corvane's positioned message box,
// the freedesktop.org trash and the default browser.

#include "shell/Desktop.h"

class SystemDesktop : public Desktop {
public:
    QString browseForFolder(
        QWidget* owner, const QString& title, const QString& startFolder) override;
    QString browseForSearchFolder(QWidget* owner, const QString& title, const QString& startFolder,
        SearchChoices& choices) override;
    int messageBox(QWidget* owner, const QString& text, const QString& title, int style, int x,
        int y) override;
    bool moveToTrash(const QString& path, QString* error) override;
    bool openUrl(const QUrl& url) override;
};
