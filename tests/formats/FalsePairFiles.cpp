#include "FalsePairFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include <jpeglib.h>

using namespace FormatFiles;

namespace FalsePairFiles {

bool writeTiff(const QString& path, const TiffLayout& layout)
{
    TIFF* tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tif)
        return false;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, std::uint32_t(kWidth));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, std::uint32_t(kHeight));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, layout.samples);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, layout.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, layout.format);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, layout.photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, std::uint32_t(kHeight));
    if (!layout.extraTypes.empty())
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, std::uint16_t(layout.extraTypes.size()),
            layout.extraTypes.data());
    if (layout.photometric == PHOTOMETRIC_YCBCR)
        TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, std::uint16_t(1), std::uint16_t(1));
    if (!layout.colourMap.empty()) {
        const std::size_t n = layout.colourMap.size() / 3;
        TIFFSetField(tif, TIFFTAG_COLORMAP, layout.colourMap.data(), layout.colourMap.data() + n,
            layout.colourMap.data() + 2 * n);
    }
    const std::size_t rowBytes = std::size_t(kWidth) * layout.samples * layout.bits / 8;
    std::vector<std::uint8_t> row(rowBytes);
    bool ok = true;
    for (int y = 0; y < kHeight && ok; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            for (int s = 0; s < layout.samples; ++s) {
                const std::uint32_t v = layout.sample(x, y, s);
                const std::size_t i = std::size_t(x) * layout.samples + std::size_t(s);
                if (layout.bits == 8)
                    row[i] = std::uint8_t(v);
                else if (layout.bits == 16)
                    std::memcpy(&row[2 * i], &v, 2); // libtiff writes host order
                else
                    std::memcpy(&row[4 * i], &v, 4);
            }
        }
        ok = TIFFWriteScanline(tif, row.data(), std::uint32_t(y), 0) >= 0;
    }
    TIFFClose(tif);
    return ok;
}

bool writeFlatJpeg(const QString& path, std::vector<std::uint8_t> colour)
{
    FILE* out = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!out)
        return false;
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, out);
    info.image_width = kWidth;
    info.image_height = kHeight;
    info.input_components = int(colour.size());
    info.in_color_space = colour.size() == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<std::uint8_t> row(std::size_t(kWidth) * colour.size());
    for (std::size_t i = 0; i < row.size(); ++i)
        row[i] = colour[i % colour.size()];
    while (info.next_scanline < info.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(out) == 0;
}

std::uint32_t pattern(int x, int y, int s, int bits)
{
    const std::uint32_t v = std::uint32_t(x * 2311 + y * 7919 + s * 104729) * 2654435761u;
    return bits >= 32 ? v : v >> (32 - bits);
}

QImage rgbaImage(const std::function<QRgb(int x, int y)>& pixel)
{
    QImage image(kWidth, kHeight, QImage::Format_RGBA8888);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            image.setPixelColor(x, y, QColor::fromRgba(pixel(x, y)));
    return image;
}

Folder::Folder()
{
    EXPECT_TRUE(m_root.isValid() && m_work.isValid());
}

QString Folder::path(const std::string& name) const
{
    return QDir(m_root.path()).filePath(QString::fromStdString(name));
}

QString Folder::workPath(const std::string& name) const
{
    return QDir(m_work.path()).filePath(QString::fromStdString(name));
}

void Folder::make(const QString& program, const QStringList& arguments)
{
    EXPECT_EQ(run(program, arguments), QString()) << program.toStdString();
}

void Folder::tiff(const std::string& name, const TiffLayout& layout)
{
    EXPECT_TRUE(writeTiff(path(name), layout)) << name;
}

void Folder::lzwCopy(const std::string& from, const std::string& to)
{
    make(QStringLiteral("tiffcp"),
        {QStringLiteral("-c"), QStringLiteral("lzw"), path(from), path(to)});
}

void Folder::jpeg(const std::string& name, std::vector<std::uint8_t> colour)
{
    EXPECT_TRUE(writeFlatJpeg(path(name), std::move(colour))) << name;
}

void Folder::png(const std::string& name, const QImage& image)
{
    EXPECT_TRUE(image.save(path(name))) << name;
}

FinderResult Folder::search(bool useCache) const
{
    FinderOptions options;
    options.folders = {QFile::encodeName(m_root.path())};
    options.useCache = useCache;
    options.cachePath = cachePath();
    options.cacheSettleNs = 0;
    Finder finder(options);
    return finder.run();
}

