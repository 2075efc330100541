#include "PhotoCollection.h"

#include "PictureBytes.h"
#include "finder/PictureReader.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>

#include <gtest/gtest.h>

#include <functional>

namespace photocollection {

namespace {

// Photos of nature from one package (sand, water, flowers, grass, storm
// clouds, wood), flat and dark illustrations from another.
QString sourceOf(const QString& photo)
{
    for (const QString& candidate : {QStringLiteral("/usr/share/backgrounds/mate/nature/%1.jpg"),
             QStringLiteral("/usr/share/backgrounds/%1.png"),
             QStringLiteral("/usr/share/backgrounds/%1.jpg")}) {
        if (QFile::exists(candidate.arg(photo)))
            return candidate.arg(photo);
    }
    return QStringLiteral("/usr/share/backgrounds/mate/nature/%1.jpg").arg(photo);
}

} // namespace

QStringList calibrationPhotos()
{
    return {QStringLiteral("Dune"), QStringLiteral("RainDrops"), QStringLiteral("YellowFlower"),
        QStringLiteral("Storm"), QStringLiteral("Wood"), QStringLiteral("desert"),
        QStringLiteral("the-mouse")};
}

QStringList checkPhotos()
{
    return {QStringLiteral("Blinds"), QStringLiteral("FreshFlower"), QStringLiteral("LadyBird")};
}

QStringList checkEditPhotos()
{
    return {QStringLiteral("Aqua"), QStringLiteral("GreenMeadow"), QStringLiteral("city"),
        QStringLiteral("goldfish")};
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

namespace {

using Convert = std::function<void(const QString&, const QString&, Role, const QStringList&)>;

// What saving does: chroma subsampling either way, a 16-bit round trip, a
// half-size JPEG as messengers send, a quarter size.
void addSavedCopies(const QString& photo, int w, int, const Convert& convert)
{
    Q_UNUSED(photo);
    convert(QStringLiteral("-420.jpg"), QStringLiteral("jpeg 4:2:0 quality 90"), Role::Copy,
        {QStringLiteral("-sampling-factor"), QStringLiteral("4:2:0"), QStringLiteral("-quality"),
            QStringLiteral("90")});
    convert(QStringLiteral("-444.jpg"), QStringLiteral("jpeg 4:4:4 quality 80"), Role::Copy,
        {QStringLiteral("-sampling-factor"), QStringLiteral("1x1"), QStringLiteral("-quality"),
            QStringLiteral("80")});
    convert(QStringLiteral("-16bit.png"), QStringLiteral("16-bit round trip"), Role::Copy,
        {QStringLiteral("-depth"), QStringLiteral("16")});
    convert(QStringLiteral("-messenger.jpg"), QStringLiteral("half size at quality 75"), Role::Copy,
        {QStringLiteral("-resize"), QStringLiteral("%1x").arg(w / 2), QStringLiteral("-quality"),
            QStringLiteral("75")});
    convert(QStringLiteral("-quarter.png"), QStringLiteral("resized to 1/4"), Role::Copy,
        {QStringLiteral("-resize"), QStringLiteral("25%")});
}

// Edits a user keeps on purpose or makes by hand: each must stay apart
// from its photo, whatever its size.
void addEdits(const QString& photo, const QStringList& photos, int w, int h, const Convert& convert)
{
    const Role apart = Role::Apart;
    const QString font
        = QStringLiteral("/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf");
    convert(QStringLiteral("-watermark.png"), QStringLiteral("text watermark"), Role::Edited,
        {QStringLiteral("-font"), font, QStringLiteral("-pointsize"), QString::number(h / 14),
            QStringLiteral("-fill"), QStringLiteral("rgba(255,255,255,0.55)"),
            QStringLiteral("-gravity"), QStringLiteral("southeast"), QStringLiteral("-annotate"),
            QStringLiteral("+12+8"), QStringLiteral("(c) Corvane")});
    convert(QStringLiteral("-signature.jpg"), QStringLiteral("small text, quality 90"),
        Role::Edited,
        {QStringLiteral("-font"), font, QStringLiteral("-pointsize"), QString::number(h / 28),
            QStringLiteral("-fill"), QStringLiteral("white"), QStringLiteral("-gravity"),
            QStringLiteral("northwest"), QStringLiteral("-annotate"), QStringLiteral("+10+10"),
            QStringLiteral("Photo 2026"), QStringLiteral("-quality"), QStringLiteral("90")});
    // A patch of another photo pasted in a corner, 5, 10 and 20 % of the width.
    const QString other = photos.at((photos.indexOf(photo) + 1) % photos.size());
    for (int percent : {5, 10, 20}) {
        const int side = w * percent / 100;
        convert(QStringLiteral("-pasted%1.png").arg(percent),
            QStringLiteral("patch of another photo, %1 %").arg(percent),
            percent < 20 ? Role::Edited : apart,
            {QStringLiteral("("), sourceOf(other), QStringLiteral("-resize"),
                QStringLiteral("%1x%1!").arg(side), QStringLiteral(")"),
                QStringLiteral("-geometry"),
                QStringLiteral("+%1+%2").arg(w - side - w / 20).arg(h / 20),
                QStringLiteral("-composite")});
    }
    // A grey patch painted over, and a part of the photo stamped over another.
    const int patch = w / 20;
    convert(QStringLiteral("-painted.png"), QStringLiteral("patch painted over, 5 %"), Role::Edited,
        {QStringLiteral("-fill"), QStringLiteral("rgb(120,118,110)"), QStringLiteral("-draw"),
            QStringLiteral("rectangle %1,%2 %3,%4")
                .arg(w / 3)
                .arg(h / 2)
                .arg(w / 3 + patch)
                .arg(h / 2 + patch)});
    convert(QStringLiteral("-cloned.png"), QStringLiteral("clone-stamped, 8 %"), Role::Edited,
        {QStringLiteral("("), QStringLiteral("+clone"), QStringLiteral("-crop"),
            QStringLiteral("%1x%1+%2+%3").arg(w * 8 / 100).arg(w / 8).arg(h / 8),
            QStringLiteral("+repage"), QStringLiteral(")"), QStringLiteral("-geometry"),
            QStringLiteral("+%1+%2").arg(w / 2).arg(h / 2), QStringLiteral("-composite")});
    // Tone over the whole picture.
    convert(QStringLiteral("-bright106.png"), QStringLiteral("brightness x1.06"), apart,
        {QStringLiteral("-evaluate"), QStringLiteral("multiply"), QStringLiteral("1.06")});
    convert(QStringLiteral("-warm.png"), QStringLiteral("warmer by 8 levels"), apart,
        {QStringLiteral("-channel"), QStringLiteral("R"), QStringLiteral("-evaluate"),
            QStringLiteral("add"), QStringLiteral("3.14%"), QStringLiteral("-channel"),
            QStringLiteral("B"), QStringLiteral("-evaluate"), QStringLiteral("subtract"),
            QStringLiteral("3.14%"), QStringLiteral("+channel")});
    convert(QStringLiteral("-contrast.png"), QStringLiteral("contrast raised"), apart,
        {QStringLiteral("-sigmoidal-contrast"), QStringLiteral("2x50%")});
    convert(QStringLiteral("-grey.png"), QStringLiteral("black and white"), apart,
        {QStringLiteral("-colorspace"), QStringLiteral("Gray"), QStringLiteral("-colorspace"),
            QStringLiteral("sRGB"), QStringLiteral("-type"), QStringLiteral("TrueColor")});
    // Framing: crops resized back to the photo's size, evenly and on one side.
    auto reframed = [&](const QString& suffix, const QString& kase, double left, double top,
                        double right, double bottom) {
        const int cw = w - int(w * left) - int(w * right);
        const int ch = h - int(h * top) - int(h * bottom);
        convert(suffix, kase, apart,
            {QStringLiteral("-crop"),
                QStringLiteral("%1x%2+%3+%4").arg(cw).arg(ch).arg(int(w * left)).arg(int(h * top)),
                QStringLiteral("+repage"), QStringLiteral("-resize"),
                QStringLiteral("%1x%2!").arg(w).arg(h)});
    };
    reframed(QStringLiteral("-crop2.png"), QStringLiteral("crop of 2 %, resized back"), 0.01, 0.01,
        0.01, 0.01);
    reframed(QStringLiteral("-cut15.png"), QStringLiteral("right side cut 1.5 %, resized back"), 0,
        0, 0.015, 0);
    reframed(QStringLiteral("-cut25.png"), QStringLiteral("top cut 2.5 %, resized back"), 0, 0.025,
        0, 0);
}

} // namespace

bool make(const QString& root, const QStringList& photos, Collection* collection, Variants variants)
{
    collection->root = root;
    for (const QString& photo : photos) {
        const QString source = sourceOf(photo);
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
        for (int quality : {60, 70, 85, 100})
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
        if (variants == Variants::Every) {
            addSavedCopies(photo, w, h, convert);
            addEdits(photo, photos, w, h, convert);
        }
        // The photo came first, as a camera's or a download's does: the
        // copies were made from it later (copies of one size tell their
        // source by their times alone).
        if (ok
            && !run(QStringLiteral("touch"),
                {QStringLiteral("-d"), QStringLiteral("40 days ago"), path(original)}))
            ok = false;
        if (!ok)
            return false;
    }
    return true;
}

std::optional<decoding::DecodedPicture> decodeFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    const decoding::Bytes view = picturebytes::bytesOf(bytes);
    decoding::DecodeOutcome outcome = finder::decodePicture(view, finder::detectType(view));
    if (outcome.status != decoding::DecodeStatus::Ok)
        return std::nullopt;
    return std::move(outcome.picture);
}

} // namespace photocollection
