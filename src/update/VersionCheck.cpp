#include "update/VersionCheck.h"

#include "update/UpdateSite.h"

#include <cstdlib>
#include <string>

const QString& VersionCheck::marker()
{
    static const QString text = QStringLiteral("Corvane ver");
    return text;
}

QString VersionCheck::site()
{
    QString value = qEnvironmentVariable("CORVANE_SITE");
    if (value.isEmpty())
        value = QString::fromLatin1(kMakerSite);
    while (value.endsWith(QLatin1Char('/')))
        value.chop(1);
    return value;
}

QUrl VersionCheck::versionPageUrl()
{
    return QUrl(site() + QLatin1String(kVersionPagePath));
}

QUrl VersionCheck::downloadPageUrl()
{
    return QUrl(site() + QLatin1String(kDownloadPagePath));
}

QString VersionCheck::publishedVersionText(const QByteArray& page)
{
    const QString text = QString::fromLatin1(page);
    const qsizetype found = text.indexOf(marker(), 0, Qt::CaseSensitive);
    // 1-based position of the marker, 0 when absent; the version starts one
    // separator character after the marker's end.
    const qsizetype position = found < 0 ? 0 : found + 1;
    const qsizetype start = position + marker().size();
    if (start >= text.size())
        return {};
    return text.mid(start, 4);
}

double VersionCheck::leadingNumber(const QString& text)
{
    // A small state machine over the characters; the digits are then handed
    // to strtod without a decimal point, so the C library's locale never
    // decides how "." is read.
    enum class Stage { Sign, Whole, Fraction, ExponentMark, ExponentSign, Exponent };
    Stage stage = Stage::Sign;
    bool negative = false;
    std::string whole;
    std::string fraction;
    bool exponentNegative = false;
    std::string exponent;

    for (const QChar c : text) {
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n'))
            continue;
        const char ch = c.unicode() < 128 ? char(c.unicode()) : '\0';
        const bool digit = ch >= '0' && ch <= '9';
        if (stage == Stage::Sign && (ch == '+' || ch == '-')) {
            negative = ch == '-';
            stage = Stage::Whole;
        } else if ((stage == Stage::Sign || stage == Stage::Whole) && digit) {
            whole += ch;
            stage = Stage::Whole;
        } else if ((stage == Stage::Sign || stage == Stage::Whole) && ch == '.') {
            stage = Stage::Fraction;
        } else if (stage == Stage::Fraction && digit) {
            fraction += ch;
        } else if ((stage == Stage::Whole || stage == Stage::Fraction)
            && (ch == 'e' || ch == 'E' || ch == 'd' || ch == 'D')
            && !(whole.empty() && fraction.empty())) {
            stage = Stage::ExponentMark;
        } else if (stage == Stage::ExponentMark && (ch == '+' || ch == '-')) {
            exponentNegative = ch == '-';
            stage = Stage::ExponentSign;
        } else if ((stage == Stage::ExponentMark || stage == Stage::ExponentSign
                       || stage == Stage::Exponent)
            && digit) {
            exponent += ch;
            stage = Stage::Exponent;
        } else {
            break;
        }
    }

    if (whole.empty() && fraction.empty())
        return 0.0;
    // The exponent is clamped so that an absurd one cannot overflow the
    // integer; strtod then decides between a finite value and infinity.
    long long shift = 0;
    for (const char d : exponent) {
        shift = shift * 10 + (d - '0');
        if (shift > 100000)
            break;
    }
    if (exponentNegative)
        shift = -shift;
    const std::string literal = (whole.empty() ? std::string("0") : whole) + fraction + "e"
        + std::to_string(shift - static_cast<long long>(fraction.size()));
    const double value = std::strtod(literal.c_str(), nullptr);
    return negative ? -value : value;
}

bool VersionCheck::isNewer(const QString& running, const QString& published)
{
    return leadingNumber(running) < leadingNumber(published);
}

QString VersionCheck::labelText(const QString& published)
{
    return QStringLiteral("Download\r\nCorvane ") + published;
}
