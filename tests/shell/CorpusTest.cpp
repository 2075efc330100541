// Form1 over a folder of bad input: real duplicate pairs in all six types next
// to empty, cut-off, mislabelled, oversized and unreadable files, odd names,
// animations and documents that only begin alike, and files that vanish or
// change while the search runs. The whole search is
// walked by moving the right copy of every pair into a second folder, so that
// nothing is lost and every byte can be checked afterwards.
#include "FakeDesktop.h"
#include "ShellTestSupport.h"

#include "controls/chameleonButton.h"
#include "handling/DuplicateAction.h"
#include "search/CandidateEntry.h"
#include "search/ComparisonRun.h"
#include "shell/Form1.h"

#include <QBuffer>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>

#include <map>
#include <set>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Deterministic noise, so that every group compresses to a size of its own.
QImage noise(int width, int height, quint32 seed, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(width, height, format);
    quint32 state = seed * 2654435761u + 1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const quint32 alpha = format == QImage::Format_ARGB32 ? 64 + (state >> 26) * 3 : 255;
            image.setPixel(
                x, y, qRgba(state >> 24, (state >> 16) & 255, (state >> 8) & 255, int(alpha)));
        }
    }
    return image;
}

QByteArray encode(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format))
        return QByteArray();
    return bytes;
}

// ImageMagick, fed a PNG on standard input: `convert png:- <options> <format>:-`.
QByteArray magick(const QByteArray& png, const QStringList& options, const QString& format)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("convert"));
    if (program.isEmpty())
        return QByteArray();
    QProcess process;
    QStringList arguments;
    if (!png.isEmpty())
        arguments << QStringLiteral("png:-");
    arguments << options << format + QStringLiteral(":-");
    process.start(program, arguments);
    if (!process.waitForStarted(5000))
        return QByteArray();
    process.write(png);
    process.closeWriteChannel();
    if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0)
        return QByteArray();
    return process.readAllStandardOutput();
}

// What a folder holds, by raw name: the bytes of each file, a tag for the rest.
using Snapshot = std::map<QByteArray, QByteArray>;

