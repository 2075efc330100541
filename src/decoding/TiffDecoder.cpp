#include "decoding/TiffDecoder.h"

#include "decoding/DecoderSupport.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace decoding::tiff {
namespace {

// libtiff reads the file through these callbacks; the map callback hands it
// the bytes themselves, so uncompressed strips are read without a copy.
struct Source {
    Bytes file;
    toff_t position = 0;
    std::string error;
};

tsize_t readSource(thandle_t handle, tdata_t buffer, tsize_t count)
{
    auto* source = static_cast<Source*>(handle);
    if (count <= 0 || source->position >= source->file.size())
        return 0;
    const std::size_t n
        = std::min<std::size_t>(std::size_t(count), source->file.size() - source->position);
    std::memcpy(buffer, source->file.data() + source->position, n);
    source->position += n;
    return tsize_t(n);
}

tsize_t refuseWrite(thandle_t, tdata_t, tsize_t)
{
    return -1;
}

toff_t seekSource(thandle_t handle, toff_t offset, int whence)
{
    auto* source = static_cast<Source*>(handle);
    toff_t base = 0;
    if (whence == SEEK_CUR)
        base = source->position;
    else if (whence == SEEK_END)
        base = source->file.size();
    if (offset > ~toff_t(0) - base)
        return toff_t(-1);
    source->position = base + offset;
    return source->position;
}

int closeSource(thandle_t)
{
    return 0;
}

toff_t sourceSize(thandle_t handle)
{
    return static_cast<Source*>(handle)->file.size();
}

int mapSource(thandle_t handle, tdata_t* base, toff_t* size)
{
    auto* source = static_cast<Source*>(handle);
    // libtiff opened read-only never writes through the map.
    *base = const_cast<std::uint8_t*>(source->file.data());
    *size = source->file.size();
    return 1;
}

void unmapSource(thandle_t, tdata_t, toff_t) { }

int onError(TIFF*, void* user, const char*, const char* format, va_list arguments)
{
    auto* source = static_cast<Source*>(user);
    if (source->error.empty()) {
        char text[256];
        std::vsnprintf(text, sizeof text, format, arguments);
        source->error = text;
    }
    return 1; // handled: nothing on stderr
}

int onWarning(TIFF*, void*, const char*, const char*, va_list)
{
    return 1;
}

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

TiffHandle open(Source& source)
{
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options)
        return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(options, onError, &source);
    TIFFOpenOptionsSetWarningHandlerExtR(options, onWarning, &source);
    // No single allocation beyond a whole 16-bit RGBA picture within the
    // budget: a hostile header cannot make libtiff ask for more.
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, tmsize_t(kPixelBudget * 8));
    TIFF* tif = TIFFClientOpenExt("memory", "r", &source, readSource, refuseWrite, seekSource,
        closeSource, sourceSize, mapSource, unmapSource, options);
    TIFFOpenOptionsFree(options);
    return TiffHandle(tif);
}

// A reduced-resolution copy (a preview) is not a page of its own.
bool isPage(TIFF* tif)
{
    std::uint32_t subfileType = 0;
    return !TIFFGetField(tif, TIFFTAG_SUBFILETYPE, &subfileType)
        || (subfileType & FILETYPE_REDUCEDIMAGE) == 0;
}

// How the samples of one page are laid out and what they mean.
struct Layout {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t bits = 0;
    std::uint16_t samples = 0;
    std::uint16_t photometric = 0;
    bool separate = false;
    int colours = 0; // 1 (grey, palette), 3 (RGB) or 4 (CMYK inks)
    bool alpha = false;
    bool associated = false; // alpha premultiplied into the colours
    int extra = 0; // stored samples after the colours (and alpha) that are data
    ColourSpace colourSpace = ColourSpace::Rgb;
    SampleFormat sampleFormat = SampleFormat::Unsigned;
    bool direct = false; // read by this decoder; else by libtiff's RGBA reader
    // Set while reading when premultiplied colours could not be made straight
    // one for one (a colour above its alpha).
    mutable bool lossyUnmultiply = false;
    int outBytes = 1; // 1 or 2 bytes a sample in the picture
    // RGB for a palette page, 8-bit values unless palette16 (see readPalette()).
    std::vector<std::uint16_t> palette;
    bool palette16 = false;

    // Samples of one pixel in the picture: colours (RGB or CMYK), alpha, extras.
    int outSamples() const { return (colourSpace == ColourSpace::Cmyk ? 4 : 3) + 1 + extra; }
};

