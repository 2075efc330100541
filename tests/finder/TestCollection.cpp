#include "TestCollection.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace testcollection {

namespace {

// Deterministic noise, so that every picture is its own.
QImage noise(int width, int height, quint32 seed, QImage::Format format)
{
    QImage image(width, height, format);
    quint32 state = seed * 2654435761u + 1;
    auto next = [&] {
        state = state * 1664525u + 1013904223u;
        return state;
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (format == QImage::Format_RGBA64) {
                const quint32 a = next();
                const quint32 b = next();
                image.setPixelColor(
                    x, y, QColor::fromRgba64(quint16(a), quint16(a >> 16), quint16(b), 65535));
            } else {
                const quint32 n = next();
                const int alpha = format == QImage::Format_ARGB32 ? 40 + int(n >> 27) * 6 : 255;
                image.setPixel(
                    x, y, qRgba(int(n >> 24), int((n >> 16) & 255), int((n >> 8) & 255), alpha));
            }
        }
    }
    return image;
}

QString tool(const char* name)
{
    // The real ImageMagick where it is, not a wrapper in front of it.
    if (QByteArray(name) == "convert" && QFile::exists(QStringLiteral("/usr/bin/convert")))
        return QStringLiteral("/usr/bin/convert");
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

} // namespace

bool run(const QString& program, const QStringList& arguments, QByteArray* output,
    const QByteArray& input)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(10000))
        return false;
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(120000))
        return false;
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool copyTree(const QString& from, const QString& to)
{
    return run(QStringLiteral("cp"), {QStringLiteral("-a"), from, to});
}

