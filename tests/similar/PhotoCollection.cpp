#include "PhotoCollection.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>

#include <gtest/gtest.h>

namespace photocollection {

namespace {

const QString kPhotos = QStringLiteral("/usr/share/backgrounds/mate/nature/");

} // namespace

QStringList calibrationPhotos()
{
    return {QStringLiteral("Dune"), QStringLiteral("RainDrops"), QStringLiteral("YellowFlower")};
}

QStringList checkPhotos()
{
    return {QStringLiteral("Blinds"), QStringLiteral("FreshFlower"), QStringLiteral("LadyBird")};
}

bool run(const QString& program, const QStringList& arguments, QByteArray* output)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(10000))
        return false;
    process.closeWriteChannel();
    if (!process.waitForFinished(300000))
        return false;
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool make(const QString& root, const QStringList& photos, Collection* collection)
{
    collection->root = root;
    for (const QString& photo : photos) {
        const QString source = kPhotos + photo + QStringLiteral(".jpg");
        if (!QFile::exists(source)) {
            ADD_FAILURE() << "missing " << source.toStdString() << " (scripts/install-deps)";
            return false;
        }
        auto path = [&](const QString& name) { return root + '/' + name; };
        const QString original = photo + QStringLiteral(".png");
        if (!run(QStringLiteral("convert"),
                {source, QStringLiteral("-resize"), QStringLiteral("768x"), path(original)})) {
            ADD_FAILURE() << "convert failed on " << source.toStdString();
            return false;
        }
        const QImage image(path(original));
        const int w = image.width();
        const int h = image.height();
        collection->files.push_back({photo, original, QStringLiteral("original"), Role::Original});

        bool ok = true;
        auto make = [&](const QString& name, const QString& kase, Role role, const QString& tool,
                        const QStringList& arguments) {
            if (!ok)
                return;
            if (!run(tool, arguments)) {
                ADD_FAILURE() << tool.toStdString() << " failed for " << name.toStdString();
                ok = false;
                return;
            }
            collection->files.push_back({photo, name, kase, role});
        };
        auto convert = [&](const QString& suffix, const QString& kase, Role role,
                           const QStringList& operations) {
            const QString name = photo + suffix;
            make(name, kase, role, QStringLiteral("convert"),
                QStringList{path(original)} + operations + QStringList{path(name)});
        };
        auto crop = [&](double width, double height, double x, double y) {
            return QStringList{QStringLiteral("-crop"),
                QStringLiteral("%1x%2+%3+%4")
                    .arg(int(w * width))
                    .arg(int(h * height))
                    .arg(int(w * x))
                    .arg(int(h * y)),
                QStringLiteral("+repage")};
        };
        const Role copy = Role::Copy;
        const Role apart = Role::Apart;
        make(photo + QStringLiteral("-copy.png"), QStringLiteral("byte copy"), copy,
            QStringLiteral("cp"), {path(original), path(photo + QStringLiteral("-copy.png"))});
        for (int quality : {70, 85, 100})
            convert(QStringLiteral("-q%1.jpg").arg(quality),
                QStringLiteral("jpeg quality %1").arg(quality), copy,
                {QStringLiteral("-quality"), QString::number(quality)});
        convert(QStringLiteral("-half.png"), QStringLiteral("resized to 1/2"), copy,
            {QStringLiteral("-resize"), QStringLiteral("50%")});
        convert(QStringLiteral("-third.jpg"), QStringLiteral("resized to 1/3"), copy,
            {QStringLiteral("-resize"), QStringLiteral("%1x").arg(w / 3),
                QStringLiteral("-quality"), QStringLiteral("90")});
        convert(QStringLiteral("-eighth.png"), QStringLiteral("resized to 1/8"), copy,
            {QStringLiteral("-resize"), QStringLiteral("12.5%")});
        convert(QStringLiteral("-narrower.png"), QStringLiteral("one pixel narrower"), copy,
            {QStringLiteral("-resize"), QStringLiteral("%1x%2!").arg(w - 1).arg(h)});
        make(photo + QStringLiteral(".heic"), QStringLiteral("HEIC"), copy,
            QStringLiteral("heif-enc"),
            {QStringLiteral("-q"), QStringLiteral("60"), path(original), QStringLiteral("-o"),
                path(photo + QStringLiteral(".heic"))});
        make(photo + QStringLiteral(".avif"), QStringLiteral("AVIF"), copy,
            QStringLiteral("heif-enc"),
            {QStringLiteral("-A"), QStringLiteral("-q"), QStringLiteral("60"), path(original),
                QStringLiteral("-o"), path(photo + QStringLiteral(".avif"))});
        make(photo + QStringLiteral("-lossy.webp"), QStringLiteral("lossy WebP"), copy,
            QStringLiteral("cwebp"),
            {QStringLiteral("-quiet"), QStringLiteral("-q"), QStringLiteral("75"), path(original),
                QStringLiteral("-o"), path(photo + QStringLiteral("-lossy.webp"))});
        convert(QStringLiteral("-pixel.png"), QStringLiteral("one pixel changed"), copy,
            {QStringLiteral("-fill"), QStringLiteral("red"), QStringLiteral("-draw"),
                QStringLiteral("point %1,%2").arg(w / 2).arg(h / 2)});
        convert(QStringLiteral("-row.png"), QStringLiteral("one row changed"), copy,
            {QStringLiteral("-fill"), QStringLiteral("white"), QStringLiteral("-draw"),
                QStringLiteral("line 0,%1 %2,%1").arg(h / 3).arg(w - 1)});
        convert(QStringLiteral("-enlarged.png"), QStringLiteral("enlarged by half"),
            Role::Enlargement, {QStringLiteral("-resize"), QStringLiteral("150%")});

        convert(QStringLiteral("-crop95.png"), QStringLiteral("crop of 95 %"), apart,
            crop(0.95, 0.95, 0, 0));
        convert(QStringLiteral("-shift2.png"), QStringLiteral("crop shifted by 2 %"), apart,
            crop(0.95, 0.95, 0.02, 0.02));
        convert(QStringLiteral("-shift5.png"), QStringLiteral("crop shifted by 5 %"), apart,
            crop(0.95, 0.95, 0.05, 0.0));
        // Two crops 80 % of the width wide, 16 % apart: they share 80 % of their area.
        convert(QStringLiteral("-left.png"), QStringLiteral("overlapping crop, left"), apart,
            crop(0.8, 1.0, 0, 0));
        convert(QStringLiteral("-right.png"), QStringLiteral("overlapping crop, right"), apart,
            crop(0.8, 1.0, 0.16, 0));
        convert(QStringLiteral("-saturated.png"), QStringLiteral("saturation raised"), apart,
            {QStringLiteral("-modulate"), QStringLiteral("100,140,100")});
        convert(QStringLiteral("-hue.jpg"), QStringLiteral("hue turned"), apart,
            {QStringLiteral("-modulate"), QStringLiteral("100,100,92")});
        convert(QStringLiteral("-brighter.jpg"), QStringLiteral("exposure raised"), apart,
            {QStringLiteral("-evaluate"), QStringLiteral("multiply"), QStringLiteral("1.2")});
        convert(QStringLiteral("-darker.png"), QStringLiteral("exposure lowered"), apart,
            {QStringLiteral("-evaluate"), QStringLiteral("multiply"), QStringLiteral("0.85")});
        convert(QStringLiteral("-turned.png"), QStringLiteral("quarter turn without a tag"), apart,
            {QStringLiteral("-rotate"), QStringLiteral("90")});
        convert(QStringLiteral("-mirror.png"), QStringLiteral("mirrored"), apart,
            {QStringLiteral("-flop")});
        if (!ok)
            return false;
    }
    return true;
}

} // namespace photocollection
