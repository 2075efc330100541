#pragma once
// The false-pair table: near misses that must never be called identical,
// beside the true copies that must, each row one folder of generated files
// (Debian's encoders, and libtiff and libjpeg writing layouts no command-line
// encoder makes) and what the whole-folder search must make of it. Both
// searches run it: the whole-folder search here (FalsePairTest), the
// neighbour search through the window (tests/shell).

#include "FormatFiles.h"

#include "finder/Finder.h"

#include <QImage>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include <tiffio.h>

namespace FalsePairFiles {

constexpr int kWidth = 48;
constexpr int kHeight = 32;

// A TIFF layout written sample by sample through libtiff.
struct TiffLayout {
    std::uint16_t photometric = PHOTOMETRIC_RGB;
    std::uint16_t samples = 3;
    std::uint16_t bits = 8;
    std::uint16_t format = SAMPLEFORMAT_UINT;
    std::vector<std::uint16_t> extraTypes; // one per sample beyond the colours
    std::vector<std::uint16_t> colourMap; // red, green, blue tables one after another
    std::function<std::uint32_t(int x, int y, int s)> sample;
};

bool writeTiff(const QString& path, const TiffLayout& layout);

// A JPEG of one flat colour through libjpeg: CMYK inks as given (libjpeg
// marks them with an Adobe marker), or RGB.
bool writeFlatJpeg(const QString& path, std::vector<std::uint8_t> colour);

// Sample patterns: smooth, different in every sample, within `bits`.
std::uint32_t pattern(int x, int y, int s, int bits);

QImage rgbaImage(const std::function<QRgb(int x, int y)>& pixel);

// 16-bit RGB samples in `format`, one sample `lowByteChange` apart.
TiffLayout rgb16(std::uint16_t format, int lowByteChange);
// One flat colour of four inks at `bits`.
TiffLayout cmyk(int bits, std::vector<std::uint32_t> inks);
// Colour maps of 16 entries whose high bytes are all equal; `lowBytes` adds to
// the low byte of every entry.
TiffLayout palette(std::uint16_t lowBytes);

using Group = std::set<std::string>;

class Folder {
public:
    Folder();

    QString path(const std::string& name) const;
    QString workPath(const std::string& name) const;
    QString rootPath() const { return m_root.path(); }
    QString cachePath() const { return workPath("cache.sqlite"); }

    void make(const QString& program, const QStringList& arguments);
    void tiff(const std::string& name, const TiffLayout& layout);
    void lzwCopy(const std::string& from, const std::string& to);
    void jpeg(const std::string& name, std::vector<std::uint8_t> colour);
    void png(const std::string& name, const QImage& image);

    // The whole-folder search over the folder.
    FinderResult search(bool useCache = false) const;

private:
    QTemporaryDir m_root;
    QTemporaryDir m_work;
};

std::string nameOf(const QByteArray& path);
std::set<Group> groupsOf(const FinderResult& result);
std::map<std::string, std::string> unreadableOf(const FinderResult& result);

struct FalsePairCase {
    const char* name;
    std::function<void(Folder&)> make;
    std::set<Group> groups; // exactly these
    std::map<std::string, std::string> unreadable; // exactly these, with their reasons
};

void PrintTo(const FalsePairCase& c, std::ostream* os);

const std::vector<FalsePairCase>& cases();

} // namespace FalsePairFiles