std::uint16_t field16(TIFF* tif, ttag_t tag, std::uint16_t fallback)
{
    std::uint16_t value = fallback;
    if (!TIFFGetFieldDefaulted(tif, tag, &value))
        return fallback;
    return value;
}

// For display, maps 16-bit colour map entries to 8 bits by their high byte,
// as libtiff's own reader and Qt's do; some writers store 8-bit values in
// the 16-bit table, and as libtiff's reader does, such a table is taken as it
// is. The search form keeps the entries exactly: a table of exact widenings
// (v * 257, what most writers store) gives 8-bit colours, any other gives
// its 16-bit values, so two maps that differ only in their low bytes are
// different pictures.
bool readPalette(TIFF* tif, Layout& layout, bool exact)
{
    std::uint16_t* red = nullptr;
    std::uint16_t* green = nullptr;
    std::uint16_t* blue = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue)
        return false;
    const std::size_t count = std::size_t(1) << layout.bits;
    const std::uint16_t* tables[3] = {red, green, blue};
    bool eightBitTable = true;
    bool widenedTable = true;
    for (std::size_t i = 0; i < count; ++i) {
        for (const std::uint16_t* table : tables) {
            eightBitTable = eightBitTable && table[i] <= 255;
            widenedTable = widenedTable && table[i] % 257 == 0;
        }
    }
    layout.palette16 = exact && !widenedTable;
    layout.palette.resize(count * 3);
    for (std::size_t i = 0; i < count; ++i) {
        for (int c = 0; c < 3; ++c) {
            const std::uint32_t v = tables[c][i];
            const std::uint32_t entry = exact ? (widenedTable ? v / 257 : v)
                : eightBitTable               ? v
                                              : v >> 8;
            layout.palette[i * 3 + std::size_t(c)] = std::uint16_t(entry);
        }
    }
    return true;
}

std::string notSupported(const std::string& what)
{
    return what + ": not supported";
}

// The colour interpretation as people know it, for reasons.
std::string photometricName(std::uint16_t photometric)
{
    switch (photometric) {
    case PHOTOMETRIC_SEPARATED:
        return "separated inks other than CMYK";
    case PHOTOMETRIC_MASK:
        return "transparency mask";
    case PHOTOMETRIC_YCBCR:
        return "YCbCr";
    case PHOTOMETRIC_CIELAB:
    case PHOTOMETRIC_ICCLAB:
    case PHOTOMETRIC_ITULAB:
        return "Lab";
    case PHOTOMETRIC_LOGL:
    case PHOTOMETRIC_LOGLUV:
        return "LogLuv";
    default:
        return "colour interpretation " + std::to_string(photometric);
    }
}

// How a search-form page's extra samples split into alpha and data: only
// the first extra sample, and only when declared as alpha, is alpha.
void splitExtraSamples(TIFF* tif, Layout& layout)
{
    const int extras = layout.samples - layout.colours;
    std::uint16_t extraCount = 0;
    std::uint16_t* extraTypes = nullptr;
    const bool declared
        = TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes) && extraTypes;
    const std::uint16_t first
        = declared && extraCount > 0 ? extraTypes[0] : EXTRASAMPLE_UNSPECIFIED;
    // Signed samples have no "opaque" value: their extra samples are all data.
    layout.alpha = layout.sampleFormat == SampleFormat::Unsigned
        && (first == EXTRASAMPLE_ASSOCALPHA || first == EXTRASAMPLE_UNASSALPHA);
    layout.associated = layout.alpha && first == EXTRASAMPLE_ASSOCALPHA;
    layout.extra = extras - (layout.alpha ? 1 : 0);
}

