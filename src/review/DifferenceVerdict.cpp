#include "review/DifferenceVerdict.h"

#include <cmath>
#include <cstdlib>

namespace review {

namespace {

// How the copy's size compares with the best copy's; empty when the same.
QString sizeWords(const PictureFacts& copy, const PictureFacts& best)
{
    if (copy.width == best.width && copy.height == best.height)
        return QString();
    const auto resized = [&copy] {
        return QStringLiteral("resized to %1 \u00d7 %2").arg(copy.width).arg(copy.height);
    };
    if (best.width == 0 || best.height == 0 || copy.width == 0)
        return resized();
    const double across = double(copy.width) / best.width;
    // Cropped or stretched: no one scale says it. A scaler rounds the
    // height to within a pixel of the width's scale.
    if (std::abs(double(copy.height) - best.height * across) > 1.0)
        return resized();
    struct Named {
        int numerator;
        int denominator;
        const char* words;
    };
    static const Named kNamed[] = {
        {1, 2, "half the width"},
        {1, 3, "a third of the width"},
        {1, 4, "a quarter of the width"},
        {1, 8, "an eighth of the width"},
        {2, 3, "two thirds of the width"},
        {3, 4, "three quarters of the width"},
        {2, 1, "twice the width"},
        {3, 1, "three times the width"},
        {4, 1, "four times the width"},
    };
    for (const Named& n : kNamed) {
        // A scaler rounds the new width either way.
        const double exact = double(best.width) * n.numerator / n.denominator;
        if (std::abs(double(copy.width) - exact) <= 1.0)
            return QLatin1String(n.words);
    }
    const int percent = int(std::lround(across * 100));
    if (percent == 100)
        return resized();
    return across < 1 ? QStringLiteral("%1% of the width").arg(percent)
                      : QStringLiteral("enlarged to %1% of the width").arg(percent);
}

} // namespace

QString differenceVerdict(const PictureFacts& copy, const PictureFacts& best)
{
    const QString saved = copy.type == best.type
        ? QStringLiteral("re-saved")
        : QStringLiteral("converted from %1").arg(best.type);
    const QString size = sizeWords(copy, best);
    if (size.isEmpty())
        return saved + QStringLiteral(", same size");
    return size + QStringLiteral(", ") + saved;
}

QString differenceFigures(const similar::PhotoDifference& d)
{
    auto signedLevels = [](double value) {
        return (value >= 0 ? QStringLiteral("+") : QString()) + QString::number(value, 'f', 1);
    };
    return QStringLiteral("SSIM %1, mean %2, largest %3, worst region %4 of %5 allowed, "
                          "tone %6/%7/%8 at %9 \u00d7 %10")
        .arg(d.ssim, 0, 'f', 3)
        .arg(d.mean, 0, 'f', 1)
        .arg(d.max)
        .arg(d.local.value, 0, 'f', 1)
        .arg(d.local.limit, 0, 'f', 1)
        .arg(signedLevels(d.tone.mean[0]), signedLevels(d.tone.mean[1]),
            signedLevels(d.tone.mean[2]))
        .arg(d.comparedWidth)
        .arg(d.comparedHeight);
}

} // namespace review
