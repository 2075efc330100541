#include "handling/ImageInfoReport.h"

#include "converter/ConverterSwitches.h"
#include "handling/InformationWriter.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// The locale's long time without its time-zone field: the report shows the
// file's local wall-clock time, as the desktop's file manager does.
QString timeFormatWithoutZone(const QLocale& locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString result;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        result += c;
    }
    return result.trimmed();
}

} // namespace

ImageInfoReport::ImageInfoReport(const QLocale& locale)
    : m_locale(locale)
{
}

const QStringList& ImageInfoReport::Keywords()
{
    static const QStringList keywords = {QStringLiteral("Compression"), QStringLiteral("Image"),
        QStringLiteral("Print"), QStringLiteral("Color depth"), QStringLiteral("Number of")};
    return keywords;
}

ImageInfoReport::FileFacts ImageInfoReport::ReadFacts(const QString& path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists() || !info.isFile())
        return {};
    return {true, info.size(), info.lastModified()};
}

QString ImageInfoReport::FormatSize(qint64 bytes) const
{
    // Groups of three, whatever grouping the locale uses for other numbers.
    const QString digits = bytes > 0 ? QString::number(bytes) : QString();
    const QString separator = m_locale.groupSeparator();
    QString grouped;
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            grouped += separator;
        grouped += digits.at(i);
    }
    return grouped + QStringLiteral(" bytes");
}

QString ImageInfoReport::FormatDateTime(const QDateTime& when) const
{
    const QDateTime local = when.toLocalTime();
    const QString date = m_locale.toString(local.date(), QLocale::ShortFormat);
    const QTime time = local.time();
    if (time.hour() == 0 && time.minute() == 0 && time.second() == 0)
        return date;
    return date + QLatin1Char(' ') + m_locale.toString(time, timeFormatWithoutZone(m_locale));
}

QString ImageInfoReport::Header(const QString& folder, const QString& name1, const QString& name2,
    const FileFacts& left, const FileFacts& right) const
{
    const QString notAvailable = QLatin1String(kNotAvailable);
    const auto size
        = [&](const FileFacts& f) { return f.available ? FormatSize(f.size) : notAvailable; };
    const auto time = [&](const FileFacts& f) {
        return f.available && f.modified.isValid() ? FormatDateTime(f.modified) : notAvailable;
    };
    return QStringLiteral("File path = ") + VisibleName(folder) + kCrLf
        + QStringLiteral("File name 1 = ") + VisibleName(name1) + kCrLf
        + QStringLiteral("File name 2 = ") + VisibleName(name2) + kCrLf + kCrLf
        + QStringLiteral("File size 1 = ") + size(left) + kCrLf + QStringLiteral("File size 2 = ")
        + size(right) + kCrLf + kCrLf + QStringLiteral("File date/time 1 = ") + time(left) + kCrLf
        + QStringLiteral("File date/time 2 = ") + time(right) + kCrLf;
}

QString ImageInfoReport::VisibleName(const QString& name)
{
    QString visible = name;
    for (QChar& c : visible) {
        if (c.unicode() < 0x20)
            c = QChar(0x2400 + c.unicode());
        else if (c.unicode() == 0x7F)
            c = QChar(0x2421);
    }
    return visible;
}

QStringList ImageInfoReport::SelectLines(const QStringList& lines)
{
    QStringList selected;
    for (const QString& line : lines) {
        // The converter's name lines hold whatever words the file's name and
        // folder hold: they are never picked.
        if (line.startsWith(QLatin1String(ConverterContract::kFileNameKey))
            || line.startsWith(QLatin1String(ConverterContract::kFolderKey)))
            continue;
        for (const QString& keyword : Keywords()) {
            if (line.contains(keyword, Qt::CaseSensitive))
                selected += line;
        }
    }
    return selected;
}

QString ImageInfoReport::Build(const QString& folder, const QString& name1, const QString& name2,
    const FileFacts& left, const FileFacts& right,
    const std::optional<QStringList>& infoLines) const
{
    QString report = Header(folder, name1, name2, left, right);
    if (!infoLines) {
        report += kCrLf + QStringLiteral("Image information = ") + QLatin1String(kNotAvailable);
        return report;
    }
    for (const QString& line : SelectLines(*infoLines))
        report += kCrLf + line;
    return report;
}

QString ImageInfoReport::Make(const QString& folder, const QString& name1, const QString& name2,
    const Information& information) const
{
    const FileFacts left = ReadFacts(folder + name1);
    const FileFacts right = ReadFacts(folder + name2);
    const std::optional<QStringList> lines
        = information ? information(folder + name1) : std::nullopt;
    return Build(folder, name1, name2, left, right, lines);
}

QString ImageInfoReport::Make(const QString& folder, const QString& name1, const QString& name2,
    InformationWriter& converter) const
{
    return Make(
        folder, name1, name2, [&converter](const QString& imagePath) -> std::optional<QStringList> {
            if (!converter.writeInformation(imagePath))
                return std::nullopt;
            return ReadInfoFile(converter.infoFilePath());
        });
}

std::optional<QStringList> ImageInfoReport::ReadInfoFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return SplitLines(bytes);
}

QStringList ImageInfoReport::SplitLines(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        lines += text.mid(start, i - start);
        if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines += text.mid(start);
    return lines;
}