// Reads the page's layout. Without options.eightBit (the search form) a
// page this decoder cannot hold exactly is refused with a reason ending in
// "not supported"; for display, such pages go through libtiff's RGBA reader.
bool describe(TIFF* tif, const DecodeOptions& options, Layout& layout, std::string& why)
{
    const bool exact = !options.eightBit;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &layout.width)
        || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &layout.height) || layout.width == 0
        || layout.height == 0) {
        why = "TIFF page without a size";
        return false;
    }
    layout.bits = field16(tif, TIFFTAG_BITSPERSAMPLE, 1);
    layout.samples = field16(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    layout.separate
        = field16(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) == PLANARCONFIG_SEPARATE;
    const std::uint16_t format = field16(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &layout.photometric)) {
        why = "TIFF page without a colour interpretation";
        return false;
    }
    const std::uint16_t compression = field16(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    // A valid file in a compression this libtiff was built without is not
    // damaged: say what is missing.
    if (!TIFFIsCODECConfigured(compression)) {
        why = notSupported("TIFF compression " + std::to_string(compression));
        return false;
    }
    if (layout.photometric == PHOTOMETRIC_YCBCR && compression == COMPRESSION_JPEG) {
        // libjpeg turns the YCbCr into RGB itself.
        TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        layout.photometric = PHOTOMETRIC_RGB;
    }
    bool formatOk = format == SAMPLEFORMAT_UINT || format == SAMPLEFORMAT_VOID;
    if (exact) {
        if (format == SAMPLEFORMAT_IEEEFP || format == SAMPLEFORMAT_COMPLEXIEEEFP) {
            why = notSupported("TIFF with floating-point samples");
            return false;
        }
        if (format == SAMPLEFORMAT_INT) {
            layout.sampleFormat = SampleFormat::Signed;
            formatOk = true;
        } else if (!formatOk) {
            why = notSupported("TIFF sample format " + std::to_string(format));
            return false;
        }
    }

    switch (layout.photometric) {
    case PHOTOMETRIC_MINISBLACK:
    case PHOTOMETRIC_MINISWHITE:
        layout.colours = 1;
        break;
    case PHOTOMETRIC_PALETTE:
        layout.colours = 1;
        break;
    case PHOTOMETRIC_RGB:
        layout.colours = 3;
        break;
    case PHOTOMETRIC_SEPARATED:
        // Four inks read as stored in the search form; for display, libtiff's
        // RGBA reader converts them.
        if (exact && field16(tif, TIFFTAG_INKSET, INKSET_CMYK) == INKSET_CMYK
            && field16(tif, TIFFTAG_NUMBEROFINKS, 4) == 4) {
            layout.colours = 4;
            layout.colourSpace = ColourSpace::Cmyk;
        }
        break;
    default:
        layout.colours = 0;
        break;
    }
    const bool wholeBytes = layout.bits == 8 || layout.bits == 16;
    const bool bitsOk = layout.photometric == PHOTOMETRIC_PALETTE
        ? (layout.bits == 1 || layout.bits == 2 || layout.bits == 4 || layout.bits == 8)
        : layout.colours == 1 ? (layout.bits == 1 || layout.bits == 2 || layout.bits == 4
              || layout.bits == 8 || layout.bits == 16)
                              : wholeBytes;
    layout.direct = layout.colours > 0 && bitsOk && layout.samples >= layout.colours && formatOk;
    // Signed samples are kept as stored: whole bytes, and no palette or
    // inverted grey whose meaning would need their value.
    if (layout.sampleFormat == SampleFormat::Signed
        && (!wholeBytes || layout.photometric == PHOTOMETRIC_PALETTE
            || layout.photometric == PHOTOMETRIC_MINISWHITE))
        layout.direct = false;
    if (exact && !layout.direct) {
        if (layout.colours == 0)
            why = notSupported("TIFF in " + photometricName(layout.photometric));
        else if (layout.sampleFormat == SampleFormat::Signed)
            why = notSupported("TIFF with signed " + std::to_string(layout.bits) + "-bit samples");
        else
            why = notSupported("TIFF with " + std::to_string(layout.samples) + " samples of "
                + std::to_string(layout.bits) + " bits");
        return false;
    }
    if (layout.direct && layout.photometric == PHOTOMETRIC_PALETTE
        && !readPalette(tif, layout, exact)) {
        why = "TIFF palette page without a colour map";
        return false;
    }
    if (layout.direct && layout.samples > layout.colours) {
        if (exact) {
            splitExtraSamples(tif, layout);
        } else {
            // For display the first extra sample is the alpha channel, as
            // other readers take it; only premultiplied alpha is marked so.
            std::uint16_t extraCount = 0;
            std::uint16_t* extraTypes = nullptr;
            layout.alpha = true;
            if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes) && extraCount > 0
                && extraTypes)
                layout.associated = extraTypes[0] == EXTRASAMPLE_ASSOCALPHA;
        }
    }
    if (!layout.direct) {
        char message[1024] = "";
        if (!TIFFRGBAImageOK(tif, message)) {
            why = std::string("TIFF layout not read: ") + message;
            return false;
        }
    }
    layout.outBytes = layout.direct && ((layout.bits == 16 && exact) || layout.palette16) ? 2 : 1;
    return true;
}

