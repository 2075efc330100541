#pragma once
// Test files of the newer picture types, made by Debian's own encoders, and
// independent decodes of them (dwebp, heif-convert) in Corvane's pixel form.

#include "PictureBytes.h"
#include "decoding/DecodedPicture.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <ostream>

namespace FormatFiles {

// Runs `program` with `arguments` (no shell). Returns "" on success, else
// the program's errors.
QString run(const QString& program, const QStringList& arguments);

QByteArray readBytes(const QString& path);
bool writeBytes(const QString& path, const QByteArray& bytes);

using picturebytes::bytesOf;

// A smooth picture with fine detail, `seed` shifting its pattern: what a
// photo gives a lossy encoder to work on. With alpha, the alpha varies over
// the whole range.
QImage photoLike(int width, int height, int seed, bool alpha);
// The same at 16 bits a sample (QImage::Format_RGBA64, or RGBX64 without
// alpha so that it is saved without an alpha channel).
QImage deepPhotoLike(int width, int height, int seed, bool alpha);

// A photo-like picture of width x height written by cjpeg with `options` as
// NAME.jpg in dir; its path, or "" when cjpeg failed.
QString encodeJpeg(const QTemporaryDir& dir, const QString& name, int width, int height, int seed,
    const QStringList& options);

// A picture Qt reads (PNG), as RGBA at 8 or 16 bits a sample.
decoding::DecodedPicture readWithQt(const QString& path);
decoding::DecodedPicture fromImage(const QImage& image);
// A PAM file as dwebp -pam writes it (8-bit RGB_ALPHA).
decoding::DecodedPicture readPam(const QString& path);

// dwebp -pam of a still WebP.
decoding::DecodedPicture dwebp(const QString& webp, QString* error);
// Every frame of an animated WebP composed from webpmux's frames, each
// decoded by dwebp. Handles the frames encoders make from opaque or
// on/off-transparent pictures (alpha 0 or 255 only); fails on others.
decoding::DecodedPicture composeAnimation(const QString& webp, QString* error);
// heif-convert to PNG, every top-level picture as one frame (the size
// and depth are the first picture's).
decoding::DecodedPicture heifConvert(const QString& heif, QString* error);

// The first difference as "frame f, x,y sample s: a != b" (or a size,
// depth or frame count difference); "" when the pictures are identical.
std::string firstDifference(
    const decoding::DecodedPicture& expected, const decoding::DecodedPicture& actual);

// Mean absolute difference of all samples as a share of the full scale
// (0 to 1); 1 when the pictures differ in size or depth.
double meanDifference(const decoding::DecodedPicture& a, const decoding::DecodedPicture& b);

// The picture turned a quarter anticlockwise, for the irot checks.
decoding::DecodedPicture turnedAnticlockwise(const decoding::DecodedPicture& picture);

} // namespace FormatFiles

inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}
