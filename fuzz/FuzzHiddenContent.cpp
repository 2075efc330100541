// libFuzzer target: the search's own readers of picture headers, which see
// every candidate file before a decoder does: ImageContent (is a BMP, JPEG or
// GIF whole?) and HiddenContent (does a PNG, TIFF or JPEG 2000 file hold more
// than its first 8-bit picture?). The first byte picks the kind.

#include "search/HiddenContent.h"
#include "search/ImageContent.h"

#include <QBuffer>
#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    static const ImageContent::Kind kinds[]
        = {ImageContent::Bmp, ImageContent::Jpeg, ImageContent::Gif, ImageContent::Unknown};
    const ImageContent::Kind kind = kinds[data[0] % 4];
    const bool complete = ImageContent::isComplete(bytes, kind);
    if (complete && ImageContent::sniff(bytes) != kind) {
        fprintf(stderr, "content of another kind taken as complete\n");
        abort();
    }

    QBuffer file(&bytes);
    file.open(QIODevice::ReadOnly);
    if (HiddenContent::present(file) && HiddenContent::digest(file).isEmpty()) {
        fprintf(stderr, "no digest for a readable buffer\n");
        abort();
    }
    return 0;
}