// Reads sample `index` of a row whose samples are `bits` wide (1, 2, 4, 8
// or 16, packed from the most significant bit as TIFF stores them).
inline std::uint32_t sampleAt(const std::uint8_t* row, std::size_t index, int bits)
{
    switch (bits) {
    case 8:
        return row[index];
    case 16: {
        std::uint16_t v;
        std::memcpy(&v, row + index * 2, 2);
        return v;
    }
    default: {
        const std::size_t bit = index * std::size_t(bits);
        const int shift = 8 - bits - int(bit % 8);
        return (row[bit / 8] >> shift) & ((1u << bits) - 1);
    }
    }
}

// Converts `count` pixels of one stored row (or of each plane's row) into
// RGBA at `out`.
template <typename Out>
void convertRow(
    const Layout& layout, const std::uint8_t* const* planes, std::uint32_t count, Out* out)
{
    const int bits = layout.bits;
    const std::uint32_t inMax = (1u << bits) - 1;
    const std::uint32_t outMax = sizeof(Out) == 1 ? 255 : 65535;
    const std::size_t stride = layout.separate ? 1 : layout.samples;
    const int colourSlots = layout.colourSpace == ColourSpace::Cmyk ? 4 : 3;
    auto sample = [&](int s, std::uint32_t x) {
        return layout.separate
            ? sampleAt(planes[s], x, bits)
            : sampleAt(planes[0], std::size_t(x) * stride + std::size_t(s), bits);
    };
    // Stored value to output value: exact for 1-, 2-, 4- and 8-bit input;
    // 16-bit input to 8 bits is v / 257 rounded.
    auto scale = [&](std::uint32_t v) -> std::uint32_t {
        if (inMax == outMax)
            return v;
        if (bits == 16)
            return (v * 255 + 32895) >> 16;
        return v * (outMax / inMax);
    };
    const bool invert = layout.photometric == PHOTOMETRIC_MINISWHITE;
    const bool palette = layout.photometric == PHOTOMETRIC_PALETTE;
    for (std::uint32_t x = 0; x < count; ++x) {
        std::uint32_t r, g, b;
        if (palette) {
            const std::uint16_t* entry = &layout.palette[std::size_t(sample(0, x)) * 3];
            r = entry[0];
            g = entry[1];
            b = entry[2];
        } else if (colourSlots == 4) {
            // CMYK inks as stored; the fourth (black) goes out below.
            r = sample(0, x);
            g = sample(1, x);
            b = sample(2, x);
        } else if (layout.colours == 1) {
            std::uint32_t v = sample(0, x);
            if (invert)
                v = inMax - v;
            r = g = b = scale(v);
        } else {
            r = scale(sample(0, x));
            g = scale(sample(1, x));
            b = scale(sample(2, x));
        }
        std::uint32_t a = outMax;
        if (layout.alpha) {
            a = scale(sample(layout.colours, x));
            if (layout.associated) {
                // Back to straight alpha, rounded: one straight value for
                // each stored one, except colours above their alpha (damaged
                // data, clamped) and colour under no alpha (made 0), which
                // the search form refuses.
                auto unmultiply = [&](std::uint32_t c) {
                    if (c > a)
                        layout.lossyUnmultiply = true;
                    if (a == 0)
                        return std::uint32_t(0);
                    return std::min<std::uint32_t>(outMax, (c * outMax + a / 2) / a);
                };
                r = unmultiply(r);
                g = unmultiply(g);
                b = unmultiply(b);
            }
        }
        out[0] = Out(r);
        out[1] = Out(g);
        out[2] = Out(b);
        if (colourSlots == 4)
            out[3] = Out(sample(3, x));
        out[colourSlots] = Out(a);
        // Extra samples that are data, as stored.
        const int firstExtra = layout.colours + (layout.alpha ? 1 : 0);
        for (int e = 0; e < layout.extra; ++e)
            out[colourSlots + 1 + e] = Out(scale(sample(firstExtra + e, x)));
        out += colourSlots + 1 + layout.extra;
    }
}

// The common 8-bit forms, contiguous and straight: RGB with or without
// alpha, and grey. Returns false for any other form.
bool convertCommonRow(
    const Layout& layout, const std::uint8_t* in, std::uint32_t count, std::uint8_t* out)
{
    if (layout.separate || layout.bits != 8 || layout.outBytes != 1 || layout.associated
        || layout.extra != 0 || layout.colourSpace != ColourSpace::Rgb)
        return false;
    const std::size_t step = layout.samples;
    if (layout.photometric == PHOTOMETRIC_RGB) {
        if (layout.alpha) {
            for (std::uint32_t x = 0; x < count; ++x, in += step, out += 4) {
                out[0] = in[0];
                out[1] = in[1];
                out[2] = in[2];
                out[3] = in[3];
            }
        } else {
            for (std::uint32_t x = 0; x < count; ++x, in += step, out += 4) {
                out[0] = in[0];
                out[1] = in[1];
                out[2] = in[2];
                out[3] = 255;
            }
        }
        return true;
    }
    if (layout.photometric == PHOTOMETRIC_MINISBLACK && !layout.alpha) {
        for (std::uint32_t x = 0; x < count; ++x, in += step, out += 4) {
            out[0] = out[1] = out[2] = in[0];
            out[3] = 255;
        }
        return true;
    }
    return false;
}