bool make(const QString& rootPath, Collection* c)
{
    const QString convert = tool("convert");
    const QString jpegtran = tool("jpegtran");
    const QString wrjpgcom = tool("wrjpgcom");
    if (convert.isEmpty() || jpegtran.isEmpty() || wrjpgcom.isEmpty()) {
        ADD_FAILURE() << "the collection needs ImageMagick's convert, jpegtran and wrjpgcom "
                         "(scripts/install-deps installs them)";
        return false;
    }
    const QDir root(rootPath);
    auto at = [&](const char* name) { return root.filePath(QString::fromUtf8(name)); };
    bool ok = true;
    auto magick = [&](const QStringList& arguments) {
        if (!run(convert, arguments)) {
            ADD_FAILURE() << "convert " << arguments.join(QLatin1Char(' ')).toStdString();
            ok = false;
        }
    };
    auto save = [&](const QImage& image, const char* name, int quality = -1) {
        if (!image.save(at(name), nullptr, quality)) {
            ADD_FAILURE() << "cannot write " << name;
            ok = false;
        }
    };
    auto shell = [&](const QString& command) {
        if (!run(QStringLiteral("sh"), {QStringLiteral("-c"), command})) {
            ADD_FAILURE() << command.toStdString();
            ok = false;
        }
    };
    auto copy = [&](const char* from, const char* to) {
        if (!QFile::copy(at(from), at(to))) {
            ADD_FAILURE() << "cannot copy " << from << " to " << to;
            ok = false;
        }
    };
    root.mkpath(QStringLiteral("sub/deeper"));
    root.mkpath(QStringLiteral("odd"));
    root.mkpath(QStringLiteral(".hiddendir"));

    // 1. One photo in every form that keeps its pixels.
    magick({QStringLiteral("-seed"), QStringLiteral("7"), QStringLiteral("-size"),
        QStringLiteral("96x64"), QStringLiteral("plasma:fractal"),
        QStringLiteral("-sampling-factor"), QStringLiteral("2x2"), QStringLiteral("-quality"),
        QStringLiteral("88"), at("photo.jpg")});
    copy("photo.jpg", "photo-copy.jpg");
    magick({at("photo.jpg"), at("photo.png")}); // PNG of the JPEG's decoded pixels
    magick(
        {at("photo.jpg"), QStringLiteral("-quality"), QStringLiteral("10"), at("photo-fast.png")});
    magick({at("photo.jpg"), QStringLiteral("BMP3:") + at("photo.bmp")});
    magick({at("photo.jpg"), QStringLiteral("-compress"), QStringLiteral("none"), at("photo.tif")});
    // Metadata added and stripped without touching the compressed data.
    shell(QStringLiteral("'%1' -comment 'Edited by a photo manager' '%2' > '%3'")
              .arg(wrjpgcom, at("photo.jpg"), at("photo-comment.jpg")));
    shell(QStringLiteral("'%1' -copy none '%2' > '%3'")
              .arg(jpegtran, at("photo-comment.jpg"), at("photo-stripped.jpg")));
    copy("photo.jpg", "jpeg-named.png"); // the content decides the type
    copy("photo.jpg", "sub/photo.jpg");
    copy("photo.png", "sub/deeper/photo.png");
    c->groups.insert({"photo.jpg", "photo-copy.jpg", "photo.png", "photo-fast.png", "photo.bmp",
        "photo.tif", "photo-comment.jpg", "photo-stripped.jpg", "jpeg-named.png", "sub/photo.jpg",
        "sub/deeper/photo.png"});

    // Near misses of the photo.
    magick(
        {at("photo.jpg"), QStringLiteral("-quality"), QStringLiteral("95"), at("photo-q95.jpg")});
    QImage photo(at("photo.png"));
    photo = photo.convertToFormat(QImage::Format_ARGB32);
    QImage changed = photo;
    changed.setPixel(5, 7, changed.pixel(5, 7) ^ 0x00010000); // one step of red in one pixel
    save(changed, "photo-pixel.png");
    QImage wider(photo.width() + 1, photo.height(), QImage::Format_ARGB32);
    wider.fill(Qt::white);
    for (int y = 0; y < photo.height(); ++y)
        std::copy_n(reinterpret_cast<const QRgb*>(photo.constScanLine(y)), photo.width(),
            reinterpret_cast<QRgb*>(wider.scanLine(y)));
    save(wider, "photo-wider.png");
    c->nearMisses.insert({"photo-q95.jpg", "photo-pixel.png", "photo-wider.png"});

    // 2. Transparency: the same pixels at two compression levels, and one alpha step apart.
    const QImage alpha = noise(40, 30, 3, QImage::Format_ARGB32);
    save(alpha, "alpha.png");
    save(alpha, "alpha-fast.png", 100); // Qt: quality 100 is the lightest compression
    QImage alphaDiff = alpha;
    alphaDiff.setPixel(
        1, 1, (alphaDiff.pixel(1, 1) & 0x00FFFFFF) | ((qAlpha(alphaDiff.pixel(1, 1)) ^ 1u) << 24));
    save(alphaDiff, "alpha-diff.png");
    c->groups.insert({"alpha.png", "alpha-fast.png"});
    c->nearMisses.insert("alpha-diff.png");

    // 3. 16-bit samples at full depth: equal as PNG and TIFF; one low byte apart
    // or narrowed to 8 bits they are not the same picture.
    const QImage deep = noise(30, 20, 5, QImage::Format_RGBA64);
    save(deep, "deep16.png");
    magick({at("deep16.png"), QStringLiteral("-depth"), QStringLiteral("16"),
        QStringLiteral("-compress"), QStringLiteral("zip"), at("deep16.tif")});
    QImage deepLow = deep;
    QRgba64 sample = deepLow.pixelColor(2, 3).rgba64();
    sample.setGreen(quint16(sample.green() ^ 1));
    deepLow.setPixelColor(2, 3, QColor::fromRgba64(sample));
    save(deepLow, "deep16-lsb.png");
    magick({at("deep16.png"), QStringLiteral("-depth"), QStringLiteral("8"), at("deep8.png")});
    c->groups.insert({"deep16.png", "deep16.tif"});
    c->nearMisses.insert({"deep16-lsb.png", "deep8.png"});

    // A 16-bit picture whose samples are exactly 8-bit values times 257 is its 8-bit copy.
    const QImage eight = noise(24, 18, 9, QImage::Format_RGB32);
    save(eight, "wide8.png");
    save(eight.convertToFormat(QImage::Format_RGBA64), "wide16.png");
    c->groups.insert({"wide8.png", "wide16.png"});

    // 4. Palette and true colour with the same colours.
    magick({at("photo.jpg"), QStringLiteral("-resize"), QStringLiteral("50x40!"),
        QStringLiteral("-colors"), QStringLiteral("16"),
        QStringLiteral("PNG8:") + at("palette.png")});
    magick({at("palette.png"), QStringLiteral("PNG24:") + at("truecolour.png")});
    magick({at("palette.png"), at("palette.gif")});
    c->groups.insert({"palette.png", "truecolour.png", "palette.gif"});

    // 5. An animation: every frame counts.
    magick({QStringLiteral("-size"), QStringLiteral("40x30"), QStringLiteral("xc:red"),
        QStringLiteral("("), QStringLiteral("-size"), QStringLiteral("10x10"),
        QStringLiteral("xc:blue"), QStringLiteral("-repage"), QStringLiteral("+5+5"),
        QStringLiteral(")"), QStringLiteral("("), QStringLiteral("-size"), QStringLiteral("8x8"),
        QStringLiteral("xc:green"), QStringLiteral("-repage"), QStringLiteral("+20+10"),
        QStringLiteral(")"), QStringLiteral("-set"), QStringLiteral("dispose"),
        QStringLiteral("none"), QStringLiteral("-loop"), QStringLiteral("0"), at("anim.gif")});
    magick({at("anim.gif"), QStringLiteral("-coalesce"), QStringLiteral("-set"),
        QStringLiteral("comment"), QStringLiteral("coalesced"), at("anim-recoded.gif")});
    magick({at("anim.gif") + QStringLiteral("[0]"), at("anim-first.png")});
    magick({at("anim.gif") + QStringLiteral("[0-1]"), at("anim-2frames.gif")});
    c->groups.insert({"anim.gif", "anim-recoded.gif"});
    c->nearMisses.insert({"anim-first.png", "anim-2frames.gif"});

    // 6. Odd names, all copies of one small picture.
    save(noise(20, 20, 11, QImage::Format_RGB32), "odd/with blank.png");
    const QByteArray odd = QFile::encodeName(root.filePath(QStringLiteral("odd"))) + '/';
    PathSet oddGroup = {"odd/with blank.png"};
    for (const QByteArray& name :
        {QByteArray("quote'\"s.png"), QByteArray("-dash.png"), QByteArray("star*.png"),
            QByteArray("new\nline.png"), QByteArray("\xff\xfe-latin1.png")}) {
        QFile source(at("odd/with blank.png"));
        source.open(QIODevice::ReadOnly);
        const QByteArray bytes = source.readAll();
        // The name as raw bytes: a file name need not be text in any encoding.
        const QByteArray target = odd + name;
        const int fd = ::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd < 0 || ::write(fd, bytes.constData(), std::size_t(bytes.size())) != bytes.size()) {
            ADD_FAILURE() << "cannot write odd name";
            ok = false;
        }
        if (fd >= 0)
            ::close(fd);
        oddGroup.insert("odd/" + name);
    }
    c->groups.insert(oddGroup);

    // 7. A picture whose dimensions nothing else has: never decoded.
    save(noise(13, 7, 13, QImage::Format_RGB32), "lonely.png");
    c->lonely.insert("lonely.png");

    // 8. Files that cannot be read.
    QFile jpeg(at("photo.jpg"));
    jpeg.open(QIODevice::ReadOnly);
    const QByteArray jpegBytes = jpeg.readAll();
    auto write = [&](const char* name, const QByteArray& bytes) {
        QFile file(at(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            ADD_FAILURE() << "cannot write " << name;
            ok = false;
        }
    };
    write("broken.jpg", jpegBytes.left(jpegBytes.size() / 2));
    write("text.png", "not a picture at all\n");
    write("empty.gif", QByteArray());
    write("fake.avif",
        QByteArray("\0\0\0\x18"
                   "ftypavif\0\0\0\0avifmif1junkjunkjunk",
            36));
    c->unreadable.insert({"broken.jpg", "text.png", "empty.gif", "fake.avif"});

    // 9. What the search must not look at.
    copy("photo.jpg", ".hidden.jpg");
    copy("photo.jpg", ".hiddendir/photo.jpg");
    copy("photo.jpg", "photo.txt");
    if (symlink("photo.jpg", at("link.jpg").toLocal8Bit().constData()) != 0
        || symlink("sub", at("sublink").toLocal8Bit().constData()) != 0) {
        ADD_FAILURE() << "cannot make links";
        ok = false;
    }
    c->ignored.insert(
        {".hidden.jpg", ".hiddendir/photo.jpg", "photo.txt", "link.jpg", "sublink/photo.jpg"});

    int members = 0;
    for (const PathSet& group : c->groups)
        members += int(group.size());
    c->examined = members + int(c->nearMisses.size() + c->unreadable.size() + c->lonely.size());
    return ok;
}

} // namespace testcollection
