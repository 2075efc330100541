// libFuzzer target: the neighbour search's HiddenContent reader (does a PNG,
// TIFF or JPEG 2000 file hold more than its first 8-bit picture?), which sees
// every converted candidate file. Whether a BMP, JPEG or GIF is whole is the
// decoding library's reader's job (FuzzBmpJpegGifHeaders).

#include "search/HiddenContent.h"

#include <QBuffer>
#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer file(&bytes);
    file.open(QIODevice::ReadOnly);
    if (HiddenContent::present(file) && HiddenContent::digest(file).isEmpty()) {
        fprintf(stderr, "no digest for a readable buffer\n");
        abort();
    }
    return 0;
}