Snapshot snapshot(const QString& folder)
{
    Snapshot result;
    const QByteArray base = QFile::encodeName(folder) + '/';
    DIR* dir = opendir(base.constData());
    if (!dir)
        return result;
    while (const dirent* item = readdir(dir)) {
        const QByteArray name(item->d_name);
        if (name == "." || name == "..")
            continue;
        struct stat info;
        if (lstat((base + name).constData(), &info) != 0)
            continue;
        if (S_ISLNK(info.st_mode)) {
            char target[256] = {};
            result[name] = "<link to "
                + QByteArray(
                    target, int(readlink((base + name).constData(), target, sizeof(target) - 1)))
                + ">";
        } else if (S_ISDIR(info.st_mode)) {
            result[name] = "<folder>";
        } else if (S_ISFIFO(info.st_mode)) {
            result[name] = "<fifo>";
        } else if ((info.st_mode & 0777) == 0) {
            result[name] = "<mode 000, " + QByteArray::number(qint64(info.st_size)) + " bytes>";
        } else {
            QFile file(QFile::decodeName(base + name));
            const int fd = ::open((base + name).constData(), O_RDONLY);
            if (fd >= 0 && file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
                result[name] = file.readAll();
            else
                result[name] = "<unreadable>";
        }
    }
    closedir(dir);
    return result;
}

QString printable(const QByteArray& rawName)
{
    QString text;
    for (const char c : rawName) {
        const uchar u = uchar(c);
        if (u < 32 || u >= 127)
            text += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else
            text += QLatin1Char(c);
    }
    return text;
}

// A BMP header that claims `width` x `height` pixels of 24 bits over a few bytes.
QByteArray bmpBomb(int width, int height, int length)
{
    QByteArray bytes(length, '\0');
    uchar* p = reinterpret_cast<uchar*>(bytes.data());
    p[0] = 'B';
    p[1] = 'M';
    qToLittleEndian<quint32>(quint32(length), p + 2);
    qToLittleEndian<quint32>(54, p + 10);
    qToLittleEndian<quint32>(40, p + 14);
    qToLittleEndian<qint32>(width, p + 18);
    qToLittleEndian<qint32>(height, p + 22);
    qToLittleEndian<quint16>(1, p + 26);
    qToLittleEndian<quint16>(24, p + 28);
    return bytes;
}

// A PNG whose IHDR claims `width` x `height` and whose single IDAT holds one
// compressed row of zeros, padded with an ancillary chunk to `length` bytes.
QByteArray pngBomb(int width, int height, int length)
{
    auto chunk = [](const QByteArray& type, const QByteArray& data) {
        QByteArray out(4, '\0');
        qToBigEndian<quint32>(quint32(data.size()), reinterpret_cast<uchar*>(out.data()));
        out += type + data;
        // Real CRCs: only the size is a lie.
        quint32 crc = 0xffffffffu;
        for (const char c : type + data) {
            crc ^= uchar(c);
            for (int k = 0; k < 8; ++k)
                crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
        }
        QByteArray tail(4, '\0');
        qToBigEndian<quint32>(crc ^ 0xffffffffu, reinterpret_cast<uchar*>(tail.data()));
        return out + tail;
    };
    QByteArray header(13, '\0');
    uchar* h = reinterpret_cast<uchar*>(header.data());
    qToBigEndian<quint32>(quint32(width), h);
    qToBigEndian<quint32>(quint32(height), h + 4);
    h[8] = 8; // bit depth
    h[9] = 2; // RGB
    QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header);
    const QByteArray zlibEmpty = QByteArray::fromHex("789c030000000001");
    const QByteArray end = chunk("IDAT", zlibEmpty) + chunk("IEND", QByteArray());
    const int padding = length - int(png.size() + end.size()) - 12;
    if (padding > 0)
        png += chunk("tEXt", "Comment" + QByteArray(1, '\0') + QByteArray(padding - 8, 'x'));
    return png + end;
}

class CorpusTest : public TemporarySettingsTest {
protected:
    void SetUp() override
    {
        TemporarySettingsTest::SetUp();
        ASSERT_TRUE(m_pictures.isValid());
        ASSERT_TRUE(m_moved.isValid());
        m_window = std::make_unique<Form1>(&m_desktop, QStringLiteral(CORVANE_BIN_DIR));
        m_window->Form_Load();
    }

    void TearDown() override
    {
        // QTemporaryDir cannot remove what it cannot name or read.
        for (const QString& folder : {m_pictures.path(), m_moved.path()}) {
            const QByteArray base = QFile::encodeName(folder) + '/';
            for (const auto& [name, bytes] : snapshot(folder)) {
                ::chmod((base + name).constData(), 0644);
                if (QFile::encodeName(QFile::decodeName(name)) != name)
                    ::unlink((base + name).constData());
            }
        }
        TemporarySettingsTest::TearDown();
    }

    QByteArray rawPath(const QByteArray& name) const
    {
        return QFile::encodeName(m_pictures.path()) + '/' + name;
    }

    // Written through the POSIX API, so that any byte can be part of a name.
    void put(const QByteArray& name, const QByteArray& bytes)
    {
        const int fd = ::open(rawPath(name).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0) << printable(name).toStdString();
        ASSERT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
        ::close(fd);
    }

    void pair(const QByteArray& first, const QByteArray& second, const QByteArray& bytes)
    {
        ASSERT_FALSE(bytes.isEmpty()) << printable(first).toStdString();
        put(first, bytes);
        put(second, bytes);
        m_expected.insert(
            (QFile::decodeName(first) + QLatin1String(" + ") + QFile::decodeName(second))
                .toStdString());
    }