void convertRowInto(
    const Layout& layout, const std::uint8_t* const* planes, std::uint32_t count, std::uint8_t* out)
{
    if (convertCommonRow(layout, planes[0], count, out))
        return;
    if (layout.outBytes == 2)
        convertRow(layout, planes, count, reinterpret_cast<std::uint16_t*>(out));
    else
        convertRow(layout, planes, count, out);
}

// Whether the stored samples already are the picture's RGBA form, so that
// strips can be decoded straight into it.
bool storedAsPicture(const Layout& layout)
{
    return !layout.separate && layout.photometric == PHOTOMETRIC_RGB && layout.samples == 4
        && layout.alpha && !layout.associated && layout.extra == 0
        && layout.bits == layout.outBytes * 8;
}

// An uncompressed strip whose bytes need no reordering is read where it
// lies in the file; nullptr when it must go through libtiff.
const std::uint8_t* storedStrip(
    TIFF* tif, const Source& source, const Layout& layout, std::uint32_t strip, std::size_t want)
{
    if (field16(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE) != COMPRESSION_NONE
        || field16(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB) != FILLORDER_MSB2LSB
        || (layout.bits == 16 && TIFFIsByteSwapped(tif)))
        return nullptr;
    const std::uint64_t offset = TIFFGetStrileOffset(tif, strip);
    const std::uint64_t length = TIFFGetStrileByteCount(tif, strip);
    if (length < want || offset > source.file.size() || source.file.size() - offset < want)
        return nullptr; // libtiff reports the short strip
    return source.file.data() + offset;
}

bool readStrips(TIFF* tif, const Source& source, const Layout& layout, std::uint8_t* frame,
    std::size_t frameRow)
{
    std::uint32_t rowsPerStrip = layout.height;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    rowsPerStrip = std::clamp<std::uint32_t>(rowsPerStrip, 1, layout.height);
    const std::uint32_t stripsPerPlane = (layout.height + rowsPerStrip - 1) / rowsPerStrip;
    const int planes = layout.separate ? layout.samples : 1;
    const std::size_t storedRow = layout.separate
        ? (std::size_t(layout.width) * layout.bits + 7) / 8
        : (std::size_t(layout.width) * layout.samples * layout.bits + 7) / 8;
    if (TIFFNumberOfStrips(tif) < stripsPerPlane * std::uint32_t(planes))
        return false;

    if (storedAsPicture(layout)) {
        for (std::uint32_t strip = 0; strip < stripsPerPlane; ++strip) {
            const std::uint32_t top = strip * rowsPerStrip;
            const std::uint32_t rows = std::min(rowsPerStrip, layout.height - top);
            const tmsize_t want = tmsize_t(rows * storedRow);
            if (TIFFReadEncodedStrip(tif, strip, frame + top * frameRow, want) != want)
                return false;
        }
        return true;
    }

    std::vector<std::vector<std::uint8_t>> buffers(static_cast<std::size_t>(planes));
    std::vector<const std::uint8_t*> stripStarts(static_cast<std::size_t>(planes));
    std::vector<const std::uint8_t*> rowStarts(static_cast<std::size_t>(planes));
    for (std::uint32_t strip = 0; strip < stripsPerPlane; ++strip) {
        const std::uint32_t top = strip * rowsPerStrip;
        const std::uint32_t rows = std::min(rowsPerStrip, layout.height - top);
        const tmsize_t want = tmsize_t(rows * storedRow);
        for (int p = 0; p < planes; ++p) {
            const std::uint32_t index = strip + std::uint32_t(p) * stripsPerPlane;
            const std::uint8_t* stored = storedStrip(tif, source, layout, index, std::size_t(want));
            if (!stored) {
                auto& buffer = buffers[std::size_t(p)];
                if (buffer.empty())
                    buffer.resize(storedRow * rowsPerStrip);
                if (TIFFReadEncodedStrip(tif, index, buffer.data(), want) != want)
                    return false;
                stored = buffer.data();
            }
            stripStarts[std::size_t(p)] = stored;
        }
        for (std::uint32_t y = 0; y < rows; ++y) {
            for (int p = 0; p < planes; ++p)
                rowStarts[std::size_t(p)] = stripStarts[std::size_t(p)] + y * storedRow;
            convertRowInto(layout, rowStarts.data(), layout.width, frame + (top + y) * frameRow);
        }
    }
    return true;
}

