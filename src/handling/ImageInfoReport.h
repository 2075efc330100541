#pragma once
// The text report on a duplicate pair shown in frmInfo: folder, both names,
// sizes and modification times, then the converter's lines on the left image
// that carry one of the keywords. Lines are joined with CR LF.
//
// The locale and the file facts come in from outside, so the text is exact
// in tests; ReadFacts and ReadInfoFile are the only parts that touch disk.

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class InformationWriter;

class ImageInfoReport {
public:
    struct FileFacts {
        bool available = false;
        qint64 size = 0;
        QDateTime modified;
    };

    // Returns the converter's information lines for an image, or nullopt when
    // the converter gave none.
    using Information = std::function<std::optional<QStringList>(const QString& imagePath)>;

    explicit ImageInfoReport(const QLocale& locale = QLocale());

    // The keywords that pick converter lines, in the order they are tested.
    static const QStringList& Keywords();

    static FileFacts ReadFacts(const QString& path);

    // "1,200,000 bytes" with the locale's group separator; 0 gives " bytes".
    QString FormatSize(qint64 bytes) const;
    // Short date and long time of the locale; the time is left out at midnight.
    QString FormatDateTime(const QDateTime& when) const;

    // Items up to the second date/time, ending with CR LF.
    QString Header(const QString& folder, const QString& name1, const QString& name2,
        const FileFacts& left, const FileFacts& right) const;

    // `name` with each control character (a newline above all) shown as its
    // visible symbol (U+2400..U+241F, U+2421), so that a name can never start
    // a line of the report.
    static QString VisibleName(const QString& name);

    // The lines that hold a keyword, in file order; a line is taken once for
    // every keyword it holds (case-sensitive). The converter's lines that
    // carry the file's name or folder are never taken.
    static QStringList SelectLines(const QStringList& lines);

    // The whole report; infoLines is nullopt when the converter said nothing.
    QString Build(const QString& folder, const QString& name1, const QString& name2,
        const FileFacts& left, const FileFacts& right,
        const std::optional<QStringList>& infoLines) const;

    // Reads the facts of folder + name1 and folder + name2 and asks
    // `information` about the left image.
    QString Make(const QString& folder, const QString& name1, const QString& name2,
        const Information& information) const;

    // The same with the real converter: runs its information mode on the left
    // image and reads only an info.txt written by this run.
    QString Make(const QString& folder, const QString& name1, const QString& name2,
        InformationWriter& converter) const;

    // info.txt as lines: UTF-8 when it is valid UTF-8, Latin-1 otherwise; CR LF,
    // LF and CR all end a line. nullopt when the file cannot be read.
    static std::optional<QStringList> ReadInfoFile(const QString& path);
    static QStringList SplitLines(const QByteArray& bytes);

    static constexpr char kNotAvailable[] = "not available";

private:
    QLocale m_locale;
};