    // The candidate list as the search will build it: (size, raw name), sorted.
    std::vector<std::pair<QString, QByteArray>> listed() const
    {
        std::vector<std::pair<QString, QByteArray>> entries;
        for (const auto& [name, bytes] : snapshot(m_pictures.path())) {
            struct stat info;
            if (name.startsWith('.') || lstat(rawPath(name).constData(), &info) != 0
                || !S_ISREG(info.st_mode))
                continue;
            if (!CandidateEntry::isCandidateType(
                    CandidateEntry::imageType(QString::fromLatin1(name)))
                || QFile::encodeName(QFile::decodeName(name)) != name)
                continue;
            entries.emplace_back(
                CandidateEntry::makeEntry(CandidateEntry::makeSizeKey(info.st_size),
                    m_pictures.path() + QLatin1Char('/') + QFile::decodeName(name)),
                name);
        }
        std::sort(entries.begin(), entries.end());
        return entries;
    }

    QTemporaryDir m_pictures;
    QTemporaryDir m_moved;
    FakeDesktop m_desktop;
    std::unique_ptr<Form1> m_window;
    std::set<std::string> m_expected;
};

TEST_F(CorpusTest, OnlyRealPairsAreShownAndNoFileIsLostOrChanged)
{
    if (!QFile::exists(QStringLiteral(CORVANE_BIN_DIR "/i__view32.exe")))
        GTEST_SKIP() << "converter not built";
    const QByteArray probe = magick(encode(noise(2, 2, 1), "png"), {}, QStringLiteral("gif"));
    if (probe.isEmpty())
        GTEST_SKIP() << "ImageMagick's convert is needed to write GIF and CMYK files";

    // --- Real pairs (byte copies, so each pair is adjacent in the list) ---
    const QByteArray bmp = encode(noise(24, 20, 1), "bmp");
    pair("-dash 'q' 1.bmp", "-dash 'q' 2.bmp", bmp);
    const QByteArray jpg = encode(noise(40, 40, 2), "jpg");
    pair("\"dq\" a.jpg", "\"dq\" b.jpg", jpg);
    const QByteArray gifSource = encode(noise(36, 36, 3), "png");
    const QByteArray gif = magick(gifSource, {}, QStringLiteral("gif"));
    pair("st*r 1.gif", "st*r 2.gif", gif);
    const QByteArray png = encode(noise(30, 30, 4), "png");
    pair("nl\n1.png", "nl\n2.png", png);
    const QByteArray tif = encode(noise(26, 26, 5), "tif");
    pair("tif 1.tif", "tif 2.tif", tif);
    const QByteArray jp2 = magick(encode(noise(44, 44, 6), "png"), {}, QStringLiteral("jp2"));
    if (!jp2.isEmpty())
        pair("jp2 1.jp2", "jp2 2.jp2", jp2);
    const QByteArray tiny = encode(noise(1, 1, 7), "png");
    pair("one pixel 1.png", "one pixel 2.png", tiny);
    const QByteArray anim = magick(QByteArray(),
        {QStringLiteral("-delay"), QStringLiteral("20"), QStringLiteral("-size"),
            QStringLiteral("20x20"), QStringLiteral("gradient:red-blue"),
            QStringLiteral("gradient:green-yellow"), QStringLiteral("-loop"), QStringLiteral("0")},
        QStringLiteral("gif"));
    pair("anim 1.gif", "anim 2.gif", anim);
    // Two documents whose first pages agree.
    for (const char* last : {"1", "2"}) {
        put(QByteArray("pages ") + last + ".tif",
            magick(QByteArray(),
                {QStringLiteral("-size"), QStringLiteral("20x20"),
                    QStringLiteral("gradient:red-blue"),
                    *last == '1' ? QStringLiteral("gradient:green-yellow")
                                 : QStringLiteral("gradient:green-cyan")},
                QStringLiteral("tif")));
    }
    // Begins like the pair, goes on differently: never the same picture.
    put("anim 3.gif",
        magick(QByteArray(),
            {QStringLiteral("-delay"), QStringLiteral("20"), QStringLiteral("-size"),
                QStringLiteral("20x20"), QStringLiteral("gradient:red-blue"),
                QStringLiteral("gradient:green-cyan"), QStringLiteral("-loop"),
                QStringLiteral("0")},
            QStringLiteral("gif")));
    const QByteArray alpha = encode(noise(28, 28, 8, QImage::Format_ARGB32), "png");
    pair("alpha 1.png", "alpha 2.png", alpha);
    const QByteArray png16 = encode(noise(22, 22, 9).convertToFormat(QImage::Format_RGBX64), "png");
    pair("deep 1.png", "deep 2.png", png16);
    {
        // Sixteen bits a sample: one sample differs in its low byte only,
        // which an 8-bit bitmap of the picture cannot tell apart.
        QImage deeper = noise(22, 22, 9).convertToFormat(QImage::Format_RGBX64);
        QRgba64 sample = deeper.pixelColor(4, 4).rgba64();
        sample.setRed(sample.red() ^ 1);
        deeper.setPixelColor(4, 4, QColor::fromRgba64(sample));
        put("deep 3.png", encode(deeper, "png"));
    }
    const QByteArray tif16 = magick(encode(noise(18, 18, 10), "png"),
        {QStringLiteral("-depth"), QStringLiteral("16")}, QStringLiteral("tif"));
    pair("deep 1.tif", "deep 2.tif", tif16);
    const QByteArray cmykSource = encode(noise(34, 34, 11), "png");
    const QByteArray cmykJpg = magick(
        cmykSource, {QStringLiteral("-colorspace"), QStringLiteral("CMYK")}, QStringLiteral("jpg"));
    pair("cmyk 1.jpg", "cmyk 2.jpg", cmykJpg);
    const QByteArray cmykTif = magick(
        cmykSource, {QStringLiteral("-colorspace"), QStringLiteral("CMYK")}, QStringLiteral("tif"));
    pair("cmyk 1.tif", "cmyk 2.tif", cmykTif);
    // Vanishes and changes while the search runs (below): neither pair may be shown.
    const QByteArray vanish = encode(noise(60, 60, 12), "bmp");
    put("vanish 1.bmp", vanish);
    put("vanish 2.bmp", vanish);
    const QByteArray linked = encode(noise(50, 50, 15), "png");
    put("link 1.png", linked);
    put("link 2.png", linked);
    const QByteArray change = encode(noise(62, 62, 13), "bmp");
    put("change 0.bmp", encode(noise(62, 62, 14), "bmp"));
    put("change 1.bmp", change);
    put("change 2.bmp", change);
    // Names that cannot be read back as text are never listed, whatever they
    // hold; the closing message counts them.
    put("raw\xff\xfe 1.tif", tif);
    put("raw\xff\xfe 2.tif", tif);
    // Read by what their bytes are, whatever their names say: a third copy of
    // each of two pairs, under a name of another type.
    put("\"dq\" c.png", jpg);
    m_expected.insert("\"dq\" a.jpg + \"dq\" c.png");
    put("bmp inside.gif", bmp);
    m_expected.insert("-dash 'q' 1.bmp + bmp inside.gif");

    // --- Broken look-alikes, each within 200 bytes of a valid file ---
    for (const char* type : {"bmp", "jpg", "gif", "png", "jp2", "tif"})
        put(QByteArray("empty.") + type, QByteArray());
    // Each cut-off file comes twice: a reader that hands back what it got so
    // far would show the two as an identical pair.
    auto cut = [this](const char* type, const QByteArray& whole, int by) {
        put(QByteArray("cut.") + type, whole.left(whole.size() - by));
        put(QByteArray("cut 2.") + type, whole.left(whole.size() - by));
    };
    cut("bmp", bmp, 120);
    cut("jpg", jpg, 150);
    cut("png", png, 150);
    cut("gif", gif, 150);
    cut("tif", tif, 150);
    if (!jp2.isEmpty())
        cut("jp2", jp2, 150);
    // Only the end-of-image marker missing: every pixel is there, the file is still cut off.
    put("no end.jpg", cmykJpg.left(cmykJpg.size() - 2));
    // The converter reads by content too: a third copy of the PNG and TIFF
    // pairs under names of other types.
    put("png inside.jpg", png);
    m_expected.insert("nl\n1.png + png inside.jpg");
    put("tif inside.png", tif);
    m_expected.insert("tif 1.tif + tif inside.png");
    put("text.bmp",
        QByteArray("These are not the pixels you are looking for.\n")
            .repeated((jpg.size() - 40) / 46));
    put("bomb.bmp", bmpBomb(60000, 60000, int(bmp.size()) + 10));
    put("bomb.png", pngBomb(60000, 60000, int(png.size()) + 40));
    {
        // Whole files whose frame headers claim 60000 x 60000 pixels.
        QByteArray bomb = jpg;
        const qsizetype frame = bomb.indexOf("\xff\xc0");
        ASSERT_GT(frame, 0);
        qToBigEndian<quint16>(60000, bomb.data() + frame + 5);
        qToBigEndian<quint16>(60000, bomb.data() + frame + 7);
        put("bomb.jpg", bomb);
        bomb = gif;
        qToLittleEndian<quint16>(60000, bomb.data() + 6);
        qToLittleEndian<quint16>(60000, bomb.data() + 8);
        put("bomb.gif", bomb);
    }
    {
        // Same colours as the alpha pair, one pixel more transparent.
        QImage image = noise(28, 28, 8, QImage::Format_ARGB32);
        const QRgb p = image.pixel(3, 3);
        image.setPixel(3, 3, qRgba(qRed(p), qGreen(p), qBlue(p), qAlpha(p) / 2));
        put("alpha 3.png", encode(image, "png"));
    }
    // Unreadable: as root permissions do not bite, so only a non-root run gets
    // a mode-000 twin; a fifo and a folder with image names are there for all.
    const bool root = ::geteuid() == 0;
    if (!root) {
        put("locked 1.jpg", jpg);
        ASSERT_EQ(::chmod(rawPath("locked 1.jpg").constData(), 0), 0);
    }
    ASSERT_EQ(::mkfifo(rawPath("pipe.png").constData(), 0644), 0);
    ASSERT_EQ(::mkdir(rawPath("folder.jpg").constData(), 0755), 0);
    // A link to one copy of a pair and a hidden copy are never listed:
    // deleting through them would remove the only copy.
    ASSERT_EQ(::symlink("-dash 'q' 1.bmp", rawPath("link.bmp").constData()), 0);
    put(".hidden.bmp", bmp);

    // Every file that must not pair has to meet a valid neighbour within 200
    // bytes, or the dangerous pairs would never be decoded.
    const auto entries = listed();
    const std::set<QByteArray> mustNotPair = {"cut.bmp", "cut.jpg", "cut.png", "cut.gif", "cut.tif",
        "cut.jp2", "text.bmp", "bomb.bmp", "bomb.png", "alpha 3.png", "empty.png", "no end.jpg",
        "anim 3.gif", "deep 3.png", "bomb.jpg", "bomb.gif"};
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!mustNotPair.count(entries[i].second))
            continue;
        const int size
            = CandidateEntry::keyValue(CandidateEntry::splitEntry(entries[i].first).sizeKey);
        bool near = false;
        for (const size_t j : {i - 1, i + 1}) {
            if (j >= entries.size())
                continue;
            const int other
                = CandidateEntry::keyValue(CandidateEntry::splitEntry(entries[j].first).sizeKey);
            near = near || (std::abs(size - other) < 200 && !mustNotPair.count(entries[j].second));
        }
        EXPECT_TRUE(near) << printable(entries[i].second).toStdString()
                          << " has no valid neighbour within 200 bytes";
    }
    if (HasFailure()) {
        for (const auto& [entry, name] : entries)
            ADD_FAILURE() << printable(QFile::encodeName(entry)).toStdString();
        return;
    }

    const Snapshot before = snapshot(m_pictures.path());
    Snapshot expectedAfter = before;
    Snapshot expectedMoved;

    // During the run's event-loop turns: one file of a later pair vanishes,
    // another becomes a link to its twin, two cut-off files become fifos, and
    // a file that was just decoded as the second of a pair gets new pixels
    // before it becomes the first of the next pair.
    bool vanished = false;
    bool changed = false;
    QTimer turns;
    turns.setInterval(0);
    QObject::connect(&turns, &QTimer::timeout, [&] {
        ComparisonRun& run = m_window->run();
        if (!run.isRunning())
            return;
        if (!vanished) {
            vanished = true;
            ::unlink(rawPath("vanish 2.bmp").constData());
            expectedAfter.erase("vanish 2.bmp");
            // A copy replaced by a link to its twin: deleting the twin
            // through that pair would leave only a dangling link.
            ::unlink(rawPath("link 2.png").constData());
            ::symlink("link 1.png", rawPath("link 2.png").constData());
            expectedAfter["link 2.png"] = "<link to link 1.png>";
            // Listed as files, opened as fifos: a reader that waited for a
            // writer would hang the window.
            for (const QByteArray name : {"cut 2.gif", "cut 2.png"}) {
                ::unlink(rawPath(name).constData());
                ::mkfifo(rawPath(name).constData(), 0644);
                expectedAfter[name] = "<fifo>";
            }
        }
        const QString second
            = CandidateEntry::splitEntry(run.candidates().at(run.secondIndex())).path;
        if (!changed && second.endsWith(QLatin1String("/change 1.bmp"))) {
            changed = true;
            QImage image = noise(62, 62, 13);
            image.setPixel(0, 0, ~image.pixel(0, 0));
            const QByteArray bytes = encode(image, "bmp");
            put("change 1.bmp", bytes);
            expectedAfter["change 1.bmp"] = bytes;
        }
    });
    turns.start();

    m_window->cboOptions()->setCurrentIndex(2);
    emit m_window->cboOptions()->activated(2);
    m_desktop.folderAnswers << m_pictures.path();
    m_window->cmdCompare()->click();

    std::set<std::string> shown;
    int steps = 0;
    while (m_window->run().pairOnShow() && ++steps < 100) {
        const QString left = m_window->lblPic1()->text();
        const QString right = m_window->lblPic2()->text();
        EXPECT_TRUE(shown.insert((left + QLatin1String(" + ") + right).toStdString()).second)
            << "shown twice: " << left.toStdString();
        const QByteArray rightName = QFile::encodeName(right);
        expectedMoved[rightName] = expectedAfter[rightName];
        expectedAfter.erase(rightName);
        m_desktop.folderAnswers << m_moved.path();
        m_window->cmdDelete2()->click();
    }
    turns.stop();
    EXPECT_TRUE(vanished);
    EXPECT_TRUE(changed) << "the change pair was never examined";

    EXPECT_EQ(shown, m_expected);
    // Every broken file met a valid neighbour, so each was tried and failed;
    // so did the files that vanished or changed kind during the search.
    std::set<std::string> unreadable = {"bomb.bmp", "bomb.gif", "bomb.jpg", "bomb.png",
        "no end.jpg", "text.bmp", "vanish 2.bmp", "link 2.png"};
    for (const char* type : {"bmp", "jpg", "gif", "png", "jp2", "tif"}) {
        unreadable.insert(std::string("empty.") + type);
        if (std::string(type) != "jp2" || !jp2.isEmpty()) {
            unreadable.insert(std::string("cut.") + type);
            unreadable.insert(std::string("cut 2.") + type);
        }
    }
    if (!root)
        unreadable.insert("locked 1.jpg");
    std::set<std::string> notRead;
    for (const QString& path : m_window->run().unreadableFiles())
        notRead.insert(CandidateEntry::fileName(path).toStdString());
    EXPECT_EQ(notRead, unreadable);
    ASSERT_EQ(m_desktop.messages.size(), 1);
    EXPECT_EQ(m_desktop.messages.last().text.toStdString(),
        QStringLiteral("Compared %1 files.\r\nDeleted %2 duplicate(s).\r\n%3 files could not be "
                       "read.\r\n2 files were left out: their names are not valid UTF-8.")
            .arg(entries.size())
            .arg(m_expected.size())
            .arg(unreadable.size())
            .toStdString());
    EXPECT_TRUE(m_window->cmdCompare()->isVisible());

    const Snapshot after = snapshot(m_pictures.path());
    for (const auto& [name, bytes] : expectedAfter) {
        const auto found = after.find(name);
        if (found == after.end())
            ADD_FAILURE() << printable(name).toStdString() << " is gone";
        else
            EXPECT_TRUE(found->second == bytes) << printable(name).toStdString() << " changed";
    }
    for (const auto& [name, bytes] : after)
        EXPECT_TRUE(expectedAfter.count(name)) << printable(name).toStdString() << " appeared";
    EXPECT_TRUE(snapshot(m_moved.path()) == expectedMoved);
}

} // namespace

