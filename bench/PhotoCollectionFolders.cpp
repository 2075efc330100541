// Writes a large photo collection made from a few real photos, for the
// memory row of scripts/bench-collection: COUNT files in folders of 100, of
// which half are different pictures (a crop of 35 to 90 % of one photo, in
// one of its eight turns and mirrors, 640 to 1600 px on its long side, JPEG
// at quality 80 to 94) and the rest their copies: a re-save at quality 70
// (a quarter), a half-size re-save (an eighth) and a byte copy (an eighth).
//
// Usage: PhotoCollectionFolders <folder of JPEG photos> <output folder> <count>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTransform>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

// A fixed stream of numbers per picture, so that the folder is the same on every machine.
std::uint64_t mix(std::uint64_t x)
{
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

int between(std::uint64_t& state, int low, int high)
{
    state = mix(state);
    return low + int(state % std::uint64_t(high - low + 1));
}

QImage turned(const QImage& photo, int turn)
{
    QImage picture = (turn & 4) ? photo.mirrored(true, false) : photo;
    if (turn & 3)
        picture = picture.transformed(QTransform().rotate(90.0 * (turn & 3)));
    return picture;
}

QString pathOf(const QString& root, int index, const char* suffix)
{
    return QStringLiteral("%1/%2/p%3%4.jpg")
        .arg(root)
        .arg(index / 100, 3, 10, QLatin1Char('0'))
        .arg(index, 5, 10, QLatin1Char('0'))
        .arg(QLatin1String(suffix));
}

// Picture `index` of the collection and, by its number, its copies.
bool writePicture(const std::vector<QImage>& photos, const QString& root, int index)
{
    std::uint64_t state = std::uint64_t(index) * 7919 + 17;
    const QImage& photo = photos[std::size_t(index) % photos.size()];
    const int turn = between(state, 0, 7);
    const int widthPercent = between(state, 35, 90);
    const int heightPercent = between(state, 35, 90);
    const int cropWidth = photo.width() * widthPercent / 100;
    const int cropHeight = photo.height() * heightPercent / 100;
    const int x = between(state, 0, photo.width() - cropWidth);
    const int y = between(state, 0, photo.height() - cropHeight);
    const int longSide = between(state, 640, 1600);
    const QImage crop = turned(photo.copy(x, y, cropWidth, cropHeight), turn);
    const QImage picture = crop.width() >= crop.height()
        ? crop.scaledToWidth(longSide, Qt::SmoothTransformation)
        : crop.scaledToHeight(longSide, Qt::SmoothTransformation);
    const QString path = pathOf(root, index, "");
    if (!picture.save(path, "JPEG", between(state, 80, 94)))
        return false;
    if (index % 2 == 0 && !picture.save(pathOf(root, index, "-resaved"), "JPEG", 70))
        return false;
    if (index % 4 == 1
        && !picture.scaled(picture.size() / 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                .save(pathOf(root, index, "-half"), "JPEG", 85))
        return false;
    if (index % 4 == 3 && !QFile::copy(path, pathOf(root, index, "-copy")))
        return false;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr,
            "usage: PhotoCollectionFolders <folder of JPEG photos> <output folder> <count>\n");
        return 2;
    }
    const QDir sources(QString::fromLocal8Bit(argv[1]));
    const QString root = QString::fromLocal8Bit(argv[2]);
    const int count = QString::fromLocal8Bit(argv[3]).toInt();
    std::vector<QImage> photos;
    for (const QString& name : sources.entryList({QStringLiteral("*.jpg")}, QDir::Files)) {
        QImage photo(sources.filePath(name));
        if (photo.isNull()) {
            std::fprintf(stderr, "could not read %s\n", qPrintable(sources.filePath(name)));
            return 1;
        }
        photos.push_back(photo.convertToFormat(QImage::Format_RGB32));
    }
    if (photos.empty() || count <= 0) {
        std::fprintf(stderr, "no photos in %s, or no count\n", argv[1]);
        return 1;
    }
    // Half the files are pictures of their own; every other one is a copy.
    const int pictures = count / 2;
    for (int folder = 0; folder * 100 < pictures; ++folder)
        QDir().mkpath(QStringLiteral("%1/%2").arg(root).arg(folder, 3, 10, QLatin1Char('0')));
    std::atomic<int> next{0};
    std::atomic<bool> failed{false};
    auto work = [&] {
        for (int index = next++; index < pictures && !failed; index = next++)
            if (!writePicture(photos, root, index))
                failed = true;
    };
    std::thread helper(work);
    work();
    helper.join();
    if (failed) {
        std::fprintf(stderr, "could not write a picture into %s\n", qPrintable(root));
        return 1;
    }
    return 0;
}