std::string nameOf(const QByteArray& path)
{
    return QFileInfo(QFile::decodeName(path)).fileName().toStdString();
}

std::set<Group> groupsOf(const FinderResult& result)
{
    std::set<Group> groups;
    for (const DuplicateGroup& group : result.groups) {
        Group members;
        for (const FoundFile& file : group.files)
            members.insert(nameOf(file.path));
        groups.insert(members);
    }
    return groups;
}

std::map<std::string, std::string> unreadableOf(const FinderResult& result)
{
    std::map<std::string, std::string> unreadable;
    for (const UnreadableFile& file : result.unreadable)
        unreadable[nameOf(file.path)] = file.reason.toStdString();
    return unreadable;
}

void PrintTo(const FalsePairCase& c, std::ostream* os)
{
    *os << c.name;
}

// Two-frame sequences whose second frames differ, the still of the first
// frame and its PNG.
static void avifSequences(Folder& folder)
{
    const QImage first = rgbaImage([](int x, int y) { return qRgb(x * 5, y * 7, 90); });
    QImage second = first;
    QImage other = first;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            other.setPixelColor(x, y, Qt::white);
    for (const auto& [name, image] :
        {std::pair{"f1.png", first}, std::pair{"f2.png", second}, std::pair{"f3.png", other}})
        EXPECT_TRUE(image.save(folder.workPath(name)));
    folder.png("frame 1.png", first);
    folder.make(QStringLiteral("avifenc"),
        {QStringLiteral("-l"), folder.workPath("f1.png"), folder.workPath("f2.png"),
            folder.path("same frames.avif")});
    folder.make(QStringLiteral("avifenc"),
        {QStringLiteral("-l"), folder.workPath("f1.png"), folder.workPath("f3.png"),
            folder.path("second frame differs.avif")});
    folder.make(QStringLiteral("avifenc"),
        {QStringLiteral("-l"), folder.workPath("f1.png"), folder.path("still.avif")});
}

// A one-component JPEG 2000 from a PGX of `bits` (signed when `sign` is '-').
static void jpeg2000(Folder& folder, const std::string& name, int bits, char sign,
    const std::function<std::int32_t(int x, int y)>& value)
{
    QByteArray pgx = QByteArray("PG ML ") + sign + QByteArray::number(bits) + ' '
        + QByteArray::number(kWidth) + ' ' + QByteArray::number(kHeight) + '\n';
    const int bytes = bits <= 8 ? 1 : bits <= 16 ? 2 : 4;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const auto v = std::uint32_t(value(x, y));
            for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
                pgx.append(char(v >> shift));
        }
    }
    const QString source = folder.workPath(name + ".pgx");
    EXPECT_TRUE(writeBytes(source, pgx));
    folder.make(QStringLiteral("opj_compress"),
        {QStringLiteral("-i"), source, QStringLiteral("-o"), folder.path(name),
            QStringLiteral("-n"), QStringLiteral("3")});
}

// 20-bit samples, one of them one apart.
static void deepJpeg2000(Folder& folder)
{
    for (const auto& [name, change] : {std::pair{"a.j2k", 0}, std::pair{"b.j2k", 1}}) {
        jpeg2000(folder, name, 20, '+', [change = change](int x, int y) {
            return std::int32_t(pattern(x, y, 0, 20)) + (x == 7 && y == 3 ? change : 0);
        });
    }
}

TiffLayout rgb16(std::uint16_t format, int lowByteChange)
{
    TiffLayout layout;
    layout.bits = 16;
    layout.format = format;
    layout.sample = [lowByteChange](int x, int y, int s) {
        return pattern(x, y, s, 16) + (x == 5 && y == 6 && s == 1 ? lowByteChange : 0);
    };
    return layout;
}

TiffLayout cmyk(int bits, std::vector<std::uint32_t> inks)
{
    TiffLayout layout;
    layout.photometric = PHOTOMETRIC_SEPARATED;
    layout.samples = 4;
    layout.bits = std::uint16_t(bits);
    layout.sample = [inks](int, int, int s) { return inks[std::size_t(s)]; };
    return layout;
}

TiffLayout palette(std::uint16_t lowBytes)
{
    TiffLayout layout;
    layout.photometric = PHOTOMETRIC_PALETTE;
    layout.samples = 1;
    layout.bits = 8;
    layout.colourMap.assign(3 * 256, 0);
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 16; ++i)
            layout.colourMap[std::size_t(c * 256 + i)]
                = std::uint16_t((i * 16 + c * 40) % 256 * 257 + (i < 8 ? lowBytes : 0));
    layout.sample = [](int x, int y, int) { return std::uint32_t((x + y) % 16); };
    return layout;
}

