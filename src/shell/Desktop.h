#pragma once
// What the desktop provides to Corvane's windows: the folder picker, the
// message box, the trash and the browser. Production uses SystemDesktop;
// tests hand Form1 a scripted fake.

#include <QString>
#include <QUrl>

struct SearchChoices;
class QWidget;

class Desktop {
public:
    virtual ~Desktop() = default;

    // The chosen folder without a trailing "/" (except "/" itself), or "" on cancel.
    virtual QString browseForFolder(
        QWidget* owner, const QString& title, const QString& startFolder)
        = 0;

    // The picker of the folder to search, with the search's two check boxes
    // showing *choices; an accepted choice writes them back. A desktop without
    // the boxes leaves choices as they are.
    virtual QString browseForSearchFolder(
        QWidget* owner, const QString& title, const QString& startFolder, SearchChoices& choices)
    {
        (void)choices;
        return browseForFolder(owner, title, startFolder);
    }

    // A modal box titled `title` whose horizontal centre is at x and top at y
    // (screen pixels), clamped to the desktop. Returns the button pressed.
    virtual int messageBox(
        QWidget* owner, const QString& text, const QString& title, int style, int x, int y)
        = 0;

    // Sends a file to the user's trash. On failure returns false and says why.
    virtual bool moveToTrash(const QString& path, QString* error) = 0;

    // Opens a web page in the default browser.
    virtual bool openUrl(const QUrl& url) = 0;
};