bool readTiles(TIFF* tif, const Layout& layout, std::uint8_t* frame, std::size_t frameRow)
{
    std::uint32_t tileWidth = 0;
    std::uint32_t tileHeight = 0;
    if (!TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth)
        || !TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileHeight) || tileWidth == 0 || tileHeight == 0)
        return false;
    const int planes = layout.separate ? layout.samples : 1;
    const std::size_t tileRow = layout.separate
        ? (std::size_t(tileWidth) * layout.bits + 7) / 8
        : (std::size_t(tileWidth) * layout.samples * layout.bits + 7) / 8;
    const tmsize_t tileBytes = tmsize_t(tileRow * tileHeight);
    if (TIFFTileSize64(tif) != std::uint64_t(tileBytes))
        return false;
    std::vector<std::vector<std::uint8_t>> buffers(static_cast<std::size_t>(planes));
    for (auto& buffer : buffers)
        buffer.resize(std::size_t(tileBytes));
    std::vector<const std::uint8_t*> rowStarts(static_cast<std::size_t>(planes));
    const std::size_t pixelBytes = std::size_t(layout.outSamples()) * std::size_t(layout.outBytes);
    for (std::uint32_t top = 0; top < layout.height; top += tileHeight) {
        for (std::uint32_t left = 0; left < layout.width; left += tileWidth) {
            for (int p = 0; p < planes; ++p) {
                const std::uint32_t tile = TIFFComputeTile(tif, left, top, 0, std::uint16_t(p));
                if (TIFFReadEncodedTile(tif, tile, buffers[std::size_t(p)].data(), tileBytes)
                    != tileBytes)
                    return false;
            }
            const std::uint32_t rows = std::min(tileHeight, layout.height - top);
            const std::uint32_t columns = std::min(tileWidth, layout.width - left);
            for (std::uint32_t y = 0; y < rows; ++y) {
                for (int p = 0; p < planes; ++p)
                    rowStarts[std::size_t(p)] = buffers[std::size_t(p)].data() + y * tileRow;
                convertRowInto(layout, rowStarts.data(), columns,
                    frame + (top + y) * frameRow + left * pixelBytes);
            }
        }
    }
    return true;
}

// libtiff's RGBA reader for colour spaces this decoder does not read itself.
// It gives 8-bit samples with the alpha premultiplied, in the file's row order.
bool readWithRgbaReader(TIFF* tif, const Layout& layout, std::uint8_t* frame)
{
    char message[1024] = "";
    TIFFRGBAImage image;
    if (!TIFFRGBAImageBegin(&image, tif, 1, message))
        return false;
    // Rows as stored, as for every other page: no flip to the orientation.
    image.req_orientation
        = image.orientation <= ORIENTATION_BOTLEFT ? image.orientation : ORIENTATION_TOPLEFT;
    auto* raster = reinterpret_cast<std::uint32_t*>(frame);
    const bool ok = TIFFRGBAImageGet(&image, raster, layout.width, layout.height) != 0;
    const bool alpha = image.alpha != 0;
    TIFFRGBAImageEnd(&image);
    if (!ok)
        return false;
    // Each 32-bit value holds R in its lowest byte: on a little-endian host
    // the memory already reads R, G, B, A.
    const std::size_t pixels = std::size_t(layout.width) * layout.height;
    for (std::size_t i = 0; i < pixels; ++i) {
        const std::uint32_t v = raster[i];
        std::uint8_t* out = frame + i * 4;
        std::uint32_t r = TIFFGetR(v), g = TIFFGetG(v), b = TIFFGetB(v);
        const std::uint32_t a = TIFFGetA(v);
        if (alpha && a != 255) {
            r = a ? std::min<std::uint32_t>(255, (r * 255 + a / 2) / a) : 0;
            g = a ? std::min<std::uint32_t>(255, (g * 255 + a / 2) / a) : 0;
            b = a ? std::min<std::uint32_t>(255, (b * 255 + a / 2) / a) : 0;
        }
        out[0] = std::uint8_t(r);
        out[1] = std::uint8_t(g);
        out[2] = std::uint8_t(b);
        out[3] = std::uint8_t(a);
    }
    return true;
}

