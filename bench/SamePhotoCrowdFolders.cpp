// Writes the folders the same-photo search's crowd row is measured on, once,
// into a cache folder (each made under a temporary name and renamed when
// whole): crowd500/ and crowd2000/, that many PNGs of one photo-like picture
// of 160 x 120, each with one pixel of its own changed by 48 levels of green.
// Their signatures all collide and every pair passes its proof, so a search
// that proved every pair would do work that grows with the square of the
// count (scripts/bench-photos times `corvane-find --similar` on both).
//
// Usage: SamePhotoCrowdFolders <cache folder>
#include "PhotoLike.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>

#include <cstdio>

namespace {

bool makeCrowd(const QString& folder, int count)
{
    const QImage base = photoLike(160, 120, 4242);
    for (int i = 0; i < count; ++i) {
        QImage picture = base;
        const int x = i % 160;
        const int y = i / 160 * 7 % 120;
        const QRgb pixel = picture.pixel(x, y);
        picture.setPixel(x, y, qRgb(qRed(pixel), qGreen(pixel) ^ 0x30, qBlue(pixel)));
        if (!picture.save(
                QStringLiteral("%1/crowd%2.png").arg(folder).arg(i, 4, 10, QLatin1Char('0'))))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: SamePhotoCrowdFolders <cache folder>\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    for (int count : {500, 2000}) {
        const QString folder = QStringLiteral("%1/crowd%2").arg(root).arg(count);
        if (QDir(folder).exists())
            continue;
        const QString partial = folder + QStringLiteral(".partial");
        QDir(partial).removeRecursively();
        if (!QDir().mkpath(partial) || !makeCrowd(partial, count)
            || !QDir().rename(partial, folder)) {
            std::fprintf(stderr, "could not write %s\n", qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
