#include "shell/StoredLayout.h"

#include <QFile>
#include <QFont>
#include <QStringList>

namespace {

QVariant parseValue(const QString& key, const QString& text)
{
    if (key.compare(QLatin1String("font"), Qt::CaseInsensitive) == 0) {
        const QStringList parts = text.split(QLatin1Char(','));
        QFont font(parts.value(0).trimmed());
        font.setPointSizeF(parts.value(1, QStringLiteral("8.25")).toDouble());
        font.setBold(
            parts.value(2).trimmed().compare(QLatin1String("bold"), Qt::CaseInsensitive) == 0);
        return font;
    }
    if (key.compare(QLatin1String("tx"), Qt::CaseInsensitive) == 0)
        return text;
    bool isNumber = false;
    const qlonglong number = text.toLongLong(&isNumber);
    if (!isNumber)
        return text;
    // Stored Booleans are 16-bit values with True as all bits set.
    if (key.compare(QLatin1String("enab"), Qt::CaseInsensitive) == 0
        || key.compare(QLatin1String("focusr"), Qt::CaseInsensitive) == 0)
        return number != 0;
    return number;
}

} // namespace

StoredLayout StoredLayout::parse(const QString& text)
{
    StoredLayout layout;
    QString control;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (QString line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            control = line.mid(1, line.size() - 2);
            layout.m_bags[control];
            continue;
        }
        const int equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0 || control.isEmpty())
            continue;
        const QString key = line.left(equals).trimmed();
        layout.m_bags[control].write(key, parseValue(key, line.mid(equals + 1)));
    }
    return layout;
}

StoredLayout StoredLayout::fromResource(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parse(QString::fromUtf8(file.readAll()));
}