// Widens an 8-bit frame to 16 bits (v * 257) in place.
void widen(std::vector<std::uint8_t>& frame)
{
    const std::size_t samples = frame.size();
    frame.resize(samples * 2);
    auto* wide = reinterpret_cast<std::uint16_t*>(frame.data());
    for (std::size_t i = samples; i-- > 0;)
        wide[i] = std::uint16_t(frame[i] * 257u);
}

} // namespace

PictureHeader readHeader(Bytes file)
{
    PictureHeader header;
    header.type = PictureType::Tiff;
    Source source;
    source.file = file;
    TiffHandle tif = open(source);
    if (!tif)
        return header;
    std::uint32_t pages = 0;
    do {
        if (!isPage(tif.get()))
            continue;
        if (pages == 0) {
            if (!TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &header.width)
                || !TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &header.height))
                return header;
        }
        ++pages;
    } while (TIFFReadDirectory(tif.get()));
    header.frames = pages;
    header.ok = pages > 0 && header.width > 0 && header.height > 0;
    return header;
}

DecodeOutcome decode(Bytes file, const DecodeOptions& options)
{
    Source source;
    source.file = file;
    TiffHandle tif = open(source);
    if (!tif)
        return detail::failure(DecodeStatus::Unreadable,
            source.error.empty() ? "no TIFF header" : "damaged TIFF: " + source.error);

    DecodedPicture picture;
    std::uint64_t totalPixels = 0;
    int widest = 1;
    std::vector<int> depths;
    do {
        if (!isPage(tif.get()))
            continue;
        Layout layout;
        std::string why;
        if (!describe(tif.get(), options, layout, why))
            return detail::failure(DecodeStatus::Unreadable, why);
        if (!withinPixelBudget(layout.width, layout.height))
            return detail::overBudget(layout.width, layout.height);
        totalPixels += std::uint64_t(layout.width) * layout.height;
        if (totalPixels > kPixelBudget)
            return detail::failure(
                DecodeStatus::TooLarge, "the pages together are over the pixel budget");
        if (!picture.frames.empty()
            && (layout.width != picture.width || layout.height != picture.height))
            return detail::failure(DecodeStatus::Unreadable, "TIFF pages of different sizes");
        if (!picture.frames.empty()
            && (layout.colourSpace != picture.colourSpace
                || layout.sampleFormat != picture.sampleFormat
                || layout.extra != picture.extraSamples))
            return detail::failure(
                DecodeStatus::Unreadable, notSupported("TIFF pages of different kinds"));

        std::vector<std::uint8_t> frame;
        const std::size_t frameRow = std::size_t(layout.width) * std::size_t(layout.outSamples())
            * std::size_t(layout.outBytes);
        try {
            frame.resize(frameRow * layout.height);
        } catch (const std::bad_alloc&) {
            return detail::outOfMemory("not enough memory for the picture");
        }
        source.error.clear();
        bool ok;
        if (!layout.direct)
            ok = readWithRgbaReader(tif.get(), layout, frame.data());
        else if (TIFFIsTiled(tif.get()))
            ok = readTiles(tif.get(), layout, frame.data(), frameRow);
        else
            ok = readStrips(tif.get(), source, layout, frame.data(), frameRow);
        // A strip that decodes short or with an error makes the page unreadable:
        // a partly grey page must never compare with anything.
        if (!ok || !source.error.empty())
            return detail::failure(DecodeStatus::Unreadable,
                "damaged TIFF data" + (source.error.empty() ? std::string() : ": " + source.error));
        if (layout.lossyUnmultiply && !options.eightBit)
            return detail::failure(DecodeStatus::Unreadable,
                notSupported("TIFF with premultiplied colours above their alpha"));
        picture.width = layout.width;
        picture.height = layout.height;
        picture.colourSpace = layout.colourSpace;
        picture.sampleFormat = layout.sampleFormat;
        picture.extraSamples = layout.extra;
        widest = std::max(widest, layout.outBytes);
        depths.push_back(layout.outBytes);
        picture.frames.push_back(std::move(frame));
        source.error.clear();
    } while (!options.firstFrameOnly && TIFFReadDirectory(tif.get()));
    // A page list that breaks off leaves pages unread: the picture is not whole.
    if (!source.error.empty())
        return detail::failure(DecodeStatus::Unreadable, "damaged TIFF: " + source.error);
    if (picture.frames.empty())
        return detail::failure(DecodeStatus::Unreadable, "TIFF without a page");
    // An 8-bit page among 16-bit ones is widened, so all frames share one
    // form (v * 257 is the same value only for unsigned samples).
    if (picture.sampleFormat == SampleFormat::Signed
        && std::any_of(depths.begin(), depths.end(), [&](int d) { return d != widest; }))
        return detail::failure(
            DecodeStatus::Unreadable, notSupported("TIFF pages of different depths"));
    for (std::size_t i = 0; i < picture.frames.size(); ++i) {
        if (depths[i] < widest)
            widen(picture.frames[i]);
    }
    picture.bytesPerSample = widest;
    DecodeOutcome outcome;
    outcome.status = DecodeStatus::Ok;
    outcome.picture = std::move(picture);
    return outcome;
}

