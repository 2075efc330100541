#pragma once
// The version test on the maker's home page: where the pages are, how the
// published version is read from the page and when it counts as newer.
// Pure functions, no network and no widgets.

#include <QByteArray>
#include <QString>
#include <QUrl>

class VersionCheck {
public:
    // Text that precedes the published version on the home page.
    static const QString& marker();

    // The maker's site without a trailing "/": CORVANE_SITE when set and not
    // empty, otherwise kMakerSite.
    static QString site();
    static QUrl versionPageUrl();
    static QUrl downloadPageUrl();

    // Up to four characters that follow the first marker after one separator
    // character. The page is read as Latin-1. Without a marker the characters
    // at the marker's length + 1 .. + 4 (1-based) are taken, as the program
    // always did: such text rarely starts with a number, so no window follows.
    static QString publishedVersionText(const QByteArray& page);

    // The number a text starts with: blanks, tabs and line feeds are skipped
    // anywhere, "." is the decimal point in every locale, reading stops at the
    // first character that cannot continue the number; no number gives 0.
    static double leadingNumber(const QString& text);

    // True when `published` reads as a greater decimal number than `running`
    // ("1.10" is 1.1, so "1.2" and "1.11" are newer, "1.10" and "1.05" are not).
    static bool isNewer(const QString& running, const QString& published);

    // Text of the update window's label for a published version.
    static QString labelText(const QString& published);
};
