#include "FuzzSupport.h"

#include "converter/BmpWriter.h"
#include "converter/HeaderProbe.h"
#include "converter/ImageDecoder.h"
#include "converter/ImageInfoReport.h"

#include <QBuffer>
#include <QImageReader>

#include <cstdio>
#include <cstdlib>

namespace {

// Bigger pictures are decoded but not written back, to keep the runs fast.
constexpr qint64 kRoundTripPixels = 4'000'000;

void quietMessages(QtMsgType, const QMessageLogContext&, const QString&) { }

} // namespace

void FuzzSupport::initialise()
{
    qInstallMessageHandler(quietMessages);
    ImageDecoder::prepare();
}

QByteArray FuzzSupport::bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

void FuzzSupport::decodeAndCheck(const QByteArray& bytes, ImageFormat::Type type)
{
    HeaderFacts facts = HeaderProbe::probe(bytes, type);
    // The converter refuses these before decoding.
    if ((type == ImageFormat::Tiff || type == ImageFormat::Bmp) && !facts.complete)
        return;
    QImage image;
    ImageDecoder::Status status;
    if (type == ImageFormat::Jp2 || type == ImageFormat::J2kCodestream) {
        status = ImageDecoder::decodeJpeg2000(bytes, type, &image, &facts);
    } else {
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        status = ImageDecoder::decodeWithQt(&buffer, type, &image);
    }
    if (status != ImageDecoder::Ok)
        return;
    if (image.isNull() || !ImageDecoder::withinBudget(image.width(), image.height())) {
        fprintf(stderr, "decoder reported success without a picture within the budget\n");
        abort();
    }
    if (qint64(image.width()) * image.height() <= kRoundTripPixels) {
        ImageInfoReport::countUniqueColors(image);
        checkBitmapRoundTrip(image);
    }
}

void FuzzSupport::checkBitmapRoundTrip(const QImage& image)
{
    QByteArray bitmap;
    QBuffer out(&bitmap);
    out.open(QIODevice::WriteOnly);
    if (!BmpWriter::write(image, &out)) {
        fprintf(stderr, "bitmap writer refused a decoded picture\n");
        abort();
    }
    out.close();
    QBuffer in(&bitmap);
    in.open(QIODevice::ReadOnly);
    QImageReader reader(&in, "bmp");
    QImage back;
    if (!reader.read(&back)) {
        fprintf(stderr, "bitmap of a %dx%d picture does not read back: %s\n", image.width(),
            image.height(), qPrintable(reader.errorString()));
        abort();
    }
    const QImage expected = image.convertToFormat(QImage::Format_ARGB32);
    const QImage actual = back.convertToFormat(QImage::Format_ARGB32);
    if (actual.size() != expected.size()) {
        fprintf(stderr, "bitmap size differs from the picture's\n");
        abort();
    }
    for (int y = 0; y < expected.height(); ++y) {
        for (int x = 0; x < expected.width(); ++x) {
            if (expected.pixel(x, y) != actual.pixel(x, y)) {
                fprintf(stderr, "bitmap pixel %d,%d of a %dx%d picture (format %d): %08x != %08x\n",
                    x, y, image.width(), image.height(), int(image.format()), expected.pixel(x, y),
                    actual.pixel(x, y));
                abort();
            }
        }
    }
}