StreamResult streamOpaqueRows(
    Bytes file, const DecodeOptions& options, RowSink& sink, std::string* reason)
{
    auto failed = [reason](std::string why) {
        if (reason)
            *reason = std::move(why);
        return StreamResult::Failed;
    };
    Source source;
    source.file = file;
    TiffHandle tif = open(source);
    if (!tif)
        return failed(source.error.empty() ? "no TIFF header" : "damaged TIFF: " + source.error);
    if (!options.firstFrameOnly && TIFFNumberOfDirectories(tif.get()) != 1)
        return StreamResult::NotStreamable;
    // The first page, as decode() takes it.
    while (!isPage(tif.get())) {
        if (!TIFFReadDirectory(tif.get()))
            return StreamResult::NotStreamable;
    }
    Layout layout;
    std::string why;
    if (!describe(tif.get(), {.eightBit = true}, layout, why))
        return failed(why);
    const bool grey = layout.photometric == PHOTOMETRIC_MINISBLACK && layout.samples == 1;
    const bool rgb = layout.photometric == PHOTOMETRIC_RGB && layout.samples == 3;
    if (!layout.direct || layout.bits != 8 || layout.separate || (!grey && !rgb)
        || TIFFIsTiled(tif.get()))
        return StreamResult::NotStreamable;
    if (!withinPixelBudget(layout.width, layout.height)) {
        failed(detail::overBudget(layout.width, layout.height).reason);
        return StreamResult::TooLarge;
    }

    std::uint32_t rowsPerStrip = layout.height;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    rowsPerStrip = std::clamp<std::uint32_t>(rowsPerStrip, 1, layout.height);
    const std::uint32_t strips = (layout.height + rowsPerStrip - 1) / rowsPerStrip;
    const std::size_t storedRow = std::size_t(layout.width) * layout.samples;
    if (TIFFNumberOfStrips(tif.get()) < strips)
        return failed("TIFF with too few strips");
    if (!sink.begin(layout.width, layout.height))
        return failed("the rows could not be taken");
    std::vector<std::uint8_t> buffer;
    source.error.clear();
    for (std::uint32_t strip = 0; strip < strips; ++strip) {
        const std::uint32_t top = strip * rowsPerStrip;
        const std::uint32_t rows = std::min(rowsPerStrip, layout.height - top);
        const tmsize_t want = tmsize_t(rows * storedRow);
        const std::uint8_t* stored
            = storedStrip(tif.get(), source, layout, strip, std::size_t(want));
        if (!stored) {
            if (buffer.empty())
                buffer.resize(storedRow * rowsPerStrip);
            if (TIFFReadEncodedStrip(tif.get(), strip, buffer.data(), want) != want
                || !source.error.empty())
                return failed("damaged TIFF data"
                    + (source.error.empty() ? std::string() : ": " + source.error));
            stored = buffer.data();
        }
        for (std::uint32_t y = 0; y < rows; ++y) {
            std::uint8_t* out = sink.row(top + y);
            if (!out)
                return failed("the rows could not be taken");
            const std::uint8_t* in = stored + y * storedRow;
            if (rgb && sink.order() == RowOrder::Rgb) {
                std::memcpy(out, in, storedRow);
            } else if (rgb) {
                for (std::uint32_t x = 0; x < layout.width; ++x, in += 3, out += 3) {
                    out[0] = in[2];
                    out[1] = in[1];
                    out[2] = in[0];
                }
            } else {
                for (std::uint32_t x = 0; x < layout.width; ++x, out += 3)
                    out[0] = out[1] = out[2] = in[x];
            }
            if (!sink.rowDone(top + y))
                return failed("the rows could not be taken");
        }
    }
    return StreamResult::Streamed;
}

} // namespace decoding::tiff
