// libFuzzer target: the one header reader of BMP, JPEG and GIF, which both
// searches run on every candidate file before Qt's readers see it and the
// converter's report reads its facts from. Whatever the bytes, a header that
// says ok names its type and a size that is not zero, only bytes of a type's
// own signature are whole of that type, and a JPEG's first scan lies within
// the bytes.

#include "decoding/BmpJpegGifHeaders.h"
#include "decoding/PictureDecoders.h"
#include "decoding/PictureType.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const decoding::Bytes bytes(data, size);
    for (const decoding::PictureHeader& header :
        {decoding::readBmpHeader(bytes), decoding::readJpegHeader(bytes),
            decoding::readGifHeader(bytes), decoding::readHeader(bytes)}) {
        if (header.ok
            && (header.width == 0 || header.height == 0
                || header.type == decoding::PictureType::Unknown)) {
            fprintf(stderr, "a header said ok without a type and a size\n");
            abort();
        }
    }
    // Every walk runs, whatever the signature says.
    (void)decoding::bmpComplete(bytes, size);
    (void)decoding::bmpComplete(bytes, size / 2);
    (void)decoding::jpegComplete(bytes);
    (void)decoding::gifComplete(bytes);
    (void)decoding::readBmpLayout(bytes);
    (void)decoding::readJpegLayout(bytes, decoding::JpegWalk::ToFrame);
    const decoding::JpegLayout jpeg
        = decoding::readJpegLayout(bytes, decoding::JpegWalk::ToFirstScan);
    if (jpeg.firstScanData > size) {
        fprintf(stderr, "a JPEG's first scan beyond its bytes\n");
        abort();
    }
    const decoding::JpegLayout scans
        = decoding::readJpegLayout(bytes, decoding::JpegWalk::AllScans);
    (void)decoding::jpegDataCanFill(scans);
    (void)decoding::jpegScansComplete(scans);
    std::uint64_t scanBytes = 0;
    for (const decoding::JpegScan& scan : scans.scans) {
        scanBytes += scan.dataBytes;
        for (int component : scan.components) {
            if (component < 0 || std::size_t(component) >= scans.frameComponents.size()) {
                fprintf(stderr, "a JPEG scan of a component the frame lacks\n");
                abort();
            }
        }
    }
    if (scanBytes > size || scans.firstScanData != jpeg.firstScanData) {
        fprintf(stderr, "a JPEG's scans beyond its bytes, or another first scan\n");
        abort();
    }
    const decoding::GifLayout gif = decoding::readGifLayout(bytes);
    (void)decoding::gifDataCanFill(gif);
    if (decoding::gifComplete(gif) && gif.frames.empty()) {
        fprintf(stderr, "a GIF without a picture taken as whole\n");
        abort();
    }
    for (const auto type :
        {decoding::PictureType::Bmp, decoding::PictureType::Jpeg, decoding::PictureType::Gif}) {
        if (decoding::isComplete(bytes, type) && decoding::detectType(bytes) != type) {
            fprintf(stderr, "content of another type taken as whole\n");
            abort();
        }
    }
    return 0;
}
