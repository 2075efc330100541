// libFuzzer target: the version test on the maker's home page. A page is
// whatever a server sends, so any bytes must give a version text of at most
// four characters from the page, a number that is never NaN, and an order
// that never calls two versions newer than each other.

#include <QByteArray>
#include <QString>

#include "CorvaneVersion.h"
#include "update/VersionCheck.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void check(bool condition, const char* what, const QString& text = QString())
{
    if (!condition) {
        fprintf(stderr, "version check: %s [%s]\n", what, qPrintable(text));
        abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray page(reinterpret_cast<const char*>(data), qsizetype(size));

    const QString published = VersionCheck::publishedVersionText(page);
    check(published.size() <= 4, "version text longer than four characters", published);
    check(
        QString::fromLatin1(page).contains(published), "version text not from the page", published);

    const QString text = QString::fromUtf8(page);
    const double value = VersionCheck::leadingNumber(text);
    check(!std::isnan(value), "number is NaN", text);
    check(!std::isnan(VersionCheck::leadingNumber(published)), "version is NaN", published);
    check(!VersionCheck::isNewer(published, published), "a version newer than itself", published);
    const QString running = QString::fromLatin1(kCorvaneVersion);
    check(!(VersionCheck::isNewer(running, published) && VersionCheck::isNewer(published, running)),
        "two versions newer than each other", published);

    // Any finite number written out in full reads back exactly.
    if (size >= sizeof(double)) {
        double number = 0;
        std::memcpy(&number, data, sizeof(number));
        if (std::isfinite(number)) {
            const QString written = QString::number(number, 'g', 17);
            check(VersionCheck::leadingNumber(written) == number, "number does not read back",
                written);
        }
    }
    return 0;
}
