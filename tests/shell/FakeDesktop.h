#pragma once
// A scripted desktop for Form1 tests: folder choices are taken from a queue,
// message boxes are recorded instead of shown, and the trash can be told to fail.

#include "shell/Desktop.h"

#include <QFile>
#include <QList>
#include <QStringList>
#include <functional>

struct ShownMessage {
    QString text;
    QString title;
    int style = 0;
    int x = 0;
    int y = 0;
};

class FakeDesktop : public Desktop {
public:
    QStringList folderAnswers; // taken front first; "" means cancel
    QList<ShownMessage> messages;
    QList<QUrl> openedUrls;
    QStringList trashed;
    QString trashFailure; // non-empty: trash fails with this reason
    std::function<void()> onMessage; // runs while a box would be on show
    std::function<void()> onPicker; // runs while the folder picker would be open
    int pickerCalls = 0;
    QString lastPickerStart;

    QString browseForFolder(QWidget*, const QString&, const QString& startFolder) override
    {
        ++pickerCalls;
        lastPickerStart = startFolder;
        if (onPicker)
            onPicker();
        return folderAnswers.isEmpty() ? QString() : folderAnswers.takeFirst();
    }

    int messageBox(
        QWidget*, const QString& text, const QString& title, int style, int x, int y) override
    {
        messages.append({text, title, style, x, y});
        if (onMessage)
            onMessage();
        return 1;
    }

    bool moveToTrash(const QString& path, QString* error) override
    {
        if (!trashFailure.isEmpty()) {
            if (error)
                *error = trashFailure;
            return false;
        }
        trashed << path;
        return QFile::remove(path);
    }

    bool openUrl(const QUrl& url) override
    {
        openedUrls << url;
        return true;
    }
};