static QRgb paletteColour(int index)
{
    return qRgb(index * 16 % 256, (index * 16 + 40) % 256, (index * 16 + 80) % 256);
}

const std::vector<FalsePairCase>& cases()
{
    static const std::vector<FalsePairCase> table = {
        {"AvifSequencesAreRefusedNotCutToTheirFirstFrame", avifSequences,
            {{"frame 1.png", "still.avif"}},
            {{"same frames.avif", "AVIF image sequence: not supported"},
                {"second frame differs.avif", "AVIF image sequence: not supported"}}},
        {"Jpeg2000Of20BitsIsRefusedNotCutTo16Bits", deepJpeg2000, {},
            {{"a.j2k", "JPEG 2000 with 20-bit samples: not supported"},
                {"b.j2k", "JPEG 2000 with 20-bit samples: not supported"}}},
        {"SignedTiffSamplesKeepTheirLowByteAndTheirSign",
            [](Folder& f) {
                f.tiff("signed.tif", rgb16(SAMPLEFORMAT_INT, 0));
                f.lzwCopy("signed.tif", "signed lzw.tif");
                f.tiff("signed, one low byte apart.tif", rgb16(SAMPLEFORMAT_INT, 1));
                f.tiff("unsigned.tif", rgb16(SAMPLEFORMAT_UINT, 0));
            },
            {{"signed.tif", "signed lzw.tif"}}, {}},
        {"FloatingPointTiffIsUnsupported",
            [](Folder& f) {
                TiffLayout layout;
                layout.photometric = PHOTOMETRIC_MINISBLACK;
                layout.samples = 1;
                layout.bits = 32;
                layout.format = SAMPLEFORMAT_IEEEFP;
                layout.sample = [](int x, int y, int) {
                    const float v = float(x * y) / 1000.0f;
                    std::uint32_t bits;
                    std::memcpy(&bits, &v, 4);
                    return bits;
                };
                f.tiff("float.tif", layout);
                f.lzwCopy("float.tif", "float lzw.tif");
            },
            {},
            {{"float.tif", "TIFF with floating-point samples: not supported"},
                {"float lzw.tif", "TIFF with floating-point samples: not supported"}}},
        {"YCbCrTiffIsUnsupportedNotConvertedToRgb",
            [](Folder& f) {
                // Converting to RGB rounds: different stored samples would meet.
                TiffLayout layout;
                layout.photometric = PHOTOMETRIC_YCBCR;
                layout.sample = [](int x, int y, int s) { return pattern(x, y, s, 8); };
                f.tiff("ycbcr.tif", layout);
                f.lzwCopy("ycbcr.tif", "ycbcr lzw.tif");
            },
            {},
            {{"ycbcr.tif", "TIFF in YCbCr: not supported"},
                {"ycbcr lzw.tif", "TIFF in YCbCr: not supported"}}},
        {"CmykJpegInksNeverMeetEachOtherOrRgb",
            [](Folder& f) {
                // Adobe CMYK is stored inverted: 255 is no ink.
                f.jpeg("black ink only.jpg", {255, 255, 255, 0});
                f.jpeg("all four inks.jpg", {0, 0, 0, 0});
                f.jpeg("cyan and black.jpg", {0, 255, 255, 0});
                f.jpeg("rgb black.jpg", {0, 0, 0});
                // The same file with a comment, and rewritten without metadata.
                const QByteArray stored = readBytes(f.path("black ink only.jpg"));
                EXPECT_TRUE(writeBytes(f.path("black ink only, commented.jpg"),
                    stored.left(2)
                        + QByteArray("\xff\xfe\x00\x08"
                                     "edited",
                            10)
                        + stored.mid(2)));
                f.make(QStringLiteral("jpegtran"),
                    {QStringLiteral("-copy"), QStringLiteral("none"), QStringLiteral("-outfile"),
                        f.path("black ink only, no metadata.jpg"), f.path("black ink only.jpg")});
            },
            {{"black ink only.jpg", "black ink only, commented.jpg",
                "black ink only, no metadata.jpg"}},
            {}},
        {"CmykTiffInksNeverMeetEachOtherOrRgb",
            [](Folder& f) {
                f.tiff("black ink only.tif", cmyk(8, {0, 0, 0, 255}));
                f.lzwCopy("black ink only.tif", "black ink only lzw.tif");
                f.tiff("all four inks.tif", cmyk(8, {255, 255, 255, 255}));
                f.tiff("cyan and black.tif", cmyk(8, {255, 0, 0, 255}));
                f.png("rgb black.png", rgbaImage([](int, int) { return qRgb(0, 0, 0); }));
            },
            {{"black ink only.tif", "black ink only lzw.tif"}}, {}},
        {"SixteenBitCmykTiffIsReadAtFullDepth",
            [](Folder& f) {
                f.tiff("cmyk16.tif", cmyk(16, {1000, 20000, 300, 65535}));
                f.lzwCopy("cmyk16.tif", "cmyk16 lzw.tif");
                f.tiff("cmyk16, low byte apart.tif", cmyk(16, {1001, 20000, 300, 65535}));
            },
            {{"cmyk16.tif", "cmyk16 lzw.tif"}}, {}},
        {"UnspecifiedExtraSampleIsDataNotAlpha",
            [](Folder& f) {
                auto alphaOf = [](int x, int y) { return 1 + (x * 5 + y * 3) % 254; };
                TiffLayout layout;
                layout.samples = 4;
                layout.sample = [&](int x, int y, int s) {
                    return s < 3 ? pattern(x, y, s, 8) : std::uint32_t(alphaOf(x, y));
                };
                layout.extraTypes = {EXTRASAMPLE_UNSPECIFIED};
                f.tiff("rgb and a data sample.tif", layout);
                layout.extraTypes = {EXTRASAMPLE_UNASSALPHA};
                f.tiff("rgba.tif", layout);
                f.png("transparent.png", rgbaImage([&](int x, int y) {
                    return qRgba(int(pattern(x, y, 0, 8)), int(pattern(x, y, 1, 8)),
                        int(pattern(x, y, 2, 8)), alphaOf(x, y));
                }));
                f.png("opaque.png", rgbaImage([&](int x, int y) {
                    return qRgb(int(pattern(x, y, 0, 8)), int(pattern(x, y, 1, 8)),
                        int(pattern(x, y, 2, 8)));
                }));
            },
            {{"rgba.tif", "transparent.png"}}, {}},
        {"FifthSampleOfRgbaTiffCounts",
            [](Folder& f) {
                for (const auto& [name, fifth] : {std::pair{"rgba and a fifth sample.tif", 0},
                         std::pair{"fifth sample apart.tif", 1}}) {
                    TiffLayout layout;
                    layout.samples = 5;
                    layout.extraTypes = {EXTRASAMPLE_UNASSALPHA, EXTRASAMPLE_UNSPECIFIED};
                    layout.sample = [fifth = fifth](int x, int y, int s) {
                        return s == 4 ? std::uint32_t((x + y + fifth) % 256) : pattern(x, y, s, 8);
                    };
                    f.tiff(name, layout);
                }
                f.lzwCopy("rgba and a fifth sample.tif", "rgba and a fifth sample lzw.tif");
            },
            {{"rgba and a fifth sample.tif", "rgba and a fifth sample lzw.tif"}}, {}},
        {"PremultipliedColourUnderNoAlphaIsUnsupported",
            [](Folder& f) {
                for (const auto& [name, hidden] : {std::pair{"premultiplied.tif", 0u},
                         std::pair{"colour under no alpha.tif", 7u}}) {
                    TiffLayout layout;
                    layout.samples = 4;
                    layout.extraTypes = {EXTRASAMPLE_ASSOCALPHA};
                    layout.sample = [hidden = hidden](int x, int y, int s) {
                        const bool clear = (x + y) % 3 == 0;
                        if (s == 3)
                            return clear ? 0u : 255u;
                        return clear ? hidden : pattern(x, y, s, 8);
                    };
                    f.tiff(name, layout);
                }
                f.lzwCopy("premultiplied.tif", "premultiplied lzw.tif");
            },
            {{"premultiplied.tif", "premultiplied lzw.tif"}},
            {{"colour under no alpha.tif",
                "TIFF with premultiplied colours above their alpha: not supported"}}},
        {"PaletteMapsDifferingInLowBytesStayApart",
            [](Folder& f) {
                f.tiff("palette.tif", palette(0));
                f.tiff("palette, low bytes apart.tif", palette(3));
                f.png("palette colours.png",
                    rgbaImage([](int x, int y) { return paletteColour((x + y) % 16); }));
            },
            {{"palette.tif", "palette colours.png"}}, {}},
    };
    return table;
}

} // namespace FalsePairFiles
