// The text report's form of a path: plain names as they are, every other name
// in $'...' that bash reads back as the very same bytes, with nothing in it
// that a terminal would act on or reorder.

#include "finder/PathText.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringDecoder>

#include <gtest/gtest.h>

namespace {

struct NameCase {
    const char* what;
    QByteArray name;
    bool plain;
};

QByteArray readBackByBash(const QByteArray& text)
{
    QProcess bash;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    environment.insert(QStringLiteral("LINE"), QString::fromLatin1(text.toBase64()));
    bash.setProcessEnvironment(environment);
    bash.start(QStringLiteral("bash"),
        {QStringLiteral("-c"),
            QStringLiteral(
                R"(line=$(printf '%s' "$LINE" | base64 -d); eval "p=$line"; printf '%s' "$p")")});
    bash.waitForFinished();
    return bash.readAllStandardOutput();
}

// Whether the text holds a character a terminal acts on or that changes the
// order or look of what follows.
bool holdsInvisible(const QByteArray& text)
{
    const QString decoded = QString::fromUtf8(text);
    for (const char32_t c : decoded.toUcs4()) {
        const QChar::Category category = QChar::category(c);
        if (category == QChar::Other_Control || category == QChar::Other_Format
            || category == QChar::Separator_Line || category == QChar::Separator_Paragraph)
            return true;
    }
    return false;
}

const NameCase kNames[] = {
    {"ascii", "/p/holiday 2024/IMG_0001.jpg", true},
    {"accents", "/p/\xC3\xA9t\xC3\xA9/caf\xC3\xA9.png", true},
    {"leading dash and star", "/p/-rf */*.jpg", true},
    {"inner blanks", "/p/a  b.jpg", true},
    {"newline", "/p/a\nb.jpg", false},
    {"tab", "/p/a\tb.jpg", false},
    {"escape byte", "/p/\x1B[31mred.jpg", false},
    {"delete", "/p/a\x7F.jpg", false},
    {"C1 control", "/p/a\xC2\x85.jpg", false},
    {"right-to-left override", "/p/photo\xE2\x80\xAEgpj.exe", false},
    {"left-to-right isolate", "/p/\xE2\x81\xA6x.jpg", false},
    {"right-to-left mark beside accents", "/p/caf\xC3\xA9\xE2\x80\x8F.jpg", false},
    {"zero-width joiner", "/p/a\xE2\x80\x8D.jpg", false},
    {"line separator", "/p/a\xE2\x80\xA8.jpg", false},
    {"byte order mark", "/p/\xEF\xBB\xBF.jpg", false},
    {"backslash", "/p/a\\nb.jpg", false},
    {"single quote", "/p/it's.jpg", false},
    {"double quote", "/p/\"x\".jpg", false},
    {"leading blank", " /p/a.jpg", false},
    {"trailing blank", "/p/a.jpg ", false},
    {"looks quoted", "$'x'", false},
    {"Latin-1 byte", "/p/caf\xE9.jpg", false},
    {"cut UTF-8", "/p/a\xE2\x80", false},
    {"overlong slash", "/p/\xC0\xAF.jpg", false},
    {"surrogate", "/p/\xED\xA0\x80.jpg", false},
    {"hex digit after escape",
        "/p/\xE9"
        "41.jpg",
        false},
};

TEST(PathTextTest, PlainNamesStayAndOthersReadBackExactlyWithNothingInvisible)
{
    for (const NameCase& c : kNames) {
        SCOPED_TRACE(c.what);
        const QByteArray text = pathtext::forText(c.name);
        if (c.plain) {
            EXPECT_EQ(text, c.name);
            continue;
        }
        ASSERT_TRUE(text.startsWith("$'") && text.endsWith('\'')) << text.toStdString();
        EXPECT_TRUE(pathtext::isUtf8(text)) << text.toStdString();
        EXPECT_FALSE(holdsInvisible(text)) << text.toStdString();
        EXPECT_EQ(readBackByBash(text), c.name) << text.toStdString();
    }
}

TEST(PathTextTest, PrintableCharactersStayReadableInsideTheQuotes)
{
    // Only what needs it is escaped: the accents around a quote stay letters.
    EXPECT_EQ(pathtext::forText("/p/caf\xC3\xA9 d'\xC3\xA9t\xC3\xA9.jpg"),
        QByteArray("$'/p/caf\xC3\xA9 d\\'\xC3\xA9t\xC3\xA9.jpg'"));
}

} // namespace