namespace {

// While a pair is on show, another program changes or removes one of its
// files; the user then deletes the right copy. Nothing may be deleted on the
// strength of a comparison that no longer holds.
TEST_F(CorpusTest, ACopyThatChangesWhileThePairIsOnShowIsNotDeleted)
{
    struct Row {
        const char* name;
        QByteArray touched; // the file that changes
        bool removed; // removed instead of given new pixels
    };
    const Row rows[] = {
        {"other copy gets new pixels", "a.bmp", false},
        {"other copy is removed", "a.bmp", true},
        {"copy to delete gets new pixels", "b.bmp", false},
    };
    m_window->cboOptions()->setCurrentIndex(1);
    emit m_window->cboOptions()->activated(1);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const QByteArray twin = encode(noise(16, 12, 21), "bmp");
        put("a.bmp", twin);
        put("b.bmp", twin);
        m_desktop.messages.clear();
        m_desktop.folderAnswers << m_pictures.path();
        m_window->cmdCompare()->click();
        ASSERT_TRUE(m_window->run().pairOnShow());

        QImage other = noise(16, 12, 21);
        other.setPixel(5, 5, ~other.pixel(5, 5));
        const QByteArray changed = encode(other, "bmp");
        if (row.removed)
            ::unlink(rawPath(row.touched).constData());
        else
            put(row.touched, changed);
        m_window->cmdDelete2()->click();

        ASSERT_EQ(m_desktop.messages.size(), 2);
        EXPECT_EQ(m_desktop.messages[0].text.toStdString(),
            DuplicateAction::changedPairText(m_pictures.path() + QStringLiteral("/b.bmp"))
                .toStdString());
        EXPECT_FALSE(m_window->run().pairOnShow()) << "the changed pair is not shown again";
        EXPECT_EQ(m_desktop.messages[1].text.toStdString(),
            std::string("Compared 2 files.\r\nFound no duplicates.")
                + (row.removed ? "\r\n1 file could not be read." : ""));
        const Snapshot after = snapshot(m_pictures.path());
        EXPECT_TRUE(after.count("b.bmp")) << "b.bmp was deleted";
        EXPECT_TRUE(after.count("a.bmp") != row.removed);
        ::unlink(rawPath("a.bmp").constData());
        ::unlink(rawPath("b.bmp").constData());
    }
}

} // namespace
